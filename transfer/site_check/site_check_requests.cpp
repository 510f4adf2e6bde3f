#include "site_check/site_check_requests.h"

#include "ftp/request_builder.h"
#include "site_check/rules/site_check_file_rules.h"

namespace {

// How long an active-mode data connection may take to come in: short, so
// that a firewall that drops it does not hold the check.
constexpr long ActiveAcceptMs = 3000;

} // namespace

void setSiteCheckRequest(CURL *easy, SiteCheckRequest request, const QString &fileName,
                         const QStringList &featLines, SiteCheckCommands &commands)
{
    const QByteArray file = fileName.toUtf8();
    switch (request) {
    case SiteCheckRequest::Login:
        // A login of its own, whatever the console had open: the check
        // measures the connection, the greeting and the login.
        setOption(easy, CURLOPT_FRESH_CONNECT, 1L);
        setOption(easy, CURLOPT_NOBODY, 1L);
        appendTo(commands.quote, "*SYST");
        appendTo(commands.quote, "*FEAT");
        break;
    case SiteCheckRequest::Listing:
        // PASV on its own, only to read the address it names: nothing
        // connects to it. The test file's name must be free.
        appendTo(commands.quote, "*PASV");
        appendTo(commands.postQuote, "*SIZE " + file);
        break;
    case SiteCheckRequest::Upload: {
        setOption(easy, CURLOPT_UPLOAD, 1L);
        appendTo(commands.postQuote, "*SIZE " + file);
        appendTo(commands.postQuote, "*MDTM " + file);
        const HashCommand hash = hashCommand(featLines);
        if (!hash.select.isEmpty())
            appendTo(commands.postQuote, "*" + hash.select.toUtf8());
        if (!hash.command.isEmpty())
            appendTo(commands.postQuote, "*" + hash.command.toUtf8() + ' ' + file);
        break;
    }
    case SiteCheckRequest::ReadBack:
        // The bytes that arrive are compared; a SIZE that lies must not end
        // the download early, nor the login's connection with it.
        setOption(easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        break;
    case SiteCheckRequest::CleanUp:
        // Before the request, not after it: libcurl waits for the replies to
        // the commands after a request inside one call, holding the thread.
        // `fileName` is the file's path from the root when it is known, so
        // it names the file whatever folder the connection is in.
        setOption(easy, CURLOPT_NOBODY, 1L);
        appendTo(commands.quote, "*DELE " + file);
        appendTo(commands.quote, "*SIZE " + file);
        break;
    case SiteCheckRequest::Active:
        setOption(easy, CURLOPT_FTPPORT, "-");
        setOption(easy, CURLOPT_ACCEPTTIMEOUT_MS, ActiveAcceptMs);
        break;
    case SiteCheckRequest::Ipv6:
        setOption(easy, CURLOPT_FRESH_CONNECT, 1L);
        setOption(easy, CURLOPT_IPRESOLVE, long(CURL_IPRESOLVE_V6));
        break;
    case SiteCheckRequest::None:
        break;
    }
    if (commands.quote)
        setOption(easy, CURLOPT_QUOTE, commands.quote.get());
    if (commands.postQuote)
        setOption(easy, CURLOPT_POSTQUOTE, commands.postQuote.get());
}
