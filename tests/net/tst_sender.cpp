// Whole uploads against the local web-service double.

#include "UploadRun.h"
#include "WebServiceProcess.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QByteArray pageAccept = "text/html, application/xhtml+xml, */*";
const QByteArray rpcAccept = "application/json, text/javascript, */*; q=0.01";
const QByteArray acceptLanguage = "ru,en;q=0.8,en-US;q=0.5,ru-RU;q=0.3";

// Every byte value, then a stretch of noise, so encoding slips show.
QByteArray dddBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    QRandomGenerator random(20240607);
    for (int i = 0; i < 40000; ++i)
        bytes.append(char(random.bounded(256)));
    return bytes + QByteArray(3, '\0');
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

QMap<QString, QString> formFields(const QByteArray& body)
{
    QMap<QString, QString> fields;
    for (QByteArray pair : body.split('&')) {
        pair.replace('+', ' ');
        const int equals = pair.indexOf('=');
        fields.insert(QUrl::fromPercentEncoding(pair.left(equals)), QUrl::fromPercentEncoding(pair.mid(equals + 1)));
    }
    return fields;
}

}

class tst_Sender : public QObject
{
    Q_OBJECT

private slots:
    void wholeUpload_data();
    void wholeUpload();
    void specialCharactersInLogin();
    void secondUploadRefusedWhileRunningAndKeepsCookie();
    void processingFailureFetchesMessages();
    void unterminatedTokenPostsEmptyToken();

private:
    QTemporaryDir files;
};

void tst_Sender::wholeUpload_data()
{
    QTest::addColumn<quint8>("service");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("fieldCount");
    QTest::newRow("Kvarnol") << quint8(1) << "vorntacho.dddfile" << 11;
    QTest::newRow("Lotvarsk") << quint8(2) << "vorn.dddfile" << 15;
}

void tst_Sender::wholeUpload()
{
    QFETCH(quint8, service);
    QFETCH(QString, model);
    QFETCH(int, fieldCount);

    WebServiceProcess web;
    QVERIFY(web.start());
    const QByteArray bytes = dddBytes();
    const QString file = writeFile(files, "C_20240607_1200_IVANOV_RUS123.ddd", bytes);
    QVERIFY(!file.isEmpty());

    UploadRun run;
    QVERIFY(run.upload(service, web.url(), file));

    QCOMPARE(run.row.state(UploadProgressRow::connectStep), 2);
    QCOMPARE(run.row.state(UploadProgressRow::sendStep), 2);
    QCOMPARE(run.row.message(), QString("\nФайл успешно отправлен ..."));
    QCOMPARE(run.logTexts(), QStringList({"\nСоединение с сервером " + web.url() + " ...",
                                          "\nАвторизация на удалённом хранилище пользователем driver ...",
                                          "\nОтправка файла C_20240607_1200_IVANOV_RUS123.ddd ...",
                                          "\nФайл успешно отправлен ..."}));
    for (const LogLine& line : qAsConst(run.log))
        QCOMPARE(line.type, 0);

    const QVector<RecordedRequest> requests = web.requests();
    QCOMPARE(requests.size(), 4);
    const QString rpcPath = "/web/dataset/call_kw/" + model;

    const RecordedRequest& page = requests.at(0);
    QCOMPARE(page.method, QString("GET"));
    QCOMPARE(page.path, QString("/web/login"));
    QCOMPARE(page.header("Accept"), pageAccept);
    QCOMPARE(page.header("Accept-Language"), acceptLanguage);
    QVERIFY(page.header("Cookie").isNull());
    QVERIFY(page.headerNames().indexOf("accept") < page.headerNames().indexOf("accept-language"));

    const RecordedRequest& login = requests.at(1);
    QCOMPARE(login.method, QString("POST"));
    QCOMPARE(login.path, QString("/web/login"));
    QCOMPARE(login.header("Accept"), pageAccept);
    QCOMPARE(login.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(login.header("Content-Length"), QByteArray::number(login.body.size()));
    QVERIFY(login.body.startsWith("csrf_token=tok1"));
    QVERIFY(login.body.endsWith("&login=driver&password=secret&redirect="));

    const RecordedRequest& create = requests.at(2);
    const RecordedRequest& read = requests.at(3);
    QCOMPARE(create.path, rpcPath + "/create");
    QCOMPARE(read.path, rpcPath + "/read");
    for (const RecordedRequest& call : {create, read}) {
        QCOMPARE(call.method, QString("POST"));
        QCOMPARE(call.header("Accept"), rpcAccept);
        QCOMPARE(call.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(call.header("Accept-Language"), acceptLanguage);
        QCOMPARE(call.header("Content-Length"), QByteArray::number(call.body.size()));
        QVERIFY(call.header("Cookie").contains("session_id="));
        const QJsonObject json = call.json();
        QCOMPARE(json.value("jsonrpc").toString(), QString("2.0"));
        QCOMPARE(json.value("method").toString(), QString("call"));
        QCOMPARE(json.value("params")["model"].toString(), model);
        QCOMPARE(json.value("params")["kwargs"].toObject(),
                 QJsonObject({{"context", QJsonObject({{"lang", "ru_RU"}, {"tz", false}})}}));
    }

    const QJsonObject createCall = create.json();
    QCOMPARE(createCall.value("id").toDouble(), 12345678901.0);
    QCOMPARE(createCall.value("params")["method"].toString(), QString("create"));
    const QJsonArray createArgs = createCall.value("params")["args"].toArray();
    QCOMPARE(createArgs.size(), 1);
    QCOMPARE(createArgs.at(0)["name"].toString(), QString("C_20240607_1200_IVANOV_RUS123.ddd"));
    QCOMPARE(createArgs.at(0)["file"].toString().toLatin1(), bytes.toBase64());
    QCOMPARE(web.uploaded("C_20240607_1200_IVANOV_RUS123.ddd"), bytes);

    const QJsonObject readCall = read.json();
    QCOMPARE(readCall.value("id").toDouble(), 12345678902.0);
    QCOMPARE(readCall.value("params")["method"].toString(), QString("read"));
    const QJsonArray readArgs = readCall.value("params")["args"].toArray();
    QCOMPARE(readArgs.size(), 2);
    QCOMPARE(readArgs.at(0).toArray(), QJsonArray({17}));
    const QJsonArray fields = readArgs.at(1).toArray();
    QCOMPARE(fields.size(), fieldCount);
    QCOMPARE(fields.first().toString(), QString("state"));
    QVERIFY(fields.contains("message_ids"));
}

void tst_Sender::specialCharactersInLogin()
{
    const QString login = "вод&итель+1";
    const QString password = "p&a+s%s=w ord;Ё%2B";
    WebServiceProcess web({"--user", login, "--password", password});
    QVERIFY(web.start());
    const QString file = writeFile(files, "special.ddd", "card");

    UploadRun run;
    QVERIFY(run.upload(2, web.url(), file, login, password));
    QCOMPARE(run.row.message(), QString("\nФайл успешно отправлен ..."));

    const QVector<RecordedRequest> requests = web.requests();
    QCOMPARE(requests.size(), 4);
    const QByteArray body = requests.at(1).body;
    QCOMPARE(body.count('&'), 3);
    const QMap<QString, QString> fields = formFields(body);
    QCOMPARE(fields.keys(), QStringList({"csrf_token", "login", "password", "redirect"}));
    QCOMPARE(fields.value("login"), login);
    QCOMPARE(fields.value("password"), password);
    QCOMPARE(run.log.at(1).text, QString("\nАвторизация на удалённом хранилище пользователем %1 ...")
                                     .arg(login.toHtmlEscaped()));
    for (const QString& text : run.logTexts())
        QVERIFY2(!text.contains("p&a") && !text.contains("p&amp;a"), qPrintable(text));
}

void tst_Sender::secondUploadRefusedWhileRunningAndKeepsCookie()
{
    WebServiceProcess web;
    QVERIFY(web.start());
    const QString first = writeFile(files, "first.ddd", "first");
    const QString second = writeFile(files, "second.ddd", "second");

    UploadRun run;
    run.start(1, web.url(), first);
    QVERIFY(run.sender.isBusy());
    UploadProgressRow otherRow;
    QString login = "other";
    QString password = "other";
    run.sender.setFilePath(second);
    run.sender.acceptLogin(login, password, otherRow.element());
    QCOMPARE(run.log.size(), 2);
    QCOMPARE(run.log.last().type, 1);
    QCOMPARE(otherRow.message(), QString());
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.row.message(), QString("\nФайл успешно отправлен ..."));
    QCOMPARE(web.requests().size(), 4);
    QCOMPARE(web.uploaded("first.ddd"), QByteArray("first"));
    QVERIFY(web.uploaded("second.ddd").isNull());

    QVERIFY(run.upload(1, web.url(), second));
    QCOMPARE(run.row.message(), QString("\nФайл успешно отправлен ..."));
    const QVector<RecordedRequest> requests = web.requests();
    QCOMPARE(requests.size(), 8);
    QCOMPARE(requests.at(4).header("Cookie"), requests.at(2).header("Cookie"));
    QCOMPARE(web.uploaded("second.ddd"), QByteArray("second"));
}

void tst_Sender::processingFailureFetchesMessages()
{
    WebServiceProcess web({"--processing-failed"});
    QVERIFY(web.start());
    const QString file = writeFile(files, "bad.ddd", dddBytes());

    UploadRun run;
    QVERIFY(run.upload(2, web.url(), file));

    const QVector<RecordedRequest> requests = web.requests();
    QCOMPARE(requests.size(), 5);
    const RecordedRequest& messages = requests.at(4);
    QCOMPARE(messages.path, QString("/web/dataset/call_kw/mail.message/message_format"));
    QVERIFY(messages.header("Cookie").contains("session_id="));
    const QJsonObject call = messages.json();
    QCOMPARE(call.value("id").toDouble(), 12345678903.0);
    QCOMPARE(call.value("params")["method"].toString(), QString("message_format"));
    QCOMPARE(call.value("params")["args"].toArray(), QJsonArray{QJsonValue(QJsonArray{31, 32})});
    QCOMPARE(call.value("params")["kwargs"]["context"]["uid"].toInt(), 1);

    QCOMPARE(run.row.state(UploadProgressRow::sendStep), 2);
    QCOMPARE(run.row.message(), QString("Ответ сервера получен"));
    QCOMPARE(run.log.size(), 6);
    QCOMPARE(run.log.at(3).type, 2);
    QCOMPARE(run.log.at(3).text, QString("\nФайл получен, однако при его обработке возникла ошибка. Детальная "
                                         "информация указана в интерфейсе удалённого хранилища."));
    QCOMPARE(run.log.at(4).text, QString("\nФайл отправлен."));
    // The service's text is markup; it must reach the log view as text.
    QCOMPARE(run.log.at(5).type, 0);
    QCOMPARE(run.log.at(5).text,
             QString("\n&lt;p&gt;Сообщение 31: подпись файла &lt;b&gt;неверна&lt;/b&gt; &amp; отклонена&lt;/p&gt;"));
}

void tst_Sender::unterminatedTokenPostsEmptyToken()
{
    WebServiceProcess web({"--broken-token"});
    QVERIFY(web.start());
    const QString file = writeFile(files, "token.ddd", "token");

    UploadRun run;
    QVERIFY(run.upload(1, web.url(), file));
    const QVector<RecordedRequest> requests = web.requests();
    QVERIFY(requests.size() >= 2);
    QVERIFY2(requests.at(1).body.startsWith("csrf_token=&login=driver&"), requests.at(1).body.constData());
}

QTEST_MAIN(tst_Sender)
#include "tst_sender.moc"
