#include "config/Config.h"
#include "net/ClientKVOBServer.h"
#include "tests/support/RealLog.h"
#include "ui/services/MultiProgressElement.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QtTest>

#include <memory>

namespace {

QString certPath(const QString& name)
{
    return qEnvironmentVariable("DRVP_CERTS_DIR") + QLatin1Char('/') + name;
}

QByteArray readFile(const QString& name)
{
    QFile file(certPath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The local unblock server, run as a process of its own with the named
// certificate and the given options.
class ServerProcess
{
public:
    explicit ServerProcess(const QString& cert = "server", const QStringList& options = {})
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + "/unblockserver",
                      QStringList{"--cert", certPath(cert + ".pem"), "--key", certPath(cert + ".key"), "--ca",
                                  certPath("ca.pem")} + options);
        while (port == 0 && process.waitForReadyRead(20000)) {
            if (!lines("PORT ").isEmpty())
                port = lines("PORT ").first().toUShort();
        }
    }

    ~ServerProcess()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    // Output lines so far that begin with prefix, prefix cut off.
    QStringList lines(const QString& prefix)
    {
        output += QString::fromUtf8(process.readAllStandardOutput());
        QStringList found;
        for (const QString& line : output.split('\n')) {
            if (line.startsWith(prefix))
                found << line.mid(prefix.size());
        }
        return found;
    }

    QByteArrayList requests()
    {
        QByteArrayList bytes;
        for (const QString& line : lines("REQUEST "))
            bytes << QByteArray::fromBase64(line.toLatin1());
        return bytes;
    }

    quint16 port = 0;

private:
    QProcess process;
    QString output;
};

// A client with the user's identity, its progress row and a record of its
// results and log, first pointed at the given server.
struct Rig
{
    explicit Rig(const ServerProcess& server, int timeoutMs = 10000)
    {
        QVector<QLabel*> steps;
        for (int i = 0; i < 4; ++i)
            steps << new QLabel(&messageLabel);
        progress.init(steps, {}, &messageLabel);
        progress.reset(QString(), 0);
        config.unblockServer["Server"] = "127.0.0.1";
        config.caCert = QSslCertificate(readFile("ca.pem"));
        useIdentity(true);
        use(server, timeoutMs);
        client.setConfig(&config);
        RealLog::attach(&client, &ClientKVOBServer::logginMessage);
    }

    // The user's certificate and key, or none.
    void useIdentity(bool user)
    {
        config.userCert = user ? QSslCertificate(readFile("user.pem")) : QSslCertificate();
        config.userKey = user ? QSslKey(readFile("user-pkcs8.pem"), QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey,
                                        readFile("passphrase.txt"))
                              : QSslKey();
    }

    void use(const ServerProcess& server, int timeoutMs = 10000)
    {
        config.unblockServer["Port"] = QString::number(server.port);
        config.unblockServer["Timeout"] = QString::number(timeoutMs);
    }

    void run(const QString& command, const QStringList& params = {})
    {
        client.on_MakeCommand(&progress, command, params);
    }

    // The next result as "command ok|failed item|item|...", or "none".
    QString takeResult()
    {
        if (!QTest::qWaitFor([this] { return !results.isEmpty(); }, 30000))
            return "none";
        const QList<QVariant> result = results.takeFirst();
        return result.at(0).toString() + (result.at(1).toBool() ? " ok " : " failed ") +
               result.at(2).toStringList().join('|');
    }

    QStringList logTexts() const
    {
        QStringList texts;
        for (const QList<QVariant>& entry : logs)
            texts << entry.at(1).toString();
        return texts;
    }

    QLabel messageLabel;
    MultiProgressElement progress;
    Config config;
    ClientKVOBServer client;
    QSignalSpy results{&client, &ClientKVOBServer::commandResult};
    QSignalSpy logs{&client, &ClientKVOBServer::logginMessage};
};

} // namespace

class TestUnblockClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void findPukEndToEnd();
    void trickledReplyWithCyrillicModule();
    void failuresGiveOneResult_data();
    void failuresGiveOneResult();
    void commandsInARowGetOwnResults();
    void interruptEndsRunningAndWaitingCommands();
    void cleanupTestCase()
    {
        QVERIFY(RealLog::text().contains("findPUK"));
        QCOMPARE(RealLog::secretsFound({"57319024", "87654321", readFile("passphrase.txt").trimmed()}), QStringList());
    }

private:
    void runBarrierCommand(Rig& rig);

    std::unique_ptr<ServerProcess> healthy;
};

void TestUnblockClient::initTestCase()
{
    healthy = std::make_unique<ServerProcess>();
    QVERIFY(healthy->port != 0);
    QVERIFY(!Rig(*healthy).config.userKey.isNull());
}

// A good command once all results are taken: any late extra result of an
// earlier command would come before its own, and none may follow it.
void TestUnblockClient::runBarrierCommand(Rig& rig)
{
    rig.useIdentity(true);
    rig.use(*healthy);
    rig.run("getStatus");
    QVERIFY(rig.takeResult().startsWith("getStatus ok 42|"));
    QVERIFY(rig.results.isEmpty());
}

void TestUnblockClient::findPukEndToEnd()
{
    Rig rig(*healthy);
    rig.run("findPUK", {"RUD12345678901AB", "123-45678", "ignored"});
    QVERIFY(rig.results.isEmpty()); // answered later, never from inside the call
    QCOMPARE(rig.takeResult(),
             QStringLiteral("findPUK ok RUD12345678901AB|123-45678|57319024|None|База изготовителя|42"));

    QTRY_VERIFY_WITH_TIMEOUT(!healthy->requests().isEmpty(), 10000);
    QCOMPARE(healthy->requests().last(), QByteArray("[SIZE]:39;\r\n[BODY]:findPUK('RUD12345678901AB','123-45678')"));
    const QSslCertificate user(readFile("user.pem"));
    QCOMPARE(healthy->lines("PEER ").last(), QString::fromLatin1(user.digest(QCryptographicHash::Sha256).toHex()));

    QCOMPARE(rig.messageLabel.text(), QStringLiteral("Команда выполнена успешно"));
    QCOMPARE(rig.progress.current, quint8(2));
    for (const QString& line : rig.logTexts()) // the PUK stays out of the log
        QVERIFY2(!line.contains("57319024") && !line.contains("/><"), qPrintable(line));
}

void TestUnblockClient::trickledReplyWithCyrillicModule()
{
    // One byte at a time, so the header and the two-byte letters are split;
    // the whole reply takes longer than the time-out, each pause does not.
    ServerProcess trickle("server", {"--chunk", "1", "--pause", "30"});
    Rig rig(trickle, 1000);
    rig.run("findPUK", {"RUX", QStringLiteral("456а-1234567")});
    QCOMPARE(rig.takeResult(), QStringLiteral("findPUK ok RUM123456789ABCD|456а-1234567|87654321|None||42"));
    QCOMPARE(trickle.requests().first(),
             QStringLiteral("[SIZE]:29;\r\n[BODY]:findPUK('RUX','456а-1234567')").toUtf8());
}

void TestUnblockClient::failuresGiveOneResult_data()
{
    QTest::addColumn<QString>("serverCert");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("clientCert");
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<QString>("stepText");
    QTest::addColumn<QString>("logText"); // part of one log line; empty: not checked
    const auto row = [](const char* name, const QString& cert, const QStringList& options, const QString& step,
                        const QString& log, bool clientCert = true,
                        const QStringList& params = {"RUD12345678901AB", "123-45678"}) {
        QTest::newRow(name) << cert << options << clientCert << params << step << log;
    };

    const QString connect = QStringLiteral("Ошибка подключения к серверу разблокировки");
    const QString format = QStringLiteral("Ошибка формата ответа сервера");
    const QString formatLog = QStringLiteral("Ошибка в формате ответа сервера разблокировки.");
    row("rogue CA", "rogue-server", {}, connect, connect + ": ");
    row("wrong host", "wronghost", {}, connect, connect + ": ");
    row("no client certificate", "server", {}, connect, "", false);
    row("silence", "server", {"--silent"}, QStringLiteral("Истеклов время ожидания ответа сервера"),
        QStringLiteral("Истекло время ожидания получения ответа от сервера разблокировки."));
    row("plain TCP", "server", {"--plain"}, connect, "");
    row("plain TCP, silent", "server", {"--plain", "--silent"}, QStringLiteral("Истеклов время подключения к серверу"),
        QStringLiteral("Истекло время ожидания подключения к серверу разблокировки."));
    row("error reply", "server", {"--error", QStringLiteral("Доступ <запрещён>")},
        QStringLiteral("Команда не выполнена"),
        QStringLiteral("Команда \"findPUK\" выполнена с ошибкой. Ответ сервера разблокировки: "
                       "ERROR('Доступ &lt;запрещён&gt;')"));
    row("surplus bytes", "server", {"--surplus"}, format, formatLog);
    row("malformed frame", "server", {"--malformed"}, format, formatLog);
    row("injection", "server", {}, QStringLiteral("Недопустимые символы в параметрах запроса"), "", true,
        {"RUD1'),getStatus('", "1"});
}

void TestUnblockClient::failuresGiveOneResult()
{
    QFETCH(QString, serverCert);
    QFETCH(QStringList, options);
    QFETCH(bool, clientCert);
    QFETCH(QStringList, params);
    QFETCH(QString, stepText);
    QFETCH(QString, logText);

    ServerProcess server(serverCert, options);
    QVERIFY(server.port != 0);
    Rig rig(server, 1000);
    rig.useIdentity(clientCert);

    rig.run("findPUK", params);
    QCOMPARE(rig.takeResult(), QStringLiteral("findPUK failed "));
    QCOMPARE(rig.messageLabel.text(), stepText);
    QVERIFY2(logText.isEmpty() || !rig.logTexts().filter(logText).isEmpty(), qPrintable(rig.logTexts().join('\n')));
    runBarrierCommand(rig);

    const bool refusedBeforeSending = params.first().contains('\'');
    if (refusedBeforeSending)
        QVERIFY(server.lines("CONNECTION").isEmpty());
    // Only a server that accepted the handshake may have seen a request.
    if (serverCert != "server" || !clientCert || refusedBeforeSending)
        QVERIFY(server.requests().isEmpty());
    if (!clientCert)
        QTRY_VERIFY_WITH_TIMEOUT(!server.lines("SSLERRORS ").isEmpty(), 10000);
}

// Replies come in chunks of seven bytes.
void TestUnblockClient::commandsInARowGetOwnResults()
{
    ServerProcess chunked("server", {"--chunk", "7"});
    Rig rig(chunked);
    rig.run("getStatus");
    rig.run("findPUK", {"RUM123456789ABCD", "000-00000"});
    rig.run("findPUK", {"RUD00000000000AA", "000-00000"}); // a card the server does not know
    QCOMPARE(rig.takeResult(),
             QStringLiteral("getStatus ok 42|"
                            "'ivanov@example.ru','RUD12345678901AB','Сервер','01.06.2021 10:15:00','Выполнен'\r\n"
                            "'ivanov@example.ru','RUM123456789ABCD','Архив','02.06.2021 11:20:30','Отклонён'\r\n"));
    QCOMPARE(rig.takeResult(), QStringLiteral("findPUK ok RUM123456789ABCD|456а-1234567|87654321|None||42"));
    QCOMPARE(rig.takeResult(), QStringLiteral("findPUK failed "));

    QTRY_COMPARE_WITH_TIMEOUT(chunked.requests().size(), 3, 10000);
    QCOMPARE(chunked.requests(), (QByteArrayList{"[SIZE]:11;\r\n[BODY]:getStatus()",
                                                 "[SIZE]:39;\r\n[BODY]:findPUK('RUM123456789ABCD','000-00000')",
                                                 "[SIZE]:39;\r\n[BODY]:findPUK('RUD00000000000AA','000-00000')"}));
}

void TestUnblockClient::interruptEndsRunningAndWaitingCommands()
{
    ServerProcess silent("server", {"--silent"});
    Rig rig(silent, 60000);
    rig.client.on_InterruptAllOperation(); // nothing running: nothing happens
    QVERIFY(rig.results.isEmpty());
    rig.run("findPUK", {"RUD12345678901AB", "123-45678"});
    rig.run("getStatus");
    QTRY_COMPARE_WITH_TIMEOUT(silent.requests().size(), 1, 20000);

    rig.client.on_InterruptAllOperation();
    QCOMPARE(rig.results.count(), 2); // at once
    QCOMPARE(rig.takeResult(), QStringLiteral("findPUK failed "));
    QCOMPARE(rig.takeResult(), QStringLiteral("getStatus failed "));
    QCOMPARE(rig.logTexts().count(QStringLiteral("Процесс прерван пользователем.")), 2);
    runBarrierCommand(rig);
    QCOMPARE(silent.requests().size(), 1);
}

QTEST_MAIN(TestUnblockClient)
#include "tst_unblockclient.moc"
