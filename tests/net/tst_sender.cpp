// Uploads against the local web-service double: whole uploads to each
// service, and how an upload ends when the service refuses, fails, stalls or
// cannot be trusted (the texts shown and logged, and that nothing more is sent).

#include "net/Sender.h"
#include "tests/support/RealLog.h"
#include "ui/services/MultiProgressElement.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <array>

namespace {

constexpr int connectStep = 3;
constexpr int sendStep = 4;
const QString sentText = "\nФайл успешно отправлен ...";

QString certPath(const QString& name)
{
    return qEnvironmentVariable("DRVP_CERTS_DIR") + '/' + name;
}

// One request as the double recorded it; header names in lower case, in the
// order they came.
struct Request
{
    QString line; // "METHOD path"
    QByteArrayList headerNames, headerValues;
    QByteArray body;

    QByteArray header(const QByteArray& name) const { return headerValues.value(headerNames.indexOf(name)); }
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// The web-service double as a child process on 127.0.0.1 with a work folder
// of its own; it ends when its input closes.
class WebService
{
public:
    explicit WebService(const QStringList& options = {})
        : https(options.contains("--cert"))
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + "/webservice",
                      QStringList{"--dir", dir.path()} + options);
        while (!process.canReadLine() && process.waitForReadyRead(10000)) {
        }
        const QByteArray line = process.readLine().trimmed();
        if (line.startsWith("PORT "))
            port = line.mid(5).toUShort();
    }

    ~WebService()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    QString url() const { return QString("%1://127.0.0.1:%2").arg(https ? "https" : "http").arg(port); }

    QVector<Request> requests() const
    {
        QVector<Request> list;
        QFile file(dir.filePath("requests.jsonl"));
        if (!file.open(QIODevice::ReadOnly))
            return list;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            Request request{entry["method"].toString() + ' ' + entry["path"].toString(), {}, {},
                            QByteArray::fromBase64(entry["body"].toString().toLatin1())};
            for (const QJsonValue& header : entry["headers"].toArray()) {
                request.headerNames << header[0].toString().toLatin1().toLower();
                request.headerValues << header[1].toString().toLatin1();
            }
            list.append(request);
        }
        return list;
    }

    // The bytes the double stored under that name, or a null array.
    QByteArray uploaded(const QString& name) const
    {
        QFile file(dir.filePath("uploads/" + name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    quint16 port = 0;

private:
    bool https;
    QTemporaryDir dir;
    QProcess process;
};

// A sender with the upload page's five-step progress row, ready at its
// connect step, and a record of its log. Each state has a picture of its own
// width, so a step's state can be read back from its label.
class UploadRun
{
public:
    UploadRun()
    {
        QVector<QString> paths;
        for (int state = 0; state < 4; ++state) {
            QImage image(state + 1, 1, QImage::Format_ARGB32);
            image.fill(Qt::black);
            paths << pictures.filePath(QString("state%1.png").arg(state));
            image.save(paths.last());
        }
        QVector<QLabel*> labelList;
        for (QLabel& label : labels)
            labelList << &label;
        progress.init(labelList, QVector<QVector<QString>>(int(labels.size()), paths), &messageLabel);
        progress.reset(QString(), connectStep);
        QObject::connect(&sender, &Sender::logginMessage, &sender, [this](uchar type, const QString& text) {
            logTypes << type;
            log << text;
        });
        RealLog::attach(&sender, &Sender::logginMessage);
    }

    void start(quint8 service, const QString& server, const QString& file, QString login = "driver",
               QString password = "secret")
    {
        sender.setService(service);
        sender.setServer(server);
        sender.setFilePath(file);
        sender.acceptLogin(login, password, &progress);
    }

    // Waits until no reply is pending; false when the upload never ended.
    bool waitForEnd() { return QTest::qWaitFor([this] { return !sender.isBusy(); }, 60000); }
    bool upload(quint8 service, const QString& server, const QString& file, const QString& login = "driver",
                const QString& password = "secret")
    {
        start(service, server, file, login, password);
        return waitForEnd();
    }

    // State shown by the step's label; -1 when it shows no picture.
    int state(int step) const
    {
        const QPixmap picture = labels.at(size_t(step)).property("pixmap").value<QPixmap>();
        return picture.isNull() ? -1 : picture.width() - 1;
    }

    QString message() const { return messageLabel.text(); }

    Sender sender;
    QTemporaryDir pictures;
    std::array<QLabel, 5> labels;
    QLabel messageLabel;
    MultiProgressElement progress;
    QStringList log;
    QVector<int> logTypes;
};

// Every byte value, then a stretch of noise, so encoding slips show.
QByteArray dddBytes()
{
    QByteArray bytes(40259, '\0'); // ends in three zero bytes
    QRandomGenerator random(20240607);
    for (int i = 0; i < 40256; ++i)
        bytes[i] = char(i < 256 ? i : random.bounded(256));
    return bytes;
}

// Where an upload stopped: the requests sent, the step that shows it, its
// state and message (leading part), the last log line's type and leading part.
struct Ending
{
    int requests, step, state;
    QString message;
    int logType;
    QString logStart;
};

} // namespace

Q_DECLARE_METATYPE(Ending)

class tst_Sender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wholeUpload_data();
    void wholeUpload();
    void loginFormKeepsSpecialCharacters();
    void secondUploadRefusedWhileRunningAndKeepsCookie();
    void endings_data();
    void endings();
    void cleanupTestCase()
    {
        QVERIFY(RealLog::text().contains("driver"));
        QCOMPARE(RealLog::secretsFound({"secret", "p&a+s%s=w ord;Ё%2B", "other"}), QStringList());
    }

private:
    QString writeFile(const QString& name, const QByteArray& bytes);

    QTemporaryDir files;
};

void tst_Sender::initTestCase()
{
    // The test authority is trusted; the rogue one is not.
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setCaCertificates(config.caCertificates() + QSslCertificate::fromPath(certPath("ca.pem")));
    QSslConfiguration::setDefaultConfiguration(config);
}

QString tst_Sender::writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(files.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
}

void tst_Sender::wholeUpload_data()
{
    QTest::addColumn<quint8>("service");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("fieldCount");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("Kvarnol") << quint8(1) << "vorntacho.dddfile" << 11 << QStringList();
    QTest::newRow("Lotvarsk") << quint8(2) << "vorn.dddfile" << 15 << QStringList();
    QTest::newRow("Kvarnol, trusted https") << quint8(1) << "vorntacho.dddfile" << 11
                                            << QStringList{"--cert", certPath("server.pem"), "--key",
                                                           certPath("server.key")};
}

void tst_Sender::wholeUpload()
{
    QFETCH(quint8, service);
    QFETCH(QString, model);
    QFETCH(int, fieldCount);
    QFETCH(QStringList, options);

    WebService web(options);
    QVERIFY(web.port != 0);
    const QString name = "C_20240607_1200_IVANOV_RUS123.ddd";
    const QByteArray bytes = dddBytes();
    UploadRun run;
    QVERIFY(run.upload(service, web.url(), writeFile(name, bytes)));

    QCOMPARE(run.state(connectStep), 2);
    QCOMPARE(run.state(sendStep), 2);
    QCOMPARE(run.message(), sentText);
    QCOMPARE(run.log, QStringList({"\nСоединение с сервером " + web.url() + " ...",
                                          "\nАвторизация на удалённом хранилище пользователем driver ...",
                                          "\nОтправка файла " + name + " ...", sentText}));
    QCOMPARE(run.logTypes, QVector<int>(4, 0));
    QCOMPARE(web.uploaded(name), bytes);

    const QVector<Request> requests = web.requests();
    QCOMPARE(requests.size(), 4);
    const QString rpc = "POST /web/dataset/call_kw/" + model;
    const QStringList lines{"GET /web/login", "POST /web/login", rpc + "/create", rpc + "/read"};
    const QByteArrayList types{{}, "application/x-www-form-urlencoded", "application/json", "application/json"};
    QJsonArray args[2];
    for (int i = 0; i < 4; ++i) {
        const Request& r = requests.at(i);
        QCOMPARE(r.line, lines.at(i));
        QCOMPARE(r.header("accept"), QByteArray(i < 2 ? "text/html, application/xhtml+xml, */*"
                                                      : "application/json, text/javascript, */*; q=0.01"));
        QCOMPARE(r.header("accept-language"), QByteArray("ru,en;q=0.8,en-US;q=0.5,ru-RU;q=0.3"));
        QCOMPARE(r.header("content-type"), types.at(i));
        QCOMPARE(r.header("content-length"), i ? QByteArray::number(r.body.size()) : QByteArray());
        QCOMPARE(r.header("cookie").contains("session_id="), i >= 2);
        if (i < 2)
            continue;
        QJsonObject json = r.json();
        QJsonObject params = json.take("params").toObject();
        args[i - 2] = params.take("args").toArray();
        QCOMPARE(json, QJsonObject({{"jsonrpc", "2.0"}, {"method", "call"}, {"id", 12345678899.0 + i}}));
        const QJsonObject context{{"lang", "ru_RU"}, {"tz", false}};
        QCOMPARE(params, QJsonObject({{"model", model}, {"method", i == 2 ? "create" : "read"},
                                      {"kwargs", QJsonObject{{"context", context}}}}));
    }
    QVERIFY(requests.at(0).headerNames.indexOf("accept") < requests.at(0).headerNames.indexOf("accept-language"));
    QVERIFY(requests.at(1).body.startsWith("csrf_token=tok1"));
    QVERIFY(requests.at(1).body.endsWith("&login=driver&password=secret&redirect="));
    QCOMPARE(args[0], (QJsonArray{QJsonObject{{"name", name}, {"file", QString::fromLatin1(bytes.toBase64())}}}));
    QCOMPARE(args[1].size(), 2);
    QCOMPARE(args[1].at(0).toArray(), QJsonArray({17}));
    QCOMPARE(args[1].at(1).toArray().size(), fieldCount); // each service reads its own fields
    QVERIFY(args[1].at(1).toArray().contains("state") && args[1].at(1).toArray().contains("message_ids"));
}

// Also a login page whose token element is never closed: the form then
// carries an empty token.
void tst_Sender::loginFormKeepsSpecialCharacters()
{
    const QString login = "вод&итель+1";
    const QString password = "p&a+s%s=w ord;Ё%2B";
    WebService web({"--user", login, "--password", password, "--broken-token"});
    UploadRun run;
    QVERIFY(run.upload(2, web.url(), writeFile("special.ddd", "card"), login, password));
    QCOMPARE(run.message(), sentText);

    const QVector<Request> requests = web.requests();
    QCOMPARE(requests.size(), 4);
    QByteArray body = requests.at(1).body;
    QStringList fields;
    for (const QByteArray& pair : body.replace('+', ' ').split('&'))
        fields << QUrl::fromPercentEncoding(pair);
    QCOMPARE(fields, QStringList({"csrf_token=", "login=" + login, "password=" + password, "redirect="}));
    QCOMPARE(run.log.at(1),
             QString("\nАвторизация на удалённом хранилище пользователем %1 ...").arg(login.toHtmlEscaped()));
    for (const QString& text : run.log)
        QVERIFY2(!text.contains("p&a") && !text.contains("p&amp;a"), qPrintable(text));
}

void tst_Sender::secondUploadRefusedWhileRunningAndKeepsCookie()
{
    WebService web;
    const QString first = writeFile("first.ddd", "first");
    const QString second = writeFile("second.ddd", "second");

    UploadRun run;
    run.start(1, web.url(), first);
    QVERIFY(run.sender.isBusy());
    UploadRun other;
    QString login = "other";
    QString password = "other";
    run.sender.setFilePath(second);
    run.sender.acceptLogin(login, password, &other.progress);
    QCOMPARE(run.log.size(), 2);
    QCOMPARE(run.logTypes.last(), 1);
    QCOMPARE(other.message(), QString());
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.message(), sentText);
    QCOMPARE(web.uploaded("first.ddd"), QByteArray("first"));
    QVERIFY(web.uploaded("second.ddd").isNull());

    QVERIFY(run.upload(1, web.url(), second));
    QCOMPARE(run.message(), sentText);
    const QVector<Request> requests = web.requests();
    QCOMPARE(requests.size(), 8);
    QCOMPARE(requests.at(4).header("cookie"), requests.at(2).header("cookie"));
    QCOMPARE(web.uploaded("second.ddd"), QByteArray("second"));
}

void tst_Sender::endings_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("file"); // empty: a readable one
    QTest::addColumn<Ending>("ending");
    const auto row = [](const QString& name, const QStringList& options, const Ending& ending,
                        const QString& file = QString()) {
        QTest::newRow(qPrintable(name)) << options << file << ending;
    };

    const QString refused = "Доступ отклонён!";
    row("login refused", {"--refuse-login"}, {2, connectStep, 3, refused, 2, "\nОшибка: " + refused});

    // The login page's error text has a blank after the colon, the others none.
    const QString timeout = "Истекло время ожидания ответа сервера";
    for (const auto& fault : {QStringList{"500", "--http500", "Error"}, QStringList{"stall", "--stall", timeout}}) {
        const QString name = fault[0], flag = fault[1], text = fault[2];
        row(name + " page", {flag, "page"}, {1, connectStep, 3, "Ошибка подключения", 2, "\nОшибка: " + text});
        row(name + " login", {flag, "login"}, {2, connectStep, 3, "Ошибка подключения", 2, "\nОшибка:" + text});
        row(name + " create", {flag, "create"}, {3, sendStep, 3, "Ошибка отправки ddd-файла", 2, "\nОшибка:" + text});
        row(name + " read", {flag, "read"}, {4, sendStep, 3, text, 2, "\nОшибка:" + text});
        row(name + " messages", {"--processing-failed", flag, "messages"},
            {5, sendStep, 2, "Файл отправлен", 2, "\nОшибка:" + text});
    }

    const QString arguments = QJsonDocument(QJsonArray{"Файл \"<повреждён>\" & не принят", 3}).toJson();
    const QString message = "Ошибка <сервера> & данных";
    row("rpc error create", {"--rpc-error", "create"},
        {3, sendStep, 3, "Код - 200. " + message, 2,
         "\nКод ошибки - 200. " + message.toHtmlEscaped() + " " + arguments.toHtmlEscaped()});
    row("rpc error read, negative code", {"--rpc-error", "read", "--error-code", "-32603"},
        {4, sendStep, 3, "Код - -32603. " + message, 2, "\nОшибка: Код - -32603. " + message.toHtmlEscaped()});

    const QString check = " Убедитесь в наличии файла в удалённом хранилище.";
    const QString noNumber = "В ответе сервера отсутствует номер созданной записи." + check;
    const QString noResult = "В ответе сервера отсутствует результат обработки DDD файла." + check;
    const QString badNumber = "В ответе сервера некорректный номер созданной записи." + check;
    row("html create", {"--html", "create"}, {3, sendStep, 2, noNumber, 1, "\nПредупреждение: " + noNumber});
    row("html read", {"--html", "read"}, {4, sendStep, 2, noResult, 1, "\nПредупреждение: " + noResult});
    row("html messages", {"--processing-failed", "--html", "messages"},
        {5, sendStep, 2, "Неполный ответ сервера", 1,
         "\nПредупреждение: В ответе сервера отсутствует информация о результате обработки DDD файла."});
    for (const char* result : {"-5", "0", "2.5", "\"17\"", "null", "1e12"})
        row(QString("record %1").arg(result), {"--create-result", result},
            {3, sendStep, 2, badNumber, 1, "\nПредупреждение: " + badNumber});

    // The service's own text is markup; it must reach the log view as text.
    row("processing failed", {"--processing-failed"},
        {5, sendStep, 2, "Ответ сервера получен", 0,
         "\n&lt;p&gt;Сообщение 31: подпись файла &lt;b&gt;неверна&lt;/b&gt; &amp; отклонена&lt;/p&gt;"});

    for (const QString& path : {files.filePath("missing.ddd"), files.path()})
        row(path == files.path() ? "folder as file" : "missing file", {},
            {0, connectStep, 3, "Ошибка чтения ddd-файла", 2, "\nОшибка: Не удалось прочитать файл " + path + "."},
            path);
    row("untrusted https", {"--cert", certPath("rogue-server.pem"), "--key", certPath("rogue-server.key")},
        {0, connectStep, 3, "Ошибка подключения", 2, "\nОшибка: "});
}

void tst_Sender::endings()
{
    QFETCH(QStringList, options);
    QFETCH(QString, file);
    QFETCH(Ending, ending);

    WebService web(options);
    QVERIFY(web.port != 0);
    UploadRun run;
    run.sender.setTransferTimeout(1500);
    if (file.isEmpty())
        file = writeFile("card.ddd", QByteArray("\x00\x01\xff\xfe card", 9));
    QVERIFY(run.upload(1, web.url(), file));

    const QVector<Request> requests = web.requests();
    QCOMPARE(requests.size(), ending.requests);
    for (int i = 2; i < requests.size(); ++i)
        QVERIFY(requests.at(i).header("cookie").contains("session_id="));
    if (ending.requests == 5) { // the messages call names the ids the read reply gave
        QCOMPARE(requests.at(4).line, QString("POST /web/dataset/call_kw/mail.message/message_format"));
        const QJsonObject params = requests.at(4).json().value("params").toObject();
        QCOMPARE(params["args"].toArray(), QJsonArray{QJsonValue(QJsonArray{31, 32})});
        QCOMPARE(params["kwargs"]["context"]["uid"].toInt(), 1);
    }
    QCOMPARE(run.state(ending.step), ending.state);
    if (ending.step == sendStep)
        QCOMPARE(run.state(connectStep), 2);
    QVERIFY2(run.message().startsWith(ending.message), qPrintable(run.message()));
    QVERIFY(!run.log.isEmpty());
    QCOMPARE(run.logTypes.last(), ending.logType);
    QVERIFY2(run.log.last().startsWith(ending.logStart), qPrintable(run.log.last()));
}

QTEST_MAIN(tst_Sender)
#include "tst_sender.moc"
