#include "ftp/request_builder.h"

#include "engine/curl_operation.h"

#include "local_path.h"

#include <QFileInfo>
#include <QUrl>

#include <map>

namespace {

// What every operation shares: the server, the account and the time limits.
void configure(CURL *easy, const OperationOrder &order, const QByteArray &url)
{
    // Every option back to its default first: options such as CURLOPT_UPLOAD
    // would otherwise stick and turn the next download into an upload.
    startRequest(easy, url, order.implicitTls ? "ftps" : "ftp", order.proxy);
    // Credentials travel as options, never inside the URL, so no error text
    // or log line built from the URL can carry the password.
    setOption(easy, CURLOPT_USERNAME, order.user.toUtf8().constData());
    setOption(easy, CURLOPT_PASSWORD, order.password.toUtf8().constData());
    setOption(easy, CURLOPT_NOSIGNAL, 1L);
    const long timeout = order.timeoutSeconds;
    setOption(easy, CURLOPT_CONNECTTIMEOUT, timeout);
    setOption(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    setOption(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    setOption(easy, CURLOPT_LOW_SPEED_TIME, timeout);
    // The engine has a thread of its own, so libcurl's largest receive buffer
    // costs the window nothing and cuts the calls per megabyte; for sending,
    // 256 KiB measured fastest (2 MiB spills out of the processor's cache).
    setOption(easy, CURLOPT_BUFFERSIZE, long(CURL_MAX_READ_SIZE));
    setOption(easy, CURLOPT_UPLOAD_BUFFERSIZE, 256L * 1024);
}

void protect(CURL *easy, const TlsSettings &tls, bool implicitTls)
{
    static const std::map<TlsSettings::Use, long> uses{
        {TlsSettings::Use::Required, CURLUSESSL_ALL},
        {TlsSettings::Use::IfOffered, CURLUSESSL_TRY},
        {TlsSettings::Use::Off, CURLUSESSL_NONE},
    };
    // Under implicit TLS the login is protected whatever is asked here, but
    // libcurl takes a refused PROT P for clear data unless TLS is required
    // for all: it is, so such a server fails the command instead.
    const TlsSettings::Use use = implicitTls ? TlsSettings::Use::Required : tls.use;
    setOption(easy, CURLOPT_USE_SSL, uses.at(use));
    if (use == TlsSettings::Use::Off)
        return;
    // libcurl's default asks AUTH SSL first, which some servers refuse.
    setOption(easy, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
    // With TLS 1.3, libcurl 7.88 can close an upload's data connection
    // before the server has read all of it (the server then keeps a
    // truncated file and answers 426); TLS 1.2 does not have the problem.
    setOption(easy, CURLOPT_SSLVERSION,
              long(CURL_SSLVERSION_TLSv1_2 | CURL_SSLVERSION_MAX_TLSv1_2));
    // Data connections must resume the login's TLS session (servers such as
    // vsftpd insist), and each operation has a handle of its own: the
    // session cache lives in a share all of them use.
    if (tls.share)
        setOption(easy, CURLOPT_SHARE, tls.share);
    switch (tls.check) {
    case TlsSettings::Check::Authorities:
        break;
    case TlsSettings::Check::Pinned:
        setOption(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        setOption(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        setOption(easy, CURLOPT_PINNEDPUBLICKEY, tls.pin.constData());
        break;
    case TlsSettings::Check::Probe:
        // With verification off and a pin no key can match, libcurl stops
        // right after the handshake, before USER, with the certificate in
        // CURLINFO_CERTINFO.
        setOption(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        setOption(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        setOption(easy, CURLOPT_CERTINFO, 1L);
        setOption(easy, CURLOPT_PINNEDPUBLICKEY,
                  "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=");
        break;
    }
}

QByteArray remoteFile(const OperationOrder &order, const QString &name)
{
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    const RemoteFolder folder =
        slash < 0 ? order.folder : order.folder.resolved(name.left(slash + 1));
    return order.serverUrl + folder.urlPath() + QUrl::toPercentEncoding(name.mid(slash + 1));
}

QByteArray folderUrl(const OperationOrder &order, const RemoteFolder &folder)
{
    return order.serverUrl + folder.urlPath();
}

// A command sent after libcurl has changed into the current folder;
// CURLOPT_QUOTE would run in the login folder instead.
void afterChangingFolder(PreparedRequest &prepared, const OperationOrder &order,
                         const QList<QByteArray> &commands)
{
    for (const QByteArray &command : commands)
        appendTo(prepared.postQuote, command);
    configure(prepared.easy, order, folderUrl(order, order.folder));
    setOption(prepared.easy, CURLOPT_NOBODY, 1L);
    setOption(prepared.easy, CURLOPT_POSTQUOTE, prepared.postQuote.get());
}

QByteArray withName(const char *verb, const QString &name)
{
    return QByteArray(verb) + ' ' + name.toUtf8();
}

} // namespace

PreparedRequest prepareRequest(CURL *easy, const OperationOrder &order, const TlsSettings &tls,
                               bool announceUtf8, bool askFeatures, bool wake)
{
    PreparedRequest prepared;
    prepared.easy = easy;
    if (wake || order.command.verb == TransferVerb::Noop)
        appendTo(prepared.quote, "NOOP");
    const QStringList &args = order.command.args;
    switch (order.command.verb) {
    case TransferVerb::Get:
        configure(prepared.easy, order, remoteFile(order, args.at(0)));
        prepared.data = PreparedRequest::Data::Download;
        if (args.size() > 1)
            prepared.localName = localPath(args.at(1));
        setTransferPart(prepared.easy, order);
        break;
    case TransferVerb::Put: {
        prepared.localName = localPath(args.at(0));
        const QString remoteName =
            args.size() > 1 ? args.at(1) : QFileInfo(prepared.localName).fileName();
        configure(prepared.easy, order, remoteFile(order, remoteName));
        prepared.data = PreparedRequest::Data::Upload;
        setOption(prepared.easy, CURLOPT_UPLOAD, 1L);
        setTransferPart(prepared.easy, order);
        // What the server can check besides the size, unless the login
        // told already; "*" because FEAT is optional.
        if (order.checkUpload && askFeatures)
            appendTo(prepared.quote, "*FEAT");
        // Asked after the upload, to tell whether the server holds all of it;
        // "*" because not every server answers SIZE.
        appendTo(prepared.postQuote,
                 "*SIZE " + remoteName.mid(remoteName.lastIndexOf(QLatin1Char('/')) + 1).toUtf8());
        setOption(prepared.easy, CURLOPT_POSTQUOTE, prepared.postQuote.get());
        break;
    }
    case TransferVerb::Cd:
    case TransferVerb::Cdup:
        prepared.newFolder = order.folder.resolved(
            order.command.verb == TransferVerb::Cd ? args.at(0) : QStringLiteral(".."));
        // Changing into the folder with no transfer: the server's reply to
        // CWD decides whether the folder exists.
        configure(prepared.easy, order, folderUrl(order, *prepared.newFolder));
        setOption(prepared.easy, CURLOPT_NOBODY, 1L);
        break;
    case TransferVerb::Dir:
    case TransferVerb::Ls:
        configure(
            prepared.easy, order,
            folderUrl(order, args.isEmpty() ? order.folder : order.folder.resolved(args.at(0))));
        prepared.data = PreparedRequest::Data::Download;
        if (order.command.verb == TransferVerb::Ls)
            setOption(prepared.easy, CURLOPT_DIRLISTONLY, 1L);
        break;
    case TransferVerb::Size:
        configure(prepared.easy, order, remoteFile(order, args.at(0)));
        setOption(prepared.easy, CURLOPT_NOBODY, 1L);
        break;
    case TransferVerb::Pwd:
        afterChangingFolder(prepared, order, {"PWD"});
        break;
    case TransferVerb::Mkdir:
        afterChangingFolder(prepared, order, {withName("MKD", args.at(0))});
        break;
    case TransferVerb::Rmdir:
        afterChangingFolder(prepared, order, {withName("RMD", args.at(0))});
        break;
    case TransferVerb::Delete:
        afterChangingFolder(prepared, order, {withName("DELE", args.at(0))});
        break;
    case TransferVerb::Rename:
        afterChangingFolder(prepared, order,
                            {withName("RNFR", args.at(0)), withName("RNTO", args.at(1))});
        break;
    case TransferVerb::Quote: {
        QList<QByteArray> commands;
        for (const QString &command : args)
            commands << command.toUtf8();
        afterChangingFolder(prepared, order, commands);
        break;
    }
    case TransferVerb::Noop:
        // Its NOOP goes first (see above), never after the folder as the
        // commands above: it must restart libcurl's clock for the reply.
        configure(prepared.easy, order, folderUrl(order, order.folder));
        setOption(prepared.easy, CURLOPT_NOBODY, 1L);
        break;
    case TransferVerb::Close:
        // On the pooled login, where the command and its reply can be seen;
        // libcurl's own QUIT, when it drops a connection, shows nowhere.
        afterChangingFolder(prepared, order, {"QUIT"});
        break;
    case TransferVerb::Check:
        throw std::logic_error("CHECK prepares each of its requests itself.");
    case TransferVerb::Reget:
    case TransferVerb::Reput:
    case TransferVerb::Hash:
    case TransferVerb::Idletest:
    case TransferVerb::Soak:
        throw std::logic_error("REGET, REPUT, HASH, IDLETEST and SOAK are made of other requests.");
    case TransferVerb::Abort:
    case TransferVerb::Timeout:
    case TransferVerb::Keepalive:
    case TransferVerb::Proxy:
        throw std::logic_error("ABORT, TIMEOUT, KEEPALIVE and PROXY make no request.");
    }
    // libcurl never asks for UTF-8 names; some servers want to be told.
    // A leading "*" lets a refusal pass without failing the operation.
    if (announceUtf8)
        appendTo(prepared.quote, "*OPTS UTF8 ON");
    if (prepared.quote)
        setOption(prepared.easy, CURLOPT_QUOTE, prepared.quote.get());
    protect(prepared.easy, tls, order.implicitTls);
    return prepared;
}

void prepareBareRequest(CURL *easy, const OperationOrder &order, const QByteArray &url,
                        const TlsSettings &tls)
{
    configure(easy, order, url);
    protect(easy, tls, order.implicitTls);
}
