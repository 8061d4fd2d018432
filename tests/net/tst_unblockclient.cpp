#include "config/Config.h"
#include "net/ClientKVOBServer.h"
#include "ui/services/MultiProgressElement.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

QString certPath(const QString& name)
{
    return qEnvironmentVariable("DRVP_CERTS_DIR") + QLatin1Char('/') + name;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList serverIdentity(const QString& cert)
{
    return {"--cert", certPath(cert + ".pem"), "--key", certPath(cert + ".key"), "--ca", certPath("ca.pem")};
}

// The local unblock server, run as a process of its own.
class ServerProcess
{
public:
    explicit ServerProcess(const QStringList& args)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + "/unblockserver", args);
        while (port == 0 && process.waitForReadyRead(20000)) {
            const QStringList found = lines("PORT ");
            if (!found.isEmpty())
                port = found.first().toUShort();
        }
    }

    ~ServerProcess()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    // Lines so far that begin with prefix, prefix cut off.
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

} // namespace

class TestUnblockClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void findPukEndToEnd();
    void trickledReplyWithCyrillicModule();
    void getStatusEndToEnd();
    void failuresGiveOneResult_data();
    void failuresGiveOneResult();
    void commandsInARowGetOwnResults();
    void interruptEndsRunningAndWaitingCommands();

private:
    void useServer(const ServerProcess& server, int timeoutMs = 10000);
    void useIdentity(const QString& name);
    void runBarrierCommand();
    QStringList logTexts() const;

    std::unique_ptr<ServerProcess> healthy;
    std::unique_ptr<Config> config;
    std::unique_ptr<ClientKVOBServer> client;
    std::unique_ptr<QSignalSpy> results;
    std::unique_ptr<QSignalSpy> logs;
    QVector<QLabel*> stepLabels;
    QLabel messageLabel;
    std::unique_ptr<MultiProgressElement> progress;
};

void TestUnblockClient::initTestCase()
{
    QVERIFY(QFile::exists(certPath("user-pkcs8.pem")));
    healthy = std::make_unique<ServerProcess>(serverIdentity("server"));
    QVERIFY(healthy->port != 0);
    for (int i = 0; i < 4; ++i)
        stepLabels << new QLabel(&messageLabel);
}

void TestUnblockClient::init()
{
    progress = std::make_unique<MultiProgressElement>();
    progress->init(stepLabels, {}, &messageLabel);
    progress->reset(QString(), 0);

    config = std::make_unique<Config>();
    config->unblockServer["Server"] = "127.0.0.1";
    useIdentity("user");
    QVERIFY(!config->userKey.isNull());
    useServer(*healthy);

    client = std::make_unique<ClientKVOBServer>();
    client->setConfig(config.get());
    results = std::make_unique<QSignalSpy>(client.get(), &ClientKVOBServer::commandResult);
    logs = std::make_unique<QSignalSpy>(client.get(), &ClientKVOBServer::logginMessage);
}

void TestUnblockClient::cleanup()
{
    logs.reset();
    results.reset();
    client.reset();
    config.reset();
}

void TestUnblockClient::useServer(const ServerProcess& server, int timeoutMs)
{
    config->unblockServer["Port"] = QString::number(server.port);
    config->unblockServer["Timeout"] = QString::number(timeoutMs);
}

// "user", "rogue-user", "none" (no certificate, no key), or "no-ca" (the
// user without a configured authority).
void TestUnblockClient::useIdentity(const QString& name)
{
    config->caCert = name == "no-ca" ? QSslCertificate() : QSslCertificate(readFile(certPath("ca.pem")));
    if (name == "user" || name == "no-ca") {
        config->userCert = QSslCertificate(readFile(certPath("user.pem")));
        config->userKey = QSslKey(readFile(certPath("user-pkcs8.pem")), QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey,
                                  readFile(certPath("passphrase.txt")));
    } else if (name == "rogue-user") {
        config->userCert = QSslCertificate(readFile(certPath("rogue-user.pem")));
        config->userKey = QSslKey(readFile(certPath("rogue-user.key")), QSsl::Rsa);
    } else {
        config->userCert = QSslCertificate();
        config->userKey = QSslKey();
    }
}

// A good command after a failed one: once its result is in, any late second
// result of the failed command would have arrived as well.
void TestUnblockClient::runBarrierCommand()
{
    const int before = results->count();
    useIdentity("user");
    useServer(*healthy);
    client->on_MakeCommand(progress.get(), "getStatus");
    QTRY_COMPARE_WITH_TIMEOUT(results->count(), before + 1, 20000);
    QCOMPARE(results->last().at(0).toString(), QStringLiteral("getStatus"));
    QVERIFY(results->last().at(1).toBool());
}

QStringList TestUnblockClient::logTexts() const
{
    QStringList texts;
    for (const QList<QVariant>& entry : *logs)
        texts << entry.at(1).toString();
    return texts;
}

void TestUnblockClient::findPukEndToEnd()
{
    client->on_MakeCommand(progress.get(), "findPUK", {"RUD12345678901AB", "123-45678", "ignored"});
    QVERIFY(results->isEmpty()); // answered later, never from inside the call
    QTRY_COMPARE_WITH_TIMEOUT(results->count(), 1, 20000);

    const QList<QVariant> result = results->takeFirst();
    QCOMPARE(result.at(0).toString(), QStringLiteral("findPUK"));
    QVERIFY(result.at(1).toBool());
    QCOMPARE(result.at(2).toStringList(),
             (QStringList{"RUD12345678901AB", "123-45678", "57319024", "None", QStringLiteral("База изготовителя"), "42"}));

    QTRY_VERIFY_WITH_TIMEOUT(!healthy->requests().isEmpty(), 10000);
    QCOMPARE(healthy->requests().last(), QByteArray("[SIZE]:39;\r\n[BODY]:findPUK('RUD12345678901AB','123-45678')"));
    const QSslCertificate user(readFile(certPath("user.pem")));
    QCOMPARE(healthy->lines("PEER ").last(), QString::fromLatin1(user.digest(QCryptographicHash::Sha256).toHex()));

    QCOMPARE(messageLabel.text(), QStringLiteral("Команда выполнена успешно"));
    QCOMPARE(progress->current, quint8(2));
    for (const QString& line : logTexts()) {
        QVERIFY2(!line.contains("57319024"), qPrintable(line));
        QVERIFY2(!line.contains("/><"), qPrintable(line));
    }
}

void TestUnblockClient::trickledReplyWithCyrillicModule()
{
    // One byte at a time, so the header and the two-byte letters are split;
    // the whole reply takes longer than the time-out, each pause does not.
    ServerProcess trickle(serverIdentity("server") << "--chunk" << "1" << "--pause" << "30");
    QVERIFY(trickle.port != 0);
    useServer(trickle, 1000);

    client->on_MakeCommand(progress.get(), "findPUK", {"RUX", QStringLiteral("456а-1234567")});
    QTRY_COMPARE_WITH_TIMEOUT(results->count(), 1, 30000);
    const QList<QVariant> result = results->takeFirst();
    QVERIFY2(result.at(1).toBool(), qPrintable(logTexts().join('\n')));
    QCOMPARE(result.at(2).toStringList(),
             (QStringList{"RUM123456789ABCD", QStringLiteral("456а-1234567"), "87654321", "None", "", "42"}));
    QCOMPARE(trickle.requests().first(),
             QStringLiteral("[SIZE]:29;\r\n[BODY]:findPUK('RUX','456а-1234567')").toUtf8());
}

void TestUnblockClient::getStatusEndToEnd()
{
    ServerProcess chunked(serverIdentity("server") << "--chunk" << "7");
    useServer(chunked);
    client->on_MakeCommand(progress.get(), "getStatus");
    QTRY_COMPARE_WITH_TIMEOUT(results->count(), 1, 20000);

    const QList<QVariant> result = results->takeFirst();
    QCOMPARE(result.at(0).toString(), QStringLiteral("getStatus"));
    QVERIFY(result.at(1).toBool());
    const QStringList list = result.at(2).toStringList();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0), QStringLiteral("42"));
    QVERIFY(list.at(1).startsWith(QStringLiteral("'ivanov@example.ru','RUD12345678901AB','Сервер'")));
    QCOMPARE(list.at(1).count("\r\n"), 2);
    QCOMPARE(chunked.requests(), QByteArrayList{"[SIZE]:11;\r\n[BODY]:getStatus()"});
}

void TestUnblockClient::failuresGiveOneResult_data()
{
    QTest::addColumn<QString>("serverCert");
    QTest::addColumn<QStringList>("serverOptions");
    QTest::addColumn<QString>("identity");
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<QString>("stepText");
    QTest::addColumn<QString>("logText");

    const QStringList card{"RUD12345678901AB", "123-45678"};
    const QString connectFailed = QStringLiteral("Ошибка подключения к серверу разблокировки");
    const QString formatStep = QStringLiteral("Ошибка формата ответа сервера");
    const QString formatLog = QStringLiteral("Ошибка в формате ответа сервера разблокировки.");

    QTest::newRow("rogue CA") << "rogue-server" << QStringList() << "user" << card << connectFailed
                              << QStringLiteral("Ошибка подключения к серверу разблокировки: ");
    QTest::newRow("wrong host") << "wronghost" << QStringList() << "user" << card << connectFailed
                                << QStringLiteral("Ошибка подключения к серверу разблокировки: ");
    QTest::newRow("no authority configured") << "server" << QStringList() << "no-ca" << card << connectFailed
                                             << QStringLiteral("Ошибка подключения к серверу разблокировки: ");
    QTest::newRow("no client certificate") << "server" << QStringList() << "none" << card << connectFailed << "";
    QTest::newRow("client certificate of another CA")
        << "server" << QStringList() << "rogue-user" << card << connectFailed << "";
    QTest::newRow("silence") << "server" << QStringList{"--silent"} << "user" << card
                             << QStringLiteral("Истеклов время ожидания ответа сервера")
                             << QStringLiteral("Истекло время ожидания получения ответа от сервера разблокировки.");
    QTest::newRow("plain TCP") << "server" << QStringList{"--plain"} << "user" << card << connectFailed << "";
    QTest::newRow("plain TCP, silent") << "server" << QStringList{"--plain", "--silent"} << "user" << card
                                       << QStringLiteral("Истеклов время подключения к серверу")
                                       << QStringLiteral("Истекло время ожидания подключения к серверу разблокировки.");
    QTest::newRow("closed after handshake")
        << "server" << QStringList{"--close-after-handshake"} << "user" << card << connectFailed << "";
    QTest::newRow("error reply") << "server" << QStringList{"--error", QStringLiteral("Доступ <запрещён>")} << "user"
                                 << card << QStringLiteral("Команда не выполнена")
                                 << QStringLiteral("Команда \"findPUK\" выполнена с ошибкой. Ответ сервера "
                                                   "разблокировки: ERROR('Доступ &lt;запрещён&gt;')");
    QTest::newRow("surplus bytes") << "server" << QStringList{"--surplus"} << "user" << card << formatStep << formatLog;
    QTest::newRow("malformed frame") << "server" << QStringList{"--malformed"} << "user" << card << formatStep
                                     << formatLog;
    QTest::newRow("apostrophe in card number")
        << "server" << QStringList() << "user" << QStringList{"RUD1'),getStatus('", "1"}
        << QStringLiteral("Недопустимые символы в параметрах запроса") << "";
    QTest::newRow("line break in module number")
        << "server" << QStringList() << "user" << QStringList{"RUD12345678901AB", "1\r\n[SIZE]"}
        << QStringLiteral("Недопустимые символы в параметрах запроса") << "";
}

void TestUnblockClient::failuresGiveOneResult()
{
    QFETCH(QString, serverCert);
    QFETCH(QStringList, serverOptions);
    QFETCH(QString, identity);
    QFETCH(QStringList, params);
    QFETCH(QString, stepText);
    QFETCH(QString, logText);

    ServerProcess server(serverIdentity(serverCert) + serverOptions);
    QVERIFY(server.port != 0);
    useServer(server, 1000);
    useIdentity(identity);

    client->on_MakeCommand(progress.get(), "findPUK", params);
    QTRY_COMPARE_WITH_TIMEOUT(results->count(), 1, 20000);
    const QList<QVariant> result = results->first();
    QCOMPARE(result.at(0).toString(), QStringLiteral("findPUK"));
    QVERIFY(!result.at(1).toBool());
    QVERIFY(result.at(2).toStringList().isEmpty());
    QCOMPARE(messageLabel.text(), stepText);
    if (!logText.isEmpty()) {
        const QStringList texts = logTexts();
        QVERIFY2(std::any_of(texts.begin(), texts.end(), [&](const QString& t) { return t.startsWith(logText); }),
                 qPrintable(texts.join('\n')));
    }

    runBarrierCommand();
    QCOMPARE(results->count(), 2);

    const bool refusedBeforeSending = stepText.startsWith(QStringLiteral("Недопустимые"));
    if (refusedBeforeSending)
        QVERIFY(server.lines("CONNECTION").isEmpty());
    // Only a server that accepted the handshake may have seen a request.
    if (serverCert != "server" || identity != "user" || refusedBeforeSending)
        QVERIFY(server.requests().isEmpty());
    if (identity == "none" || identity == "rogue-user")
        QTRY_VERIFY_WITH_TIMEOUT(!server.lines("SSLERRORS ").isEmpty(), 10000);
}

void TestUnblockClient::commandsInARowGetOwnResults()
{
    const int earlier = healthy->requests().size();
    client->on_MakeCommand(progress.get(), "getStatus");
    client->on_MakeCommand(progress.get(), "findPUK", {"RUM123456789ABCD", "000-00000"});
    client->on_MakeCommand(progress.get(), "findPUK", {"RUD00000000000AA", "000-00000"});
    QTRY_COMPARE_WITH_TIMEOUT(results->count(), 3, 30000);

    QCOMPARE(results->at(0).at(0).toString(), QStringLiteral("getStatus"));
    QCOMPARE(results->at(0).at(2).toStringList().size(), 2);
    QCOMPARE(results->at(1).at(0).toString(), QStringLiteral("findPUK"));
    QCOMPARE(results->at(1).at(2).toStringList().value(2), QStringLiteral("87654321"));
    // The card the server does not know: an error reply, no list.
    QCOMPARE(results->at(2).at(0).toString(), QStringLiteral("findPUK"));
    QVERIFY(!results->at(2).at(1).toBool());
    QVERIFY(results->at(2).at(2).toStringList().isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(healthy->requests().size(), earlier + 3, 10000);
    const QByteArrayList requests = healthy->requests().mid(earlier);
    QVERIFY(requests.at(0).endsWith("getStatus()"));
    QVERIFY(requests.at(1).endsWith("findPUK('RUM123456789ABCD','000-00000')"));
    QVERIFY(requests.at(2).endsWith("findPUK('RUD00000000000AA','000-00000')"));
}

void TestUnblockClient::interruptEndsRunningAndWaitingCommands()
{
    client->on_InterruptAllOperation(); // nothing running: nothing happens
    QVERIFY(results->isEmpty());

    ServerProcess silent(serverIdentity("server") << "--silent");
    useServer(silent, 60000);
    client->on_MakeCommand(progress.get(), "findPUK", {"RUD12345678901AB", "123-45678"});
    client->on_MakeCommand(progress.get(), "getStatus");
    QTRY_COMPARE_WITH_TIMEOUT(silent.requests().size(), 1, 20000);

    client->on_InterruptAllOperation();
    QCOMPARE(results->count(), 2);
    QCOMPARE(results->at(0).at(0).toString(), QStringLiteral("findPUK"));
    QCOMPARE(results->at(1).at(0).toString(), QStringLiteral("getStatus"));
    QVERIFY(!results->at(0).at(1).toBool() && !results->at(1).at(1).toBool());
    QCOMPARE(logTexts().count(QStringLiteral("Процесс прерван пользователем.")), 2);

    runBarrierCommand();
    QCOMPARE(results->count(), 3);
    QCOMPARE(silent.requests().size(), 1);
}

QTEST_MAIN(TestUnblockClient)
#include "tst_unblockclient.moc"
