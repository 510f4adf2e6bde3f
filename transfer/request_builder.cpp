#include "request_builder.h"

#include "local_path.h"

#include <QFileInfo>
#include <QUrl>

namespace {

// What every operation shares: the server, the account and the time limits.
CurlEasy newEasy(const EngineRequest &request, const QByteArray &url)
{
    CurlEasy handle(curl_easy_init());
    if (!handle)
        throw std::runtime_error("libcurl could not make a request handle.");
    CURL *easy = handle.get();
    setOption(easy, CURLOPT_URL, url.constData());
    setOption(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    // Credentials travel as options, never inside the URL, so no error text
    // or log line built from the URL can carry the password.
    setOption(easy, CURLOPT_USERNAME, request.user.toUtf8().constData());
    setOption(easy, CURLOPT_PASSWORD, request.password.toUtf8().constData());
    setOption(easy, CURLOPT_NOSIGNAL, 1L);
    const long timeout = request.timeoutSeconds;
    setOption(easy, CURLOPT_CONNECTTIMEOUT, timeout);
    setOption(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    setOption(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    setOption(easy, CURLOPT_LOW_SPEED_TIME, timeout);
    // The engine has a thread of its own, so libcurl's largest buffers cost
    // the window nothing and halve the calls per megabyte.
    setOption(easy, CURLOPT_BUFFERSIZE, long(CURL_MAX_READ_SIZE));
    setOption(easy, CURLOPT_UPLOAD_BUFFERSIZE, 2L * 1024 * 1024);
    return handle;
}

QByteArray remoteFile(const EngineRequest &request, const QString &name)
{
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    const RemoteFolder folder =
        slash < 0 ? request.folder : request.folder.resolved(name.left(slash + 1));
    return request.serverUrl + folder.urlPath() + QUrl::toPercentEncoding(name.mid(slash + 1));
}

QByteArray folderUrl(const EngineRequest &request, const RemoteFolder &folder)
{
    return request.serverUrl + folder.urlPath();
}

// A command sent after libcurl has changed into the current folder;
// CURLOPT_QUOTE would run in the login folder instead.
void afterChangingFolder(PreparedRequest &prepared, const EngineRequest &request,
                         std::initializer_list<QByteArray> commands)
{
    for (const QByteArray &command : commands)
        appendTo(prepared.postQuote, command);
    prepared.easy = newEasy(request, folderUrl(request, request.folder));
    setOption(prepared.easy.get(), CURLOPT_NOBODY, 1L);
    setOption(prepared.easy.get(), CURLOPT_POSTQUOTE, prepared.postQuote.get());
}

QByteArray withName(const char *verb, const QString &name)
{
    return QByteArray(verb) + ' ' + name.toUtf8();
}

} // namespace

PreparedRequest prepareRequest(const EngineRequest &request)
{
    PreparedRequest prepared;
    const QStringList &args = request.command.args;
    switch (request.command.verb) {
    case FtpVerb::Get:
        prepared.easy = newEasy(request, remoteFile(request, args.at(0)));
        prepared.data = PreparedRequest::Data::Download;
        if (args.size() > 1)
            prepared.localName = localPath(args.at(1));
        break;
    case FtpVerb::Put: {
        prepared.localName = localPath(args.at(0));
        const QString remoteName =
            args.size() > 1 ? args.at(1) : QFileInfo(prepared.localName).fileName();
        prepared.easy = newEasy(request, remoteFile(request, remoteName));
        prepared.data = PreparedRequest::Data::Upload;
        setOption(prepared.easy.get(), CURLOPT_UPLOAD, 1L);
        break;
    }
    case FtpVerb::Cd:
    case FtpVerb::Cdup:
        prepared.newFolder = request.folder.resolved(
            request.command.verb == FtpVerb::Cd ? args.at(0) : QStringLiteral(".."));
        // Changing into the folder with no transfer: the server's reply to
        // CWD decides whether the folder exists.
        prepared.easy = newEasy(request, folderUrl(request, *prepared.newFolder));
        setOption(prepared.easy.get(), CURLOPT_NOBODY, 1L);
        break;
    case FtpVerb::Dir:
    case FtpVerb::Ls:
        prepared.easy = newEasy(
            request, folderUrl(request, args.isEmpty() ? request.folder
                                                       : request.folder.resolved(args.at(0))));
        prepared.data = PreparedRequest::Data::Download;
        if (request.command.verb == FtpVerb::Ls)
            setOption(prepared.easy.get(), CURLOPT_DIRLISTONLY, 1L);
        break;
    case FtpVerb::Size:
        prepared.easy = newEasy(request, remoteFile(request, args.at(0)));
        setOption(prepared.easy.get(), CURLOPT_NOBODY, 1L);
        break;
    case FtpVerb::Pwd:
        afterChangingFolder(prepared, request, {"PWD"});
        break;
    case FtpVerb::Mkdir:
        afterChangingFolder(prepared, request, {withName("MKD", args.at(0))});
        break;
    case FtpVerb::Rmdir:
        afterChangingFolder(prepared, request, {withName("RMD", args.at(0))});
        break;
    case FtpVerb::Delete:
        afterChangingFolder(prepared, request, {withName("DELE", args.at(0))});
        break;
    case FtpVerb::Rename:
        afterChangingFolder(prepared, request,
                            {withName("RNFR", args.at(0)), withName("RNTO", args.at(1))});
        break;
    case FtpVerb::Close:
    case FtpVerb::Abort:
        throw std::logic_error("CLOSE and ABORT make no request.");
    }
    // libcurl never asks for UTF-8 names; some servers want to be told.
    // A leading "*" lets a refusal pass without failing the operation.
    appendTo(prepared.quote, "*OPTS UTF8 ON");
    setOption(prepared.easy.get(), CURLOPT_QUOTE, prepared.quote.get());
    return prepared;
}
