#include "curl_transfer.h"

#include "chunk_decoder.h"
#include "file_writer.h"
#include "ftp_command.h"
#include "ftp_reply.h"
#include "local_path.h"
#include "remote_folder.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QScopedValueRollback>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

#include <curl/curl.h>

#include <deque>
#include <stdexcept>
#include <unordered_map>

Q_LOGGING_CATEGORY(lcTransfer, "sarvel.transfer", QtWarningMsg)

namespace {

void ensureCurlInitialised()
{
    struct Global
    {
        Global() { curl_global_init(CURL_GLOBAL_DEFAULT); }
        ~Global() { curl_global_cleanup(); }
    };
    static Global global;
}

} // namespace

class CurlTransfer::Private
{
public:
    explicit Private(CurlTransfer *q);
    ~Private();

    // One report on its way to the component's listeners. Reports are
    // queued while libcurl runs and sent once it has returned: a listener may
    // spin the event loop, and libcurl must not be called from inside its
    // own callbacks (CURLM_RECURSIVE_API_CALL).
    struct Report
    {
        enum class Kind { State, Progress, Finished } kind;
        qint16 state = 0;
        qint32 code = 0;
        QString info;
        qint64 done = 0;
        qint64 total = -1;
    };

    struct Operation
    {
        FtpVerb verb;
        CURL *easy = nullptr;
        curl_slist *quote = nullptr;
        curl_slist *postQuote = nullptr;
        // Where retrieved data goes: the local file of a GET, or a temporary
        // file that keeps it for GetChunk only.
        std::unique_ptr<FileWriter> sink;
        bool toLocalFile = false;
        bool paused = false;           // until the sink has drained
        std::unique_ptr<QFile> source; // PUT
        QString localName;
        RemoteFolder newFolder; // CD, CDUP
        QString localError;     // a failure on this side, for ResponseInfo
        bool controlUp = false; // a command went out or a reply came in
        bool dataFlowing = false;
        qint32 lastCode = 0; // last server reply of this operation
        QString pwdFolder;
        QElapsedTimer sinceProgress;
        char errorBuffer[CURL_ERROR_SIZE] = {};

        ~Operation()
        {
            if (easy)
                curl_easy_cleanup(easy);
            curl_slist_free_all(quote);
            curl_slist_free_all(postQuote);
        }
    };

    struct SocketWatch
    {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    void createMulti();
    void destroyMulti();
    void start(const FtpCommand &command);
    CURL *newEasy(const QByteArray &url);
    void fail(const QString &message);
    void closeConnection();
    void finish(CURLcode result);
    void complete(bool ok, const QString &error);
    void writeTo(std::unique_ptr<QFileDevice> file);
    void resume();
    void drainFinished();
    void socketAction(curl_socket_t socket, int events);
    // Queues `state` with the last server reply, as it stands now.
    void queueState(TransferState state);
    void dataStarted(Operation &op);
    void flush();
    void flushLater();
    void replyLine(const QString &line);
    QByteArray baseUrl() const;
    QString serverName() const;
    void queueFinished(bool ok);

    static int onSocket(CURL *, curl_socket_t s, int what, void *userp, void *);
    static int onTimer(CURLM *, long timeoutMs, void *userp);
    static size_t onWrite(char *data, size_t size, size_t count, void *userp);
    static size_t onRead(char *data, size_t size, size_t count, void *userp);
    static size_t onHeader(char *data, size_t size, size_t count, void *userp);
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp);
    static int onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                          curl_off_t ulNow);
    static curl_socket_t onOpenSocket(void *userp, curlsocktype, curl_sockaddr *address);

    CurlTransfer *q;
    CURLM *m_multi = nullptr;
    QTimer m_timer;
    std::unordered_map<curl_socket_t, SocketWatch> m_sockets;
    std::unique_ptr<Operation> m_op;

    QString m_url;
    QString m_user;
    QString m_password;
    int m_timeoutSeconds = 60;
    bool m_siteChanged = false;
    RemoteFolder m_folder;

    FtpReplyAssembler m_reply;

    qint32 m_lastCode = 0;
    QString m_lastInfo;
    // What ResponseCode/ResponseInfo show: the reply behind the report being sent.
    qint32 m_shownCode = 0;
    QString m_shownInfo;

    std::deque<Report> m_reports;
    bool m_flushing = false;

    std::unique_ptr<QIODevice> m_retrieved;
    Utf8ChunkDecoder m_decoder;
};

CurlTransfer::Private::Private(CurlTransfer *q) : q(q)
{
    ensureCurlInitialised();
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, q,
                     [this] { socketAction(CURL_SOCKET_TIMEOUT, 0); });
    createMulti();
}

CurlTransfer::Private::~Private()
{
    if (m_op && m_multi)
        curl_multi_remove_handle(m_multi, m_op->easy);
    m_op.reset();
    destroyMulti();
}

void CurlTransfer::Private::createMulti()
{
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &Private::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &Private::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    // The pool holds the one login of the current site.
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, 1L);
}

// Closes every pooled connection (libcurl sends QUIT to each).
void CurlTransfer::Private::destroyMulti()
{
    if (!m_multi)
        return;
    curl_multi_cleanup(m_multi);
    m_multi = nullptr;
    m_sockets.clear();
    m_timer.stop();
}

// "host" or "host:port", for messages.
QString CurlTransfer::Private::serverName() const
{
    const QUrl url(m_url, QUrl::TolerantMode);
    return url.port() < 0 ? url.host() : QStringLiteral("%1:%2").arg(url.host()).arg(url.port());
}

void CurlTransfer::Private::queueFinished(bool ok)
{
    Report report{Report::Kind::Finished, 0, 0, {}};
    report.state = ok;
    m_reports.push_back(report);
}

QByteArray CurlTransfer::Private::baseUrl() const
{
    const QUrl url(m_url, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        throw std::runtime_error(
            QStringLiteral("The transfer URL \"%1\" names no host.").arg(m_url).toStdString());
    if (url.scheme().compare(QLatin1String("ftp"), Qt::CaseInsensitive) != 0)
        throw std::runtime_error(QStringLiteral("The transfer URL \"%1\" is not an FTP address.")
                                     .arg(m_url)
                                     .toStdString());
    QUrl server;
    server.setScheme(QStringLiteral("ftp"));
    server.setHost(url.host());
    server.setPort(url.port());
    return server.toEncoded();
}

CURL *CurlTransfer::Private::newEasy(const QByteArray &url)
{
    // A fresh handle per operation: options such as CURLOPT_UPLOAD stick to a
    // reused handle and would turn the next download into an upload. The
    // login itself stays pooled in the multi handle.
    CURL *easy = curl_easy_init();
    m_op->easy = easy;
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    // Credentials travel as options, never inside the URL, so no error text
    // or log line built from the URL can carry the password.
    curl_easy_setopt(easy, CURLOPT_USERNAME, m_user.toUtf8().constData());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, m_password.toUtf8().constData());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, long(m_timeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(m_timeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, long(m_timeoutSeconds));
    // libcurl reads on while the socket has data, up to 100 buffers in one
    // call: 64 KiB buffers keep each call, and so each pause of the event
    // loop, to a few milliseconds.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 64L * 1024);
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_op->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Private::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &Private::onDebug);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Private::onOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Private::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Private::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    // libcurl never asks for UTF-8 names; some servers want to be told.
    // A leading "*" lets a refusal pass without failing the operation.
    m_op->quote = curl_slist_append(m_op->quote, "*OPTS UTF8 ON");
    curl_easy_setopt(easy, CURLOPT_QUOTE, m_op->quote);
    return easy;
}

void CurlTransfer::Private::start(const FtpCommand &command)
{
    const QByteArray base = baseUrl();
    if (m_siteChanged) {
        // Another site or account: drop the old login before the next operation.
        destroyMulti();
        createMulti();
        m_siteChanged = false;
    }
    if (command.verb == FtpVerb::Close)
        return closeConnection();
    if (command.verb == FtpVerb::Abort)
        throw std::runtime_error("Nothing to stop: no command is running.");

    m_op = std::make_unique<Operation>();
    m_op->verb = command.verb;
    m_retrieved.reset();
    m_decoder.reset();
    m_reply.reset();

    const auto remoteFile = [&](const QString &name) {
        const int slash = name.lastIndexOf(QLatin1Char('/'));
        const RemoteFolder folder = slash < 0 ? m_folder : m_folder.resolved(name.left(slash + 1));
        return base + folder.urlPath() + QUrl::toPercentEncoding(name.mid(slash + 1));
    };
    const auto quoted = [](const char *verb, const QString &name) {
        return QByteArray(verb) + ' ' + name.toUtf8();
    };
    const auto spoolRetrievedData = [&] {
        auto spool = std::make_unique<QTemporaryFile>();
        if (!spool->open())
            throw std::runtime_error(
                QStringLiteral("Cannot make a temporary file for the retrieved data: %1")
                    .arg(spool->errorString())
                    .toStdString());
        writeTo(std::move(spool));
    };

    CURL *easy = nullptr;
    const QStringList &args = command.args;
    switch (command.verb) {
    case FtpVerb::Get: {
        easy = newEasy(remoteFile(args.at(0)));
        if (args.size() > 1) {
            m_op->localName = localPath(args.at(1));
            // Written beside the target and renamed over it only on success,
            // so a failed download never damages an existing file.
            auto target = std::make_unique<QSaveFile>(m_op->localName);
            if (!target->open(QIODevice::WriteOnly))
                return fail(QStringLiteral("Cannot write the local file %1: %2")
                                .arg(m_op->localName, target->errorString()));
            m_op->toLocalFile = true;
            writeTo(std::move(target));
        } else {
            spoolRetrievedData();
        }
        break;
    }
    case FtpVerb::Put: {
        m_op->localName = localPath(args.at(0));
        const QString remoteName =
            args.size() > 1 ? args.at(1) : QFileInfo(m_op->localName).fileName();
        m_op->source = std::make_unique<QFile>(m_op->localName);
        if (QFileInfo(m_op->localName).isDir())
            return fail(QStringLiteral("Cannot read the local file %1: it is a folder")
                            .arg(m_op->localName));
        if (!m_op->source->open(QIODevice::ReadOnly))
            return fail(QStringLiteral("Cannot read the local file %1: %2")
                            .arg(m_op->localName, m_op->source->errorString()));
        easy = newEasy(remoteFile(remoteName));
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Private::onRead);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_op->source->size()));
        break;
    }
    case FtpVerb::Cd:
    case FtpVerb::Cdup:
        m_op->newFolder =
            m_folder.resolved(command.verb == FtpVerb::Cd ? args.at(0) : QStringLiteral(".."));
        // Changing into the folder with no transfer: the server's reply to
        // CWD decides whether the folder exists.
        easy = newEasy(base + m_op->newFolder.urlPath());
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        break;
    case FtpVerb::Dir:
    case FtpVerb::Ls:
        easy =
            newEasy(base + (args.isEmpty() ? m_folder : m_folder.resolved(args.at(0))).urlPath());
        if (command.verb == FtpVerb::Ls)
            curl_easy_setopt(easy, CURLOPT_DIRLISTONLY, 1L);
        spoolRetrievedData();
        break;
    case FtpVerb::Size:
        easy = newEasy(remoteFile(args.at(0)));
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        break;
    case FtpVerb::Pwd:
    case FtpVerb::Mkdir:
    case FtpVerb::Rmdir:
    case FtpVerb::Delete:
    case FtpVerb::Rename: {
        // Sent after libcurl has changed into the current folder; CURLOPT_QUOTE
        // would run in the login folder instead.
        auto &post = m_op->postQuote;
        if (command.verb == FtpVerb::Pwd)
            post = curl_slist_append(post, "PWD");
        else if (command.verb == FtpVerb::Mkdir)
            post = curl_slist_append(post, quoted("MKD", args.at(0)).constData());
        else if (command.verb == FtpVerb::Rmdir)
            post = curl_slist_append(post, quoted("RMD", args.at(0)).constData());
        else if (command.verb == FtpVerb::Delete)
            post = curl_slist_append(post, quoted("DELE", args.at(0)).constData());
        else {
            post = curl_slist_append(post, quoted("RNFR", args.at(0)).constData());
            post = curl_slist_append(post, quoted("RNTO", args.at(1)).constData());
        }
        easy = newEasy(base + m_folder.urlPath());
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTQUOTE, post);
        break;
    }
    case FtpVerb::Close:
    case FtpVerb::Abort:
        Q_UNREACHABLE();
    }

    m_op->sinceProgress.start();
    curl_multi_add_handle(m_multi, m_op->easy);
}

// CLOSE: a new multi handle, the old one sending QUIT on the pooled login.
void CurlTransfer::Private::closeConnection()
{
    queueState(TransferState::Disconnecting);
    destroyMulti();
    createMulti();
    queueState(TransferState::Disconnected);
    queueState(TransferState::ResponseCompleted);
    queueFinished(true);
    flushLater();
}

// Ends the operation before anything is sent, in the error state.
void CurlTransfer::Private::fail(const QString &message)
{
    m_op.reset();
    m_lastCode = 0;
    m_lastInfo = message;
    queueState(TransferState::Error);
    queueFinished(false);
    flushLater();
}

void CurlTransfer::Private::writeTo(std::unique_ptr<QFileDevice> file)
{
    m_op->sink = std::make_unique<FileWriter>(std::move(file));
    QObject::connect(m_op->sink.get(), &FileWriter::drained, q, [this] { resume(); });
}

// The sink has room again: let libcurl deliver the data it holds back.
void CurlTransfer::Private::resume()
{
    if (!m_op || !m_op->paused)
        return;
    m_op->paused = false;
    curl_easy_pause(m_op->easy, CURLPAUSE_CONT);
    drainFinished();
    flush();
}

void CurlTransfer::Private::finish(CURLcode result)
{
    curl_multi_remove_handle(m_multi, m_op->easy);
    QString error = m_op->localError;
    if (error.isEmpty() && result != CURLE_OK) {
        const QString detail = m_op->errorBuffer[0] ? QString::fromUtf8(m_op->errorBuffer)
                                                    : QString::fromUtf8(curl_easy_strerror(result));
        // A refusal the server put in words stays as the server said it.
        if (m_op->lastCode < 400)
            error = QStringLiteral("%1 (%2)").arg(detail, serverName());
    }
    const bool ok = result == CURLE_OK && error.isEmpty();
    if (!m_op->sink)
        return complete(ok, error);

    // The operation ends once its data is on disk (or discarded).
    QObject::connect(
        m_op->sink.get(), &FileWriter::finished, q,
        [this, ok, error](bool written, const QString &writeError) {
            if (writeError.isEmpty())
                return complete(ok && written, error);
            const QString what =
                m_op->toLocalFile ? m_op->localName : QStringLiteral("the retrieved data");
            complete(false, QStringLiteral("Cannot write %1: %2").arg(what, writeError));
        });
    m_op->sink->finish(ok);
}

void CurlTransfer::Private::complete(bool ok, const QString &error)
{
    std::unique_ptr<Operation> op = std::move(m_op);
    if (ok) {
        switch (op->verb) {
        case FtpVerb::Get:
        case FtpVerb::Dir:
        case FtpVerb::Ls:
            if (op->toLocalFile) {
                // Read back from the file, not held in memory.
                auto file = std::make_unique<QFile>(op->localName);
                if (file->open(QIODevice::ReadOnly))
                    m_retrieved = std::move(file);
            } else {
                m_retrieved = op->sink->takeFile();
                m_retrieved->seek(0);
            }
            break;
        case FtpVerb::Cd:
        case FtpVerb::Cdup:
            m_folder = op->newFolder;
            break;
        case FtpVerb::Size: {
            curl_off_t size = -1;
            curl_easy_getinfo(op->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(QByteArray::number(qint64(size)));
            buffer->open(QIODevice::ReadOnly);
            m_retrieved = std::move(buffer);
            break;
        }
        case FtpVerb::Pwd: {
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(op->pwdFolder.toUtf8());
            buffer->open(QIODevice::ReadOnly);
            m_retrieved = std::move(buffer);
            break;
        }
        default:
            break;
        }
        queueState(TransferState::ResponseCompleted);
    } else {
        if (!error.isEmpty()) {
            m_lastCode = op->lastCode >= 400 ? op->lastCode : 0;
            m_lastInfo = error;
        }
        queueState(TransferState::Error);
    }
    queueFinished(ok);
    op.reset();
    flush();
}

void CurlTransfer::Private::drainFinished()
{
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && m_op && message->easy_handle == m_op->easy)
            finish(message->data.result);
    }
}

void CurlTransfer::Private::socketAction(curl_socket_t socket, int events)
{
    if (!m_multi)
        return;
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    drainFinished();
    flush();
}

void CurlTransfer::Private::queueState(TransferState state)
{
    m_reports.push_back({Report::Kind::State, qint16(state), m_lastCode, m_lastInfo});
}

// State 7 goes out once, when the first data moves, not for every block.
void CurlTransfer::Private::dataStarted(Operation &op)
{
    if (op.dataFlowing)
        return;
    op.dataFlowing = true;
    queueState(TransferState::ReceivingResponse);
}

// Reports made inside Execute go out from the event loop, after it has returned.
void CurlTransfer::Private::flushLater()
{
    QMetaObject::invokeMethod(
        q, [this] { flush(); }, Qt::QueuedConnection);
}

void CurlTransfer::Private::flush()
{
    // A listener that spins the event loop may bring further reports; they
    // queue behind this one and this loop sends them in order.
    if (m_flushing)
        return;
    QScopedValueRollback<bool> guard(m_flushing, true);
    while (!m_reports.empty()) {
        const Report report = std::move(m_reports.front());
        m_reports.pop_front();
        switch (report.kind) {
        case Report::Kind::State:
            m_shownCode = report.code;
            m_shownInfo = report.info;
            Q_EMIT q->StateChanged(report.state);
            break;
        case Report::Kind::Progress:
            Q_EMIT q->progressChanged(report.done, report.total);
            break;
        case Report::Kind::Finished:
            Q_EMIT q->finished(report.state != 0);
            break;
        }
    }
}

// One line of a server reply, as libcurl read it.
void CurlTransfer::Private::replyLine(const QString &line)
{
    const std::optional<FtpReply> reply = m_reply.addLine(line);
    if (!reply)
        return;

    if (m_op && !m_op->controlUp) {
        m_op->controlUp = true;
        queueState(TransferState::Connected);
    }
    m_lastCode = reply->code;
    m_lastInfo = reply->text;
    if (m_op) {
        m_op->lastCode = m_lastCode;
        if (m_lastCode == 257 && m_op->verb == FtpVerb::Pwd)
            m_op->pwdFolder = folderFromPwdReply(m_lastInfo);
    }
    queueState(TransferState::ResponseReceived);
}

int CurlTransfer::Private::onSocket(CURL *, curl_socket_t s, int what, void *userp, void *)
{
    auto *self = static_cast<Private *>(userp);
    if (what == CURL_POLL_REMOVE) {
        // At once, not later: libcurl may hand out the same descriptor for the
        // next connection straight away.
        self->m_sockets.erase(s);
        return 0;
    }
    SocketWatch &watch = self->m_sockets[s];
    const auto watchFor = [&](std::unique_ptr<QSocketNotifier> &notifier,
                              QSocketNotifier::Type type, int event, bool wanted) {
        if (!wanted) {
            notifier.reset();
            return;
        }
        if (notifier)
            return;
        notifier = std::make_unique<QSocketNotifier>(s, type);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, self->q,
                         [self, s, event] { self->socketAction(s, event); });
    };
    watchFor(watch.read, QSocketNotifier::Read, CURL_CSELECT_IN,
             what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watchFor(watch.write, QSocketNotifier::Write, CURL_CSELECT_OUT,
             what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    return 0;
}

int CurlTransfer::Private::onTimer(CURLM *, long timeoutMs, void *userp)
{
    auto *self = static_cast<Private *>(userp);
    // Never call back into libcurl from here: a zero time-out only arms the timer.
    if (timeoutMs < 0)
        self->m_timer.stop();
    else
        self->m_timer.start(int(timeoutMs));
    return 0;
}

size_t CurlTransfer::Private::onWrite(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<Private *>(userp);
    Operation *op = self->m_op.get();
    const qint64 length = qint64(size * count);
    if (!op || !op->sink)
        return size * count;
    self->dataStarted(*op);
    // A failed write ends the transfer; the writer's error names the cause.
    if (op->sink->failed())
        return 0;
    if (!op->sink->write(data, length)) {
        // libcurl keeps this block and hands it over again after resume().
        op->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    return size * count;
}

size_t CurlTransfer::Private::onRead(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<Private *>(userp);
    Operation *op = self->m_op.get();
    self->dataStarted(*op);
    const qint64 read = op->source->read(data, qint64(size * count));
    if (read < 0) {
        op->localError = QStringLiteral("Cannot read the local file %1: %2")
                             .arg(op->localName, op->source->errorString());
        return CURL_READFUNC_ABORT;
    }
    return size_t(read);
}

size_t CurlTransfer::Private::onHeader(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<Private *>(userp);
    QByteArray line(data, qsizetype(size * count));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    self->replyLine(QString::fromUtf8(line));
    return size * count;
}

int CurlTransfer::Private::onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *self = static_cast<Private *>(userp);
    if (type != CURLINFO_HEADER_OUT && type != CURLINFO_TEXT)
        return 0;
    QByteArray line(data, qsizetype(size));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (type == CURLINFO_HEADER_OUT) {
        // libcurl shows the login line as sent, password in clear.
        if (line.startsWith("PASS "))
            line = "PASS ****";
        if (self->m_op) {
            self->m_op->controlUp = true;
            self->queueState(TransferState::Requesting);
            self->queueState(TransferState::RequestSent);
        }
        qCDebug(lcTransfer, "> %s", line.constData());
    } else {
        qCDebug(lcTransfer, "* %s", line.constData());
    }
    return 0;
}

int CurlTransfer::Private::onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow,
                                      curl_off_t ulTotal, curl_off_t ulNow)
{
    auto *self = static_cast<Private *>(userp);
    Operation *op = self->m_op.get();
    if (!op || op->sinceProgress.elapsed() < 250)
        return 0;
    op->sinceProgress.restart();
    const bool upload = op->verb == FtpVerb::Put;
    const qint64 done = upload ? ulNow : dlNow;
    const qint64 total = upload ? ulTotal : dlTotal;
    if (done > 0) {
        Report report{Report::Kind::Progress, 0, 0, {}};
        report.done = done;
        report.total = total > 0 ? total : -1;
        self->m_reports.push_back(report);
    }
    return 0;
}

curl_socket_t CurlTransfer::Private::onOpenSocket(void *userp, curlsocktype, curl_sockaddr *address)
{
    auto *self = static_cast<Private *>(userp);
    // The control connection opens before any command; later sockets carry data.
    if (self->m_op && !self->m_op->controlUp) {
        self->queueState(TransferState::ResolvingHost);
        self->queueState(TransferState::HostResolved);
        self->queueState(TransferState::Connecting);
    }
    return ::socket(address->family, address->socktype, address->protocol);
}

CurlTransfer::CurlTransfer(QObject *parent)
    : TransferComponent(parent), d(std::make_unique<Private>(this))
{}

CurlTransfer::~CurlTransfer() = default;

QString CurlTransfer::URL() const
{
    return d->m_url;
}
QString CurlTransfer::UserName() const
{
    return d->m_user;
}
qint32 CurlTransfer::ResponseCode() const
{
    return d->m_shownCode;
}
QString CurlTransfer::ResponseInfo() const
{
    return d->m_shownInfo;
}
bool CurlTransfer::StillExecuting() const
{
    return d->m_op != nullptr;
}
void CurlTransfer::answerTrust(bool) {}
int CurlTransfer::RequestTimeout() const
{
    return d->m_timeoutSeconds;
}
void CurlTransfer::setRequestTimeout(int seconds)
{
    d->m_timeoutSeconds = qMax(1, seconds);
}
QString CurlTransfer::currentFolder() const
{
    return d->m_folder.display();
}

void CurlTransfer::setURL(const QString &url)
{
    if (url == d->m_url)
        return;
    d->m_url = url;
    d->m_siteChanged = true;
    // A new site starts in its login folder, or in the folder its URL names.
    d->m_folder = RemoteFolder{}.resolved(QUrl(url, QUrl::TolerantMode).path());
    d->m_folder.absolute = false;
}

void CurlTransfer::setUserName(const QString &userName)
{
    if (userName != d->m_user)
        d->m_siteChanged = true;
    d->m_user = userName;
}

void CurlTransfer::setPassword(const QString &password)
{
    if (password != d->m_password)
        d->m_siteChanged = true;
    d->m_password = password;
}

void CurlTransfer::Execute(const QString &operation)
{
    if (d->m_op)
        throw std::runtime_error("Still executing the last request; wait for it to finish.");
    if (d->m_url.isEmpty())
        throw std::runtime_error("No site chosen yet: pick a site in the site list first.");
    FtpCommand command;
    try {
        command = parseFtpCommand(operation);
    } catch (const std::invalid_argument &error) {
        throw std::runtime_error(error.what());
    }
    try {
        d->start(command);
    } catch (...) {
        d->m_op.reset();
        throw;
    }
}

QString CurlTransfer::GetChunk(int size)
{
    if (d->m_op)
        throw std::runtime_error("Still executing the last request; wait for it to finish.");
    if (!d->m_retrieved || size <= 0)
        return {};
    const QByteArray bytes = d->m_retrieved->read(size);
    return d->m_decoder.decode(bytes, d->m_retrieved->atEnd());
}
