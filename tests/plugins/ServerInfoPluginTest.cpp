// The server-browse plug-in against a SQL Server Browser stand-in on 127.0.0.1. Every test points
// the plug-in at the loopback address first: nothing here ever broadcasts.
#include "PluginTests.h"
#include "TestSupport.h"

#include <QLibrary>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <future>
#include <memory>
#include <vector>

namespace {

using GetServersCall = unsigned char (*)(char *);
constexpr int BufferSize = 65536;
const char TargetVariable[] = "ORVEL_SSRP_TARGET";

// An SVR_RESP datagram; `declared` overrides the length field.
QByteArray Answer(const QByteArray &data, int declared = -1) {
    const int size = declared < 0 ? int(data.size()) : declared;
    QByteArray datagram(1, '\x05');
    datagram.append(char(size & 0xFF)).append(char((size >> 8) & 0xFF));
    return datagram + data;
}

QByteArray Record(const QByteArray &server, const QByteArray &instance) {
    return "ServerName;" + server + ";InstanceName;" + instance +
           ";IsClustered;No;Version;16.0.1000.6;tcp;1433;np;\\\\" + server + "\\pipe\\sql\\query;;";
}

// Answers the first request it receives with the given datagrams, then ends. It runs on a QThread
// rather than a foreign thread: Qt then owns the thread's data for the socket and frees it, where
// an adopted thread's data may still stand at exit (the leak checker reported it under load).
class BrowserStandIn {
public:
    explicit BrowserStandIn(QList<QByteArray> answers) {
        std::promise<quint16> bound;
        FPort = bound.get_future();
        FThread.reset(QThread::create([this, answers, bound = std::move(bound)]() mutable {
            QUdpSocket socket;
            if (!socket.bind(QHostAddress::LocalHost, 0)) {
                bound.set_value(0);
                return;
            }
            bound.set_value(socket.localPort());
            if (!socket.waitForReadyRead(10000))
                return;
            QHostAddress sender;
            quint16 senderPort = 0;
            FRequest.resize(int(socket.pendingDatagramSize()));
            socket.readDatagram(FRequest.data(), FRequest.size(), &sender, &senderPort);
            for (const QByteArray &answer : answers)
                socket.writeDatagram(answer, sender, senderPort);
        }));
        FThread->start();
    }
    ~BrowserStandIn() { FThread->wait(); }
    BrowserStandIn(const BrowserStandIn &) = delete;
    BrowserStandIn &operator=(const BrowserStandIn &) = delete;

    QByteArray Target() { return "127.0.0.1:" + QByteArray::number(FPort.get()); }
    // The request as received; read after the plug-in returned.
    QByteArray Request() {
        FThread->wait();
        return FRequest;
    }

private:
    std::future<quint16> FPort;
    std::unique_ptr<QThread> FThread;
    QByteArray FRequest;
};

} // namespace

class ServerInfoPluginTest : public QObject {
    Q_OBJECT
private:
    QLibrary FLibrary{BuiltAppDir() + QStringLiteral("/libSQLServerInfo.so")};
    GetServersCall FGetServers = nullptr;

    // Calls the plug-in as the login dialog does: a zero-filled buffer of 65536 bytes, here
    // followed by guard bytes; a call that touches them fails the test.
    QByteArray Call(unsigned char &result) {
        std::vector<char> buffer(BufferSize + 64, '\xAB');
        std::fill_n(buffer.begin(), BufferSize, '\0');
        result = FGetServers(buffer.data());
        FWrotePastBuffer = std::any_of(buffer.begin() + BufferSize, buffer.end(),
                                       [](char c) { return c != '\xAB'; });
        const auto end = std::find(buffer.begin(), buffer.begin() + BufferSize, '\0');
        return QByteArray(buffer.data(), end - buffer.begin());
    }
    bool FWrotePastBuffer = false;

private slots:
    void initTestCase() {
        QVERIFY2(FLibrary.load(), qPrintable(FLibrary.errorString()));
        FGetServers = reinterpret_cast<GetServersCall>(FLibrary.resolve("GetServers"));
        QVERIFY(FGetServers);
    }
    void cleanup() {
        qunsetenv(TargetVariable);
        QVERIFY2(!FWrotePastBuffer, "GetServers wrote past its buffer");
        FWrotePastBuffer = false;
    }

    void answers_data() {
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("default and named instance")
            << QList<QByteArray>{Answer(Record("HOSTA", "MSSQLSERVER") +
                                        Record("HOSTA", "SQLEXPRESS"))}
            << QByteArray("HOSTA;HOSTA\\SQLEXPRESS");
        QTest::newRow("same instance in two answers, letter case differs")
            << QList<QByteArray>{Answer(Record("HostA", "Raporty")),
                                 Answer(Record("HOSTA", "RAPORTY") +
                                        Record("HOSTB", "mssqlserver"))}
            << QByteArray("HostA\\Raporty;HOSTB");
        QTest::newRow("only the declared length counts")
            << QList<QByteArray>{Answer(Record("HOSTA", "ONE") + Record("HOSTB", "TWO"),
                                        int(Record("HOSTA", "ONE").size()))}
            << QByteArray("HOSTA\\ONE");
        QTest::newRow("keys in any letter case")
            << QList<QByteArray>{Answer("servername;HOSTC;INSTANCENAME;X;isclustered;No;;")}
            << QByteArray("HOSTC\\X");
        QTest::newRow("record without a server name skipped")
            << QList<QByteArray>{Answer("ServerName;;InstanceName;X;;" + Record("HOSTD", "Y") +
                                        "Garbage;;")}
            << QByteArray("HOSTD\\Y");
        QTest::newRow("not an answer")
            << QList<QByteArray>{"\x04" + Record("HOSTA", "X")} << QByteArray();
        QTest::newRow("no instances") << QList<QByteArray>{Answer("")} << QByteArray();
    }
    void answers() {
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QByteArray, expected);
        BrowserStandIn browser(answers);
        qputenv(TargetVariable, browser.Target());
        unsigned char result = 0;
        QCOMPARE(Call(result), expected);
        QCOMPARE(result, 1);
        QCOMPARE(browser.Request(), QByteArray("\x03")); // CLNT_UCAST_EX to one host
    }

    // More names than the buffer holds: as many whole names as fit, the terminator inside. One
    // name would fill the buffer to its last byte, leaving no room for the terminator.
    void hugeAnswerStaysInBuffer() {
        QByteArrayList all;
        const auto standard = [&all] {
            return "S" + QByteArray::number(all.size()).rightJustified(5, '0') + "\\" +
                   QByteArray(100, 'I');
        };
        qsizetype joined = -1; // length of the names so far joined by ";"
        while (joined + 2 * (standard().size() + 1) < BufferSize) {
            all << standard();
            joined += standard().size() + 1;
        }
        const qsizetype fitting = all.size();
        all << "EXACT\\" + QByteArray(BufferSize - (joined + 1) - 6, 'I');
        while (all.size() < fitting + 20)
            all << standard();

        QList<QByteArray> answers{QByteArray()};
        for (const QByteArray &name : std::as_const(all)) {
            const QByteArrayList parts = name.split('\\');
            answers.last() += "ServerName;" + parts[0] + ";InstanceName;" + parts[1] + ";;";
            if (answers.last().size() > 50000)
                answers << QByteArray();
        }
        for (QByteArray &answer : answers)
            answer = Answer(answer);

        BrowserStandIn browser(answers);
        qputenv(TargetVariable, browser.Target());
        unsigned char result = 0;
        const QByteArray text = Call(result);
        QCOMPARE(result, 1);
        QCOMPARE(text.split(';'), all.mid(0, fitting));
        QCOMPARE(text.size(), joined);
    }

    void nobodyListening() {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
        const quint16 port = probe.localPort();
        probe.close();
        qputenv(TargetVariable, "127.0.0.1:" + QByteArray::number(port));
        unsigned char result = 0;
        QCOMPARE(Call(result), QByteArray());
        QCOMPARE(result, 1);
    }

    void invalidTarget_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("port not a number") << QByteArray("127.0.0.1:abc");
        QTest::newRow("port missing") << QByteArray("127.0.0.1:");
        QTest::newRow("port zero") << QByteArray("127.0.0.1:0");
        QTest::newRow("port too big") << QByteArray("127.0.0.1:65536");
        QTest::newRow("host missing") << QByteArray(":1434");
    }
    void invalidTarget() {
        QFETCH(QByteArray, target);
        qputenv(TargetVariable, target);
        unsigned char result = 1;
        QCOMPARE(Call(result), QByteArray());
        QCOMPARE(result, 0);
    }

    void noBuffer() {
        qputenv(TargetVariable, "127.0.0.1:abc");
        QCOMPARE(FGetServers(nullptr), 0);
    }
};

int RunServerInfoPluginTests(int argc, char **argv) {
    ServerInfoPluginTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ServerInfoPluginTest.moc"
