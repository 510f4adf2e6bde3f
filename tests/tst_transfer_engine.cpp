// The engine with operations of the test's own making: whatever an
// operation throws, wherever the engine calls it, ends that operation in the
// error state with a sentence, and the next one runs.
#include "engine/curl_handles.h"
#include "engine/socket_registry.h"
#include "engine/transfer_engine.h"
#include "text/failure_text.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {

enum class Fault { None, Making, AfterAction, Done, Continue, CurlOption };

// Fetches from the test's HTTP server on loopback, and throws
// where it is told to.
class TestOperation final : public Operation
{
public:
    TestOperation(OperationOrder order, const OperationContext &context, Fault fault,
                  const QByteArray &url)
        : m_order(std::move(order)), m_easy(context.easy), m_fault(fault)
    {
        if (fault == Fault::Making)
            throw std::logic_error("made wrong");
        setOption(m_easy, CURLOPT_URL, url.constData());
        setOption(m_easy, CURLOPT_WRITEFUNCTION, &TestOperation::discard);
        setOption(m_easy, CURLOPT_PROXY, "");
        if (fault == Fault::CurlOption)
            setOption(m_easy, CURLOPT_SSLVERSION, 999L);
    }
    ~TestOperation() override { curl_easy_reset(m_easy); }

    CURL *easy() const override { return m_easy; }
    const OperationOrder &order() const override { return m_order; }
    void afterAction() override
    {
        if (m_fault == Fault::AfterAction)
            throw std::out_of_range("acted wrong");
    }
    OperationStep done(CURLcode result) override
    {
        if (m_fault == Fault::Done)
            throw std::runtime_error("The test operation ended in its own words.");
        if (m_fault == Fault::Continue && m_rounds++ == 0) {
            OperationStep step;
            step.kind = OperationStep::Kind::Continue;
            return step;
        }
        if (m_fault == Fault::Continue)
            throw std::bad_alloc();
        OperationOutcome outcome;
        outcome.ok = result == CURLE_OK;
        return OperationStep::finished(outcome);
    }
    OperationOutcome stop() override { return {}; }

private:
    static size_t discard(char *, size_t size, size_t count, void *) { return size * count; }

    OperationOrder m_order;
    CURL *m_easy;
    Fault m_fault;
    int m_rounds = 0;
};

} // namespace

class TestTransferEngine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void thrownOperationEnds_data();
    void thrownOperationEnds();

private:
    // Runs one order to its Finished report; the reports it gave.
    EngineReports run(TransferEngine &engine);

    // Answers every request with a short body in two parts, 50 ms apart:
    // the transfer takes several turns of the event loop.
    QTcpServer m_server;
    Fault m_next = Fault::None;
    EngineReports m_reports;
};

void TestTransferEngine::initTestCase()
{
    QVERIFY(m_server.listen(QHostAddress::LocalHost));
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        QTcpSocket *client = m_server.nextPendingConnection();
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QTcpSocket::readyRead, client, [client] {
            client->readAll();
            client->write("HTTP/1.0 200 OK\r\nContent-Length: 2000\r\n\r\n");
            client->write(QByteArray(1000, 'x'));
            QTimer::singleShot(50, client, [client] {
                client->write(QByteArray(1000, 'y'));
                client->disconnectFromHost();
            });
        });
    });
}

void TestTransferEngine::thrownOperationEnds_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("sentence"); // empty: the program's own for a fault of its own
    QTest::newRow("making it") << Fault::Making << "";
    QTest::newRow("libcurl refuses an option") << Fault::CurlOption << "";
    QTest::newRow("after an action") << Fault::AfterAction << "";
    QTest::newRow("done, in the operator's words")
        << Fault::Done << "The test operation ended in its own words.";
    QTest::newRow("done after continuing") << Fault::Continue << "";
}

EngineReports TestTransferEngine::run(TransferEngine &engine)
{
    m_reports.clear();
    OperationOrder order;
    order.command = parseTransferCommand(QStringLiteral("PWD"));
    engine.start(order);
    const auto finished = [this] {
        for (const EngineReport &report : m_reports)
            if (report.kind == EngineReport::Kind::Finished)
                return true;
        return false;
    };
    if (!QTest::qWaitFor(finished, 10000))
        return {};
    return m_reports;
}

void TestTransferEngine::thrownOperationEnds()
{
    QFETCH(Fault, fault);
    QFETCH(QString, sentence);
    if (sentence.isEmpty())
        sentence = internalFaultText();
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()) + "/";
    TransferEngine engine(
        [this, url](const OperationOrder &order, const OperationContext &context) {
            return std::make_unique<TestOperation>(order, context, m_next, url);
        },
        [this](EngineReports &&reports) {
            for (EngineReport &report : reports)
                m_reports.push_back(std::move(report));
        },
        std::make_shared<SocketRegistry>(), QThread::currentThread());

    m_next = fault;
    const EngineReports failed = run(engine);
    QVERIFY(!failed.empty());
    QCOMPARE(failed.back().kind, EngineReport::Kind::Finished);
    QVERIFY(!failed.back().ok);
    const auto lastState = std::find_if(failed.rbegin(), failed.rend(), [](const auto &report) {
        return report.kind == EngineReport::Kind::State;
    });
    QVERIFY(lastState != failed.rend());
    QCOMPARE(lastState->state, TransferState::Error);
    QCOMPARE(lastState->info, sentence);

    m_next = Fault::None;
    const EngineReports next = run(engine);
    QVERIFY(!next.empty());
    QVERIFY(next.back().ok);
    engine.shutdown();
}

QTEST_GUILESS_MAIN(TestTransferEngine)
#include "tst_transfer_engine.moc"
