// Uploads against the local web-service double: whole uploads to each
// service, and how an upload ends when the service refuses, fails, stalls,
// floods or cannot be trusted (the texts shown and logged, and what was sent).

#include "net/Sender.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/ProgressRow.h"
#include "tests/support/RealLog.h"
#include "tests/support/WebServiceProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>


namespace {

constexpr int connectStep = 3;
constexpr int sendStep = 4;
const QString sentText = "\nФайл успешно отправлен ...";
// The page's one-line label shows the log's text without its line break.
const QString sentShown = "Файл успешно отправлен ...";

QString certPath(const QString& name)
{
    return qEnvironmentVariable("DRVP_CERTS_DIR") + '/' + name;
}

// A sender with the upload page's five-step progress row, ready at its
// connect step, and a record of its log as "type|text".
class UploadRun
{
public:
    UploadRun()
    {
        progress.element.reset(QString(), connectStep);
        QObject::connect(&sender, &Sender::logginMessage, &sender,
                         [this](uchar type, const QString& text) { log << QString("%1|%2").arg(type).arg(text); });
        RealLog::attach(&sender, &Sender::logginMessage);
    }

    void start(quint8 service, const QString& server, const QString& file, QString login = "driver",
               QString password = "secret")
    {
        sender.setService(service);
        sender.setServer(server);
        sender.setFilePath(file);
        const SecretBytes secret = SecretBytes::fromText(password);
        heldPassword = secret.bytes();
        sender.acceptLogin(login, secret, &progress.element);
    }

    // Shares the buffer of the password handed to the sender.
    QByteArray heldPassword;

    // False when the upload never ended.
    bool waitForEnd() { return QTest::qWaitFor([this] { return !sender.isBusy(); }, 60000); }
    bool upload(quint8 service, const QString& server, const QString& file, const QString& login = "driver",
                const QString& password = "secret")
    {
        start(service, server, file, login, password);
        return waitForEnd();
    }

    int state(int step) const { return progress.state(step); }

    Sender sender;
    QTemporaryDir pictures;
    ProgressRow progress{pictures.path()};
    QStringList log;
};

} // namespace

class tst_Sender : public QObject
{
    Q_OBJECT

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(files.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
    }

    QTemporaryDir files;

private slots:
    void cleanupTestCase()
    {
        QVERIFY(RealLog::text().contains("driver"));
        QCOMPARE(RealLog::secretsFound({"secret", "p&a+s%s=w ord;Ё%2B"}), QStringList());
    }

    void initTestCase()
    {
        // The test authority is trusted; the rogue one is not.
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setCaCertificates(config.caCertificates() + QSslCertificate::fromPath(certPath("ca.pem")));
        QSslConfiguration::setDefaultConfiguration(config);
    }

    void wholeUpload_data()
    {
        QTest::addColumn<quint8>("service");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("fieldCount");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("Kvarnol") << quint8(1) << "vorntacho.dddfile" << 11 << QStringList();
        QTest::newRow("Lotvarsk") << quint8(2) << "vorn.dddfile" << 15 << QStringList();
        QTest::newRow("Kvarnol, https") << quint8(1) << "vorntacho.dddfile" << 11
                                        << QStringList{"--cert", certPath("server.pem"), "--key",
                                                       certPath("server.key")};
    }

    void wholeUpload()
    {
        QFETCH(quint8, service);
        QFETCH(QString, model);
        QFETCH(int, fieldCount);
        QFETCH(QStringList, options);

        WebServiceProcess web(options);
        QVERIFY(web.port != 0);
        const QString name = "C_20240607_1200_IVANOV_RUS123.ddd";
        QByteArray bytes(40259, '\0'); // every byte value, ending in zero bytes
        for (int i = 0; i < 40256; ++i)
            bytes[i] = char(i * 7919 % 256);
        UploadRun run;
        QVERIFY(run.upload(service, web.url(), writeFile(name, bytes)));

        QCOMPARE(run.state(connectStep), 2);
        QCOMPARE(run.state(sendStep), 2);
        QCOMPARE(run.progress.message.text(), sentShown);
        QCOMPARE(run.log, QStringList({"0|\nСоединение с сервером " + web.url() + " ...",
                                       "0|\nАвторизация на удалённом хранилище пользователем driver ...",
                                       "0|\nОтправка файла " + name + " ...", "0|" + sentText}));
        QCOMPARE(web.uploaded(name), bytes);

        // Per request: line, Accept, Content-Type, a right Content-Length, the session cookie.
        const QString page = "text/html, application/xhtml+xml, */*|";
        const QString json = "application/json, text/javascript, */*; q=0.01|application/json|length|cookie";
        const QString rpc = "POST /web/dataset/call_kw/" + model;
        const QVector<WebRequest> requests = web.requests();
        QStringList seen;
        QJsonArray args[2]; // of create and read
        for (const WebRequest& r : requests) {
            seen << r["line"].toString() + '|' + r.header("accept") + '|' + r.header("content-type") + '|' +
                        (r.header("content-length") == QByteArray::number(r.body().size()) ? "length|" : "|") +
                        (r.header("cookie").contains("session_id=") ? "cookie" : "");
            QCOMPARE(r.header("accept-language"), QByteArray("ru,en;q=0.8,en-US;q=0.5,ru-RU;q=0.3"));
            if (seen.size() < 3)
                continue;
            const bool create = seen.size() == 3;
            QJsonObject call = r.json();
            QJsonObject params = call.take("params").toObject();
            args[create ? 0 : 1] = params.take("args").toArray();
            const double id = create ? 12345678901. : 12345678902.;
            QCOMPARE(call, QJsonObject({{"jsonrpc", "2.0"}, {"method", "call"}, {"id", id}}));
            const QJsonObject context{{"lang", "ru_RU"}, {"tz", false}};
            QCOMPARE(params, QJsonObject({{"model", model}, {"method", create ? "create" : "read"},
                                          {"kwargs", QJsonObject{{"context", context}}}}));
        }
        QCOMPARE(seen, QStringList({"GET /web/login|" + page + "||", "POST /web/login|" + page +
                                    "application/x-www-form-urlencoded|length|", rpc + "/create|" + json,
                                    rpc + "/read|" + json}));
        QVERIFY(requests.at(1).body().startsWith("csrf_token=tok1"));
        QVERIFY(requests.at(1).body().endsWith("&login=driver&password=secret&redirect="));
        QCOMPARE(run.heldPassword, QByteArray(6, '\0')); // overwritten, not just let go
        QCOMPARE(args[0], (QJsonArray{QJsonObject{{"name", name}, {"file", QString::fromLatin1(bytes.toBase64())}}}));
        QCOMPARE(args[1].at(0).toArray(), QJsonArray({17}));
        QCOMPARE(args[1].at(1).toArray().size(), fieldCount); // each service reads its own fields
        QVERIFY(args[1].at(1).toArray().contains("state") && args[1].at(1).toArray().contains("message_ids"));
    }

    // A login page whose token element is never closed: the form then carries
    // an empty token. The log keeps the login as typed. A second upload is
    // refused while the first runs, and later goes with the first one's cookie.
    void loginFormAndSecondUpload()
    {
        QString login = "<вод&итель>+1";
        QString password = "p&a+s%s=w ord;Ё%2B";
        WebServiceProcess web({"--user", login, "--password", password, "--broken-token"});
        const QString second = writeFile("second.ddd", "second");
        UploadRun run, other;
        run.start(2, web.url(), writeFile("first.ddd", "first"), login, password);
        run.sender.setFilePath(second);
        const int logged = run.log.size();
        run.sender.acceptLogin(login, SecretBytes::fromText(password), &other.progress.element);
        QCOMPARE(run.log.size(), logged + 1);
        QVERIFY(run.log.last().startsWith("1|"));
        QCOMPARE(other.progress.message.text(), QString());
        QVERIFY(run.waitForEnd());
        QCOMPARE(run.progress.message.text(), sentShown);
        QVERIFY(run.upload(2, web.url(), second, login, password));
        QCOMPARE(run.progress.message.text(), sentShown);

        QCOMPARE(web.uploaded("first.ddd") + web.uploaded("second.ddd"), QByteArray("firstsecond"));
        const QVector<WebRequest> requests = web.requests();
        QCOMPARE(requests.size(), 8);
        QCOMPARE(requests.at(4).header("cookie"), requests.at(2).header("cookie"));
        QByteArray body = requests.at(1).body();
        QStringList fields;
        for (const QByteArray& pair : body.replace('+', ' ').split('&'))
            fields << QUrl::fromPercentEncoding(pair);
        QCOMPARE(fields, QStringList({"csrf_token=", "login=" + login, "password=" + password, "redirect="}));
        QVERIFY(run.log.contains("0|\nАвторизация на удалённом хранилище пользователем " + login + " ..."));
        QVERIFY(run.log.filter("p&a").isEmpty());
    }

    // The file is read beside the window, and the upload counts as running
    // from the start; the program closing meanwhile ends the read with the
    // sender, and nothing is sent.
    void goneWhileReading()
    {
        WebServiceProcess web;
        QVERIFY(web.port != 0);
        const QString file = writeFile("large.ddd", QByteArray(16 * 1024 * 1024, 'd'));
        {
            UploadRun run;
            run.start(1, web.url(), file);
            QVERIFY(run.sender.isBusy());
        }
        QCOMPARE(web.requests().size(), 0);
    }

    void endings_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("file"); // empty: a readable one
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("message"); // its leading part
        QTest::addColumn<QString>("log");     // the last line's leading part, after "type|"
        QTest::addColumn<int>("timeout");     // of each request, in ms
        // 1500 ms by default: short, so that the stalls end soon.
        const auto row = [](const QString& name, const QStringList& options, int requests, int step, int state,
                            const QString& message, const QString& log, const QString& file = QString(),
                            int timeout = 1500) {
            QTest::newRow(qPrintable(name)) << options << file << requests << step << state << message << log
                                            << timeout;
        };

        const QString refused = "Доступ отклонён!";
        row("login refused", {"--refuse-login"}, 2, connectStep, 3, refused, "2|\nОшибка: " + refused);

        // The login page's error text has a blank after the colon, the others none.
        const QString timeout = "Истекло время ожидания ответа сервера";
        for (const auto& fault : {QStringList{"500", "--http500", "Error"}, QStringList{"stall", "--stall", timeout}}) {
            const QString name = fault[0], flag = fault[1], text = fault[2];
            row(name + " page", {flag, "page"}, 1, connectStep, 3, "Ошибка подключения", "2|\nОшибка: " + text);
            row(name + " login", {flag, "login"}, 2, connectStep, 3, "Ошибка подключения", "2|\nОшибка:" + text);
            row(name + " create", {flag, "create"}, 3, sendStep, 3, "Ошибка отправки ddd-файла", "2|\nОшибка:" + text);
            row(name + " read", {flag, "read"}, 4, sendStep, 3, text, "2|\nОшибка:" + text);
            row(name + " messages", {"--state", "error", flag, "messages"}, 5, sendStep, 2, "Файл отправлен",
                "2|\nОшибка:" + text);
        }
        // Neither a reply that keeps coming nor one too large to hold is waited for.
        row("trickle page", {"--trickle", "page"}, 1, connectStep, 3, "Ошибка подключения", "2|\nОшибка: " + timeout);
        row("flood page", {"--flood", "page"}, 1, connectStep, 3, "Ошибка подключения",
            "2|\nОшибка: Ответ сервера превышает 4 МБ");
        row("flood read", {"--flood", "read"}, 4, sendStep, 3, "Ответ сервера превышает 4 МБ", "2|\nОшибка:Ответ");

        // The service's texts go to the log as they came.
        const QString message = "Ошибка <сервера> & данных";
        row("rpc error create", {"--rpc-error", "create"}, 3, sendStep, 3, "Код - 200. " + message,
            "2|\nКод ошибки - 200. " + message + " " +
                QJsonDocument(QJsonArray{"Файл \"<повреждён>\" & не принят", 3}).toJson());
        row("rpc error read, negative code", {"--rpc-error", "read", "--error-code", "-32603"}, 4, sendStep, 3,
            "Код - -32603. " + message, "2|\nОшибка: Код - -32603. " + message);

        const QString check = " Убедитесь в наличии файла в удалённом хранилище.";
        const QString noNumber = "В ответе сервера отсутствует номер созданной записи." + check;
        const QString noResult = "В ответе сервера отсутствует результат обработки DDD файла." + check;
        const QString badNumber = "В ответе сервера некорректный номер созданной записи." + check;
        row("html create", {"--html", "create"}, 3, sendStep, 2, noNumber, "1|\nПредупреждение: " + noNumber);
        row("html read", {"--html", "read"}, 4, sendStep, 2, noResult, "1|\nПредупреждение: " + noResult);
        row("html messages", {"--state", "error", "--html", "messages"}, 5, sendStep, 2, "Неполный ответ сервера",
            "1|\nПредупреждение: В ответе сервера отсутствует информация о результате обработки DDD файла.");
        for (const char* result : {"-5", "0", "2.5", "\"17\"", "null", "1e12"})
            row(QString("record %1").arg(result), {"--create-result", result}, 3, sendStep, 2, badNumber,
                "1|\nПредупреждение: " + badNumber);

        // Only "error" exactly is a failed processing.
        row("state Error", {"--state", "Error"}, 4, sendStep, 2, sentShown, "0|" + sentText);
        row("processing failed", {"--state", "error"}, 5, sendStep, 2, "Ответ сервера получен",
            "0|\n<p>Сообщение 31: подпись файла <b>неверна</b> & отклонена</p>");

        for (const QString& path : {files.filePath("missing.ddd"), files.path()})
            row(path == files.path() ? "folder as file" : "missing file", {}, 0, connectStep, 3,
                "Ошибка чтения ddd-файла",
                "2|\nОшибка: Не удалось прочитать файл " + path + ".", path);
        // Ended at once with the reason, nothing sent: no pipe or device is
        // waited on or read, no file held whole that cannot be card data.
        const QString notRegular = "Это не обычный файл (папка, канал или устройство)";
        QFile sparse(files.filePath("sparse.ddd"));
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(3LL * 1024 * 1024 * 1024));
        const QString unread[][3] = {
            {"pipe", makeFifo(files.filePath("pipe.ddd")), notRegular},
            {"zero device", "/dev/zero", notRegular},
            {"sparse 3 GB", sparse.fileName(), "Размер файла больше 64 МБ"},
            {"empty", writeFile("empty.ddd", QByteArray()), "Файл пуст"},
        };
        for (const auto& file : unread) {
            row(file[0], {}, 0, connectStep, 3, "Ошибка чтения ddd-файла",
                QString("2|\nОшибка: Не удалось прочитать файл %1. %2").arg(file[1], file[2]), file[1]);
        }

        // A service's texts of a million characters reach the page and the
        // log as their start and their length.
        const QStringList longTexts{"--text-length", "1000000"};
        const QString excerpt = QString(100, 'x') + "… (всего символов: 1000000)";
        // Qt reads a status line with one system call per byte: a million-
        // character reason takes seconds, and a million-character body may
        // take more than the stall rows' short limit under sanitizers and load.
        const int longTextTimeout = 45000;
        row("long reason create", longTexts + QStringList{"--http500", "create"}, 3, sendStep, 3,
            "Ошибка отправки ddd-файла", "2|\nОшибка:Error transferring ", QString(), longTextTimeout);
        row("long reason read", longTexts + QStringList{"--http500", "read"}, 4, sendStep, 3, "Error transferring ",
            "2|\nОшибка:Error transferring ", QString(), longTextTimeout);
        row("long rpc error create", longTexts + QStringList{"--rpc-error", "create"}, 3, sendStep, 3,
            "Код - 200. " + excerpt, "2|\nКод ошибки - 200. " + excerpt + " [", QString(), longTextTimeout);
        row("long rpc error read", longTexts + QStringList{"--rpc-error", "read"}, 4, sendStep, 3,
            "Код - 200. " + excerpt, "2|\nОшибка: Код - 200. " + excerpt, QString(), longTextTimeout);
        row("long message", longTexts + QStringList{"--state", "error"}, 5, sendStep, 2, "Ответ сервера получен",
            "0|\n" + excerpt, QString(), longTextTimeout);
        row("untrusted https", {"--cert", certPath("rogue-server.pem"), "--key", certPath("rogue-server.key")}, 0,
            connectStep, 3, "Ошибка подключения", "2|\nОшибка: ");
    }

    void endings()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, file);
        QFETCH(int, requests);
        QFETCH(int, step);
        QFETCH(int, state);
        QFETCH(QString, message);
        QFETCH(QString, log);
        QFETCH(int, timeout);

        WebServiceProcess web(options);
        QVERIFY(web.port != 0);
        UploadRun run;
        // Precise: a coarse timer may end a request before its time.
        QCOMPARE(run.sender.findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly)->timerType(), Qt::PreciseTimer);
        run.sender.setRequestTimeout(timeout);
        if (file.isEmpty())
            file = writeFile("card.ddd", QByteArray("\x00\x01\xff\xfe card", 9));
        QVERIFY(run.upload(1, web.url(), file));

        const QVector<WebRequest> sent = web.requests();
        QCOMPARE(sent.size(), requests);
        if (requests == 5) { // the messages call names the ids the read reply gave
            const QJsonObject call = sent.at(4).json();
            QCOMPARE(sent.at(4)["line"].toString(), QString("POST /web/dataset/call_kw/mail.message/message_format"));
            QCOMPARE(call["params"]["args"].toArray(), QJsonArray{QJsonValue(QJsonArray{31, 32})});
            QCOMPARE(call["params"]["kwargs"]["context"]["uid"].toInt(), 1);
            QCOMPARE(call["id"].toDouble(), 12345678903.0);
        }
        QCOMPARE(run.state(step), state);
        if (step == sendStep)
            QCOMPARE(run.state(connectStep), 2);
        QVERIFY2(run.progress.message.text().startsWith(message), qPrintable(run.progress.message.text()));
        QVERIFY2(run.log.last().startsWith(log), qPrintable(run.log.last()));
        // Whatever the service sent, nothing long reaches the page or the log.
        QVERIFY(run.progress.message.text().size() < 1000);
        for (const QString& line : qAsConst(run.log))
            QVERIFY2(line.size() < 1000, qPrintable(line.left(200)));
    }
};

QTEST_MAIN(tst_Sender)
#include "tst_sender.moc"
