#pragma once

// Running the real transfer component in tests: pointed at a server on
// loopback with an account, one operation to its end with everything it
// reported.
#include "curl_transfer.h"
#include "ftp_server_process.h"
#include "test_files.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

// Qt's messages (its warnings among them) while it lives.
class CapturedMessages
{
public:
    CapturedMessages() : m_previous(qInstallMessageHandler(&CapturedMessages::add)) { lines().clear(); }
    ~CapturedMessages() { qInstallMessageHandler(m_previous); }
    QString text() const { return lines().join('\n'); }

private:
    static QStringList &lines()
    {
        static QStringList captured;
        return captured;
    }
    static void add(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        lines() << message;
    }
    QtMessageHandler m_previous;
};

// The account the plain test servers are started with.
inline const QString TestUser = QStringLiteral("tester");
inline const QString TestPassword = QStringLiteral("Pw9!xq7z");

// The component pointed at `server` ("host:port"), with a short time-out.
inline std::unique_ptr<CurlTransfer> transferTo(const QString &server,
                                                const QString &user = TestUser,
                                                const QString &password = TestPassword)
{
    auto transfer = std::make_unique<CurlTransfer>();
    transfer->setURL(QStringLiteral("FTP://") + server);
    transfer->setUserName(user);
    transfer->setPassword(password);
    transfer->setRequestTimeout(10);
    return transfer;
}

// The component pointed at an SFTP server on loopback.
inline std::unique_ptr<CurlTransfer> sftpTransferTo(int port, const QString &user,
                                                    const QString &password)
{
    auto transfer = transferTo(QStringLiteral("127.0.0.1:%1").arg(port), user, password);
    // The scheme in any letter case.
    transfer->setURL(QStringLiteral("SFTP://127.0.0.1:%1").arg(port));
    return transfer;
}

inline std::unique_ptr<CurlTransfer> transferTo(int port, const QString &user = TestUser,
                                                const QString &password = TestPassword)
{
    return transferTo(QStringLiteral("127.0.0.1:%1").arg(port), user, password);
}

// The plain test server over a temporary folder, serving the test account,
// and a fresh local folder for each test: what the transfer tests stand on.
class PlainServerFixture
{
protected:
    // False when the server did not come up (no python3-pyftpdlib, say).
    bool startServer(const QStringList &extra = {})
    {
        return m_serverRoot.isValid() &&
               m_server.start(m_serverRoot.path(), TestUser, TestPassword, extra);
    }
    void renewLocalFolder() { m_local = std::make_unique<QTemporaryDir>(); }

    std::unique_ptr<CurlTransfer> connectedTransfer() const { return transferTo(m_server.port()); }
    QString serverPath(const QString &name) const { return m_serverRoot.filePath(name); }
    QString localFile(const QString &name) const { return m_local->filePath(name); }

    QTemporaryDir m_serverRoot;
    std::unique_ptr<QTemporaryDir> m_local;
    FtpServerProcess m_server;
};

struct Outcome
{
    QList<TransferState> states;
    QStringList infos; // ResponseInfo with each state
    QList<TrustQuestion> questions;
    QStringList protocol;
    QStringList protections;
    qint32 code = 0; // of the last state
    QString info;
    bool ok = false;

    // True when `text` shows in a protocol line or a response text.
    bool shows(const QString &text) const
    {
        return protocol.join('\n').contains(text) || infos.join('\n').contains(text);
    }
};

// Runs one operation to its end, answering each question with `answers` in turn.
inline Outcome run(CurlTransfer &transfer, const QString &operation, QList<bool> answers = {})
{
    Outcome outcome;
    QObject context;
    QObject::connect(&transfer, &TransferComponent::StateChanged, &context, [&](qint16 state) {
        outcome.states << TransferState(state);
        outcome.code = transfer.ResponseCode();
        outcome.info = transfer.ResponseInfo();
        outcome.infos << outcome.info;
    });
    QObject::connect(&transfer, &TransferComponent::protocolEvent, &context,
                     [&](const ProtocolEvent &event) { outcome.protocol << event.text; });
    QObject::connect(&transfer, &TransferComponent::protectionChanged, &context,
                     [&](const QString &protection) { outcome.protections << protection; });
    QObject::connect(&transfer, &TransferComponent::trustQuestion, &context,
                     [&](const TrustQuestion &question) {
                         outcome.questions << question;
                         transfer.answerTrust(!answers.isEmpty() && answers.takeFirst());
                     });
    QSignalSpy finished(&transfer, &TransferComponent::finished);
    transfer.Execute(operation);
    if (finished.wait(30000))
        outcome.ok = finished.first().first().toBool();
    return outcome;
}
