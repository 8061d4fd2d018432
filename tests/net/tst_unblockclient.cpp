#include "config/Config.h"
#include "net/ClientKVOBServer.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/ProgressRow.h"
#include "tests/support/RealLog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QtTest>

#include <memory>

namespace {

QByteArray readFile(const QString& name)
{
    QFile file(UnblockServerProcess::certPath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A client with the user's identity, its progress row and a record of its
// results and log, first pointed at the given server.
struct Rig
{
    explicit Rig(const UnblockServerProcess& server, int timeoutMs = 10000)
    {
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

    void use(const UnblockServerProcess& server, int timeoutMs = 10000)
    {
        config.unblockServer["Port"] = QString::number(server.port);
        config.unblockServer["Timeout"] = QString::number(timeoutMs);
    }

    void run(const QString& command, const QStringList& params = {})
    {
        client.on_MakeCommand(&progress.element, command, params);
    }

    // The next result as "command ok|failed item|item|...", or "none".
    QString takeResult()
    {
        if (!QTest::qWaitFor([this] { return !results.isEmpty(); }, 30000))
            return "none";
        const QList<QVariant> result = results.takeFirst();
        // The PUK comes apart from the list's texts, shown here in <>.
        QStringList list = result.at(2).toStringList();
        const QByteArray puk = result.at(3).value<SecretBytes>().bytes();
        if (!puk.isEmpty() && list.size() > 2 && list.at(2).isEmpty())
            list[2] = '<' + QString::fromLatin1(puk) + '>';
        return result.at(0).toString() + (result.at(1).toBool() ? " ok " : " failed ") + list.join('|');
    }

    QTemporaryDir pictures;
    ProgressRow progress{pictures.path(), 4};
    Config config;
    ClientKVOBServer client;
    QSignalSpy results{&client, &ClientKVOBServer::commandResult};
    QStringList logTexts;
    const QMetaObject::Connection logging = QObject::connect(
        &client, &ClientKVOBServer::logginMessage, [this](uchar, const QString& text) { logTexts << text; });
};

} // namespace

class TestUnblockClient : public QObject
{
    Q_OBJECT

    // A good command once all results are taken: any late extra result of an
    // earlier command would come before its own, and none may follow it.
    void runBarrierCommand(Rig& rig)
    {
        rig.useIdentity(true);
        rig.use(*healthy);
        rig.run("getStatus");
        QVERIFY(rig.takeResult().startsWith("getStatus ok 42|"));
        QVERIFY(rig.results.isEmpty());
    }

    std::unique_ptr<UnblockServerProcess> healthy;

private slots:
    void cleanupTestCase()
    {
        QVERIFY(RealLog::text().contains("findPUK"));
        QCOMPARE(RealLog::secretsFound({"57319024", "87654321", readFile("passphrase.txt").trimmed()}), QStringList());
    }

    void initTestCase()
    {
        healthy = std::make_unique<UnblockServerProcess>();
        QVERIFY(healthy->port != 0);
        QVERIFY(!Rig(*healthy).config.userKey.isNull());
    }

    void findPukEndToEnd()
    {
        Rig rig(*healthy);
        rig.run("findPUK", {"RUD12345678901AB", "123-45678", "ignored"});
        QVERIFY(rig.results.isEmpty()); // answered later, never from inside the call
        QCOMPARE(rig.takeResult(),
                 QStringLiteral("findPUK ok RUD12345678901AB|123-45678|<57319024>|None|База изготовителя|42"));

        QTRY_VERIFY_WITH_TIMEOUT(!healthy->requests().isEmpty(), 10000);
        QCOMPARE(healthy->requests().last(),
                 QByteArray("[SIZE]:39;\r\n[BODY]:findPUK('RUD12345678901AB','123-45678')"));
        const QSslCertificate user(readFile("user.pem"));
        QCOMPARE(healthy->lines("PEER ").last(), QString::fromLatin1(user.digest(QCryptographicHash::Sha256).toHex()));
        QCOMPARE(healthy->lines("PROTOCOL ").last(), QString::number(QSsl::TlsV1_2));
        // A coarse timer may end a command before its time.
        QCOMPARE(rig.client.findChild<QTimer*>()->timerType(), Qt::PreciseTimer);

        QCOMPARE(rig.progress.message.text(), QStringLiteral("Команда выполнена успешно"));
        QCOMPARE(rig.progress.element.current, quint8(2));
        for (const QString& line : rig.logTexts) // the PUK stays out of the log
            QVERIFY2(!line.contains("57319024") && !line.contains("/><"), qPrintable(line));
    }

    void failuresGiveOneResult_data()
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
        row("plain TCP, silent", "server", {"--plain", "--silent"},
            QStringLiteral("Истеклов время подключения к серверу"),
            QStringLiteral("Истекло время ожидания подключения к серверу разблокировки."));
        row("error reply", "server", {"--error", QStringLiteral("Доступ <запрещён>")},
            QStringLiteral("Команда не выполнена"),
            QStringLiteral("Команда \"findPUK\" выполнена с ошибкой. Ответ сервера разблокировки: "
                           "ERROR('Доступ <запрещён>')"));
        row("malformed frame", "server", {"--malformed"}, format, formatLog);
        row("injection", "server", {}, QStringLiteral("Недопустимые символы в параметрах запроса"), "", true,
            {"RUD1'),getStatus('", "1"});
    }

    void failuresGiveOneResult()
    {
        QFETCH(QString, serverCert);
        QFETCH(QStringList, options);
        QFETCH(bool, clientCert);
        QFETCH(QStringList, params);
        QFETCH(QString, stepText);
        QFETCH(QString, logText);

        UnblockServerProcess server(serverCert, options);
        QVERIFY(server.port != 0);
        Rig rig(server, 1000);
        rig.useIdentity(clientCert);

        rig.run("findPUK", params);
        QCOMPARE(rig.takeResult(), QStringLiteral("findPUK failed "));
        QCOMPARE(rig.progress.message.text(), stepText);
        QVERIFY2(logText.isEmpty() || !rig.logTexts.filter(logText).isEmpty(), qPrintable(rig.logTexts.join('\n')));
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

    // Replies come three bytes at a time, so the header and two-byte letters are
    // split; a whole reply takes longer than the time-out, each pause does not.
    void commandsInARowGetOwnResults()
    {
        UnblockServerProcess chunked("server", {"--chunk", "3", "--pause", "30"});
        Rig rig(chunked, 1000);
        rig.run("getStatus");
        rig.run("findPUK", {"RUM123456789ABCD", QStringLiteral("456а-1234567")});
        rig.run("findPUK", {"RUD00000000000AA", "000-00000"}); // a card the server does not know
        QCOMPARE(rig.takeResult(),
                 QStringLiteral("getStatus ok 42|"
                                "'ivanov@example.ru','RUD12345678901AB','Сервер','01.06.2021 10:15:00','Выполнен'\r\n"
                                "'ivanov@example.ru','RUM123456789ABCD','Архив','02.06.2021 11:20:30','Отклонён'\r\n"));
        QCOMPARE(rig.takeResult(), QStringLiteral("findPUK ok RUM123456789ABCD|456а-1234567|<87654321>|None||42"));
        QCOMPARE(rig.takeResult(), QStringLiteral("findPUK failed "));

        QTRY_COMPARE_WITH_TIMEOUT(chunked.requests().size(), 3, 10000);
        QCOMPARE(chunked.requests(), (QByteArrayList{"[SIZE]:11;\r\n[BODY]:getStatus()",
                                                     QStringLiteral("[SIZE]:42;\r\n[BODY]:findPUK('RUM123456789ABCD',"
                                                                    "'456а-1234567')").toUtf8(),
                                                     "[SIZE]:39;\r\n[BODY]:findPUK('RUD00000000000AA','000-00000')"}));
    }

    // The largest replies the frame carries: an error text of two million
    // characters is logged as its start and its length; a status of 5,000
    // rows is taken whole.
    void hugeReplies()
    {
        UnblockServerProcess hugeError("server", {"--error-length", "2000000"});
        Rig rig(hugeError);
        rig.run("getStatus");
        QCOMPARE(rig.takeResult(), QStringLiteral("getStatus failed "));
        QCOMPARE(rig.progress.message.text(), QStringLiteral("Команда не выполнена"));
        QCOMPARE(rig.logTexts.last(),
                 QStringLiteral("Команда \"getStatus\" выполнена с ошибкой. Ответ сервера разблокировки: ERROR('")
                     + QString(93, QChar(0x44F)) + QStringLiteral("… (всего символов: 2000000)"));

        UnblockServerProcess manyRows("server", {"--status-rows", "5000"});
        rig.use(manyRows);
        rig.run("getStatus");
        const QString rowPair =
            QStringLiteral("'ivanov@example.ru','RUD12345678901AB','Сервер','01.06.2021 10:15:00','Выполнен'\r\n"
                           "'ivanov@example.ru','RUM123456789ABCD','Архив','02.06.2021 11:20:30','Отклонён'\r\n");
        QCOMPARE(rig.takeResult(), QStringLiteral("getStatus ok 42|") + rowPair.repeated(2500));
        QCOMPARE(rig.progress.message.text(), QStringLiteral("Команда выполнена успешно"));
    }

    void interruptEndsRunningAndWaitingCommands()
    {
        UnblockServerProcess silent("server", {"--silent"});
        Rig rig(silent, 60000);
        rig.run("findPUK", {"RUD12345678901AB", "123-45678"});
        rig.run("getStatus");
        QTRY_COMPARE_WITH_TIMEOUT(silent.requests().size(), 1, 20000);

        rig.client.on_InterruptAllOperation();
        QCOMPARE(rig.results.count(), 2); // at once
        QCOMPARE(rig.takeResult(), QStringLiteral("findPUK failed "));
        QCOMPARE(rig.takeResult(), QStringLiteral("getStatus failed "));
        QCOMPARE(rig.logTexts.count(QStringLiteral("Процесс прерван пользователем.")), 2);
        runBarrierCommand(rig);
        QCOMPARE(silent.requests().size(), 1);
    }
};

QTEST_MAIN(TestUnblockClient)
#include "tst_unblockclient.moc"
