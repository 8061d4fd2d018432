// How an upload ends when the service refuses, fails, stalls or cannot be
// trusted: the texts shown and logged, and that nothing more is sent.

#include "UploadRun.h"
#include "WebServiceProcess.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int connectStep = UploadProgressRow::connectStep;
constexpr int sendStep = UploadProgressRow::sendStep;

const QString badNumberText =
    "В ответе сервера некорректный номер созданной записи. Убедитесь в наличии файла в удалённом хранилище.";
const QString noNumberText =
    "В ответе сервера отсутствует номер созданной записи. Убедитесь в наличии файла в удалённом хранилище.";
const QString noResultText =
    "В ответе сервера отсутствует результат обработки DDD файла. Убедитесь в наличии файла в удалённом хранилище.";
const QString timeoutText = "Истекло время ожидания ответа сервера";

// Where an upload stopped: the step that shows it, its state and message,
// the last log line (a leading part of it where it holds network texts).
struct Ending
{
    int requests = 0;
    int step = connectStep;
    int state = 3;
    QString message;
    int logType = 2;
    QString logStart;
};

}

Q_DECLARE_METATYPE(Ending)

class tst_SenderFailures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endings_data();
    void endings();
    void unreadableFile_data();
    void unreadableFile();
    void untrustedHttpsSendsNothing();
    void trustedHttpsUploads();

private:
    void addEnding(const char* name, const QStringList& options, const Ending& ending);
    void checkEnding(const UploadRun& run, const WebServiceProcess& web, const Ending& ending);

    QTemporaryDir files;
    QString dddFile;
};

void tst_SenderFailures::initTestCase()
{
    dddFile = files.filePath("card.ddd");
    QFile file(dddFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\x00\x01\xff\xfe card", 9));
}

void tst_SenderFailures::addEnding(const char* name, const QStringList& options, const Ending& ending)
{
    QTest::newRow(name) << options << ending;
}

void tst_SenderFailures::endings_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<Ending>("ending");

    const QString refused = "Доступ отклонён!";
    addEnding("login refused", {"--refuse-login"}, {2, connectStep, 3, refused, 2, "\nОшибка: " + refused});
    addEnding("wrong password", {"--password", "other"}, {2, connectStep, 3, refused, 2, "\nОшибка: " + refused});

    // The login page's error text has a blank after the colon, the login
    // post's has none.
    addEnding("500 login page", {"--http500", "page"},
              {1, connectStep, 3, "Ошибка подключения", 2, "\nОшибка: Error"});
    addEnding("500 login post", {"--http500", "login"},
              {2, connectStep, 3, "Ошибка подключения", 2, "\nОшибка:Error"});
    addEnding("500 create", {"--http500", "create"},
              {3, sendStep, 3, "Ошибка отправки ddd-файла", 2, "\nОшибка:Error"});
    addEnding("500 read", {"--http500", "read"}, {4, sendStep, 3, "Error", 2, "\nОшибка:Error"});
    addEnding("500 messages", {"--processing-failed", "--http500", "messages"},
              {5, sendStep, 2, "Файл отправлен", 2, "\nОшибка:Error"});

    const QByteArray arguments = QJsonDocument(QJsonArray{"Файл \"<повреждён>\" & не принят", 3}).toJson();
    const QString message = "Ошибка <сервера> & данных";
    const QString loggedMessage = message.toHtmlEscaped();
    addEnding("rpc error create", {"--rpc-error", "create"},
              {3, sendStep, 3, "Код - 200. " + message, 2,
               "\nКод ошибки - 200. " + loggedMessage + " " + QString::fromUtf8(arguments).toHtmlEscaped()});
    addEnding("rpc error negative code", {"--rpc-error", "create", "--error-code", "-32603"},
              {3, sendStep, 3, "Код - -32603. " + message, 2, "\nКод ошибки - -32603. " + loggedMessage + " "});
    addEnding("rpc error read", {"--rpc-error", "read", "--error-code", "-32603"},
              {4, sendStep, 3, "Код - -32603. " + message, 2, "\nОшибка: Код - -32603. " + loggedMessage});
    addEnding("rpc error long code", {"--rpc-error", "read", "--error-code", "1234567"},
              {4, sendStep, 3, "Код - 1.23457e+06. " + message, 2, "\nОшибка: Код - 1.23457e+06. " + loggedMessage});

    addEnding("html create", {"--html", "create"},
              {3, sendStep, 2, noNumberText, 1, "\nПредупреждение: " + noNumberText});
    addEnding("html read", {"--html", "read"}, {4, sendStep, 2, noResultText, 1, "\nПредупреждение: " + noResultText});
    addEnding("html messages", {"--processing-failed", "--html", "messages"},
              {5, sendStep, 2, "Неполный ответ сервера", 1,
               "\nПредупреждение: В ответе сервера отсутствует информация о результате обработки DDD файла."});

    for (const char* result : {"-5", "0", "2.5", "\"17\"", "null", "1e12"}) {
        QTest::newRow(qPrintable(QString("record %1").arg(result)))
            << QStringList{"--create-result", result}
            << Ending{3, sendStep, 2, badNumberText, 1, "\nПредупреждение: " + badNumberText};
    }

    addEnding("stall login page", {"--stall", "page"},
              {1, connectStep, 3, "Ошибка подключения", 2, "\nОшибка: " + timeoutText});
    addEnding("stall login post", {"--stall", "login"},
              {2, connectStep, 3, "Ошибка подключения", 2, "\nОшибка:" + timeoutText});
    addEnding("stall create", {"--stall", "create"},
              {3, sendStep, 3, "Ошибка отправки ddd-файла", 2, "\nОшибка:" + timeoutText});
    addEnding("stall read", {"--stall", "read"}, {4, sendStep, 3, timeoutText, 2, "\nОшибка:" + timeoutText});
    addEnding("stall messages", {"--processing-failed", "--stall", "messages"},
              {5, sendStep, 2, "Файл отправлен", 2, "\nОшибка:" + timeoutText});
}

void tst_SenderFailures::endings()
{
    QFETCH(QStringList, options);
    QFETCH(Ending, ending);

    WebServiceProcess web(options);
    QVERIFY(web.start());
    UploadRun run;
    run.sender.setTransferTimeout(1500);
    QVERIFY(run.upload(1, web.url(), dddFile));
    checkEnding(run, web, ending);
}

void tst_SenderFailures::checkEnding(const UploadRun& run, const WebServiceProcess& web, const Ending& ending)
{
    QCOMPARE(web.requests().size(), ending.requests);
    QCOMPARE(run.row.state(ending.step), ending.state);
    if (ending.step == sendStep)
        QCOMPARE(run.row.state(connectStep), 2);
    QVERIFY2(run.row.message().startsWith(ending.message), qPrintable(run.row.message()));
    QVERIFY(!run.log.isEmpty());
    QCOMPARE(run.log.last().type, ending.logType);
    QVERIFY2(run.log.last().text.startsWith(ending.logStart), qPrintable(run.log.last().text));
}

void tst_SenderFailures::unreadableFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << files.filePath("missing.ddd");
    QTest::newRow("folder") << files.path();
}

void tst_SenderFailures::unreadableFile()
{
    QFETCH(QString, path);
    WebServiceProcess web;
    QVERIFY(web.start());

    UploadRun run;
    run.start(1, web.url(), path);
    QVERIFY(!run.sender.isBusy());
    QCOMPARE(run.row.state(connectStep), 3);
    QCOMPARE(run.row.message(), QString("Ошибка чтения ddd-файла"));
    QCOMPARE(run.log.size(), 1);
    QCOMPARE(run.log.at(0).type, 2);
    QVERIFY2(run.log.at(0).text.startsWith("\nОшибка: Не удалось прочитать файл " + path + "."),
             qPrintable(run.log.at(0).text));
    QCOMPARE(web.requests().size(), 0);
}

void tst_SenderFailures::untrustedHttpsSendsNothing()
{
    const QString certs = qEnvironmentVariable("DRVP_CERTS_DIR");
    WebServiceProcess web({"--cert", certs + "/rogue-server.pem", "--key", certs + "/rogue-server.key"});
    QVERIFY(web.start());

    UploadRun run;
    QVERIFY(run.upload(1, web.url(), dddFile));
    checkEnding(run, web, {0, connectStep, 3, "Ошибка подключения", 2, "\nОшибка: "});
    QVERIFY(run.log.last().text.size() > QString("\nОшибка: ").size());
    QVERIFY(web.uploaded("card.ddd").isNull());
}

// The same road with a certificate the client trusts, so the failure above
// is the trust check and not TLS as such.
void tst_SenderFailures::trustedHttpsUploads()
{
    const QString certs = qEnvironmentVariable("DRVP_CERTS_DIR");
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setCaCertificates(config.caCertificates() + QSslCertificate::fromPath(certs + "/ca.pem"));
    QSslConfiguration::setDefaultConfiguration(config);

    WebServiceProcess web({"--cert", certs + "/server.pem", "--key", certs + "/server.key"});
    QVERIFY(web.start());
    UploadRun run;
    QVERIFY(run.upload(1, web.url(), dddFile));
    QCOMPARE(run.row.message(), QString("\nФайл успешно отправлен ..."));
    QCOMPARE(web.requests().size(), 4);
    QCOMPARE(web.uploaded("card.ddd"), QByteArray("\x00\x01\xff\xfe card", 9));
}

QTEST_MAIN(tst_SenderFailures)
#include "tst_sender_failures.moc"
