#include "WebService.h"

#include "HttpConnection.h"
#include "HttpRequest.h"
#include "HttpResponse.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QUrl>
#include <QUuid>

namespace {

const QByteArray rpcPrefix = "/web/dataset/call_kw/";

QString stepOf(const HttpRequest& request)
{
    if (request.path == "/web/login")
        return request.method == "GET" ? QStringLiteral("page") : QStringLiteral("login");
    if (request.path.endsWith("/create"))
        return QStringLiteral("create");
    if (request.path.endsWith("/read"))
        return QStringLiteral("read");
    if (request.path.endsWith("/message_format"))
        return QStringLiteral("messages");
    return QString();
}

HttpResponse htmlResponse(int status, const QByteArray& reason, const QByteArray& body)
{
    HttpResponse response;
    response.status = status;
    response.reason = reason;
    response.contentType = "text/html; charset=utf-8";
    response.body = body;
    return response;
}

HttpResponse jsonResponse(const QJsonValue& id, const QString& member, const QJsonValue& value)
{
    QJsonObject reply{{"jsonrpc", "2.0"}, {"id", id}};
    reply.insert(member, value);
    HttpResponse response;
    response.contentType = "application/json";
    response.body = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    return response;
}

QJsonObject rpcError(double code, const QString& message, const QJsonObject& data = QJsonObject())
{
    QJsonObject error{{"code", code}, {"message", message}};
    if (!data.isEmpty())
        error.insert("data", data);
    return error;
}

// A form as a browser posts it: '+' for a space, the rest percent-encoded.
QMap<QString, QString> formFields(const QByteArray& body, QStringList* names)
{
    QMap<QString, QString> fields;
    for (const QByteArray& pair : body.split('&')) {
        const int equals = pair.indexOf('=');
        const QByteArray name = equals < 0 ? pair : pair.left(equals);
        QByteArray value = equals < 0 ? QByteArray() : pair.mid(equals + 1);
        value.replace('+', ' ');
        names->append(QUrl::fromPercentEncoding(name));
        fields.insert(QUrl::fromPercentEncoding(name), QUrl::fromPercentEncoding(value));
    }
    return fields;
}

}

WebService::WebService(const ServiceOptions& options, QObject* parent)
    : QTcpServer(parent)
    , options(options)
{
    QDir(options.dir).mkpath(QStringLiteral("uploads"));
}

void WebService::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = nullptr;
    if (options.certFile.isEmpty()) {
        socket = new QTcpSocket;
        socket->setSocketDescriptor(descriptor);
    } else {
        auto* tls = new QSslSocket;
        tls->setSocketDescriptor(descriptor);
        tls->setLocalCertificate(options.certFile);
        tls->setPrivateKey(options.keyFile);
        tls->setPeerVerifyMode(QSslSocket::VerifyNone);
        tls->startServerEncryption();
        socket = tls;
    }
    auto* connection = new HttpConnection(socket, this);
    connect(connection, &HttpConnection::requestReceived, this, &WebService::onRequest);
}

void WebService::onRequest(HttpConnection* connection, const HttpRequest& request)
{
    record(request);
    const QString step = stepOf(request);
    if (!step.isEmpty() && step == options.stallAt)
        return;
    if (!step.isEmpty() && step == options.floodAt)
        connection->stream(256 * 1024, 10);
    else if (!step.isEmpty() && step == options.trickleAt)
        connection->stream(1, 100);
    else
        connection->respond(answer(step, request));
}

void WebService::record(const HttpRequest& request) const
{
    QJsonObject headers;
    for (const auto& header : request.headers)
        headers.insert(QString::fromLatin1(header.first.toLower()), QString::fromLatin1(header.second));
    const QJsonObject entry{{"line", QString::fromLatin1(request.method + ' ' + request.path)},
                            {"headers", headers},
                            {"body", QString::fromLatin1(request.body.toBase64())}};
    QFile file(QDir(options.dir).filePath(QStringLiteral("requests.jsonl")));
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
}

HttpResponse WebService::answer(const QString& step, const HttpRequest& request)
{
    if (step.isEmpty())
        return htmlResponse(404, "Not Found", "<html><body>Not Found</body></html>");
    if (step == options.http500At)
        return htmlResponse(500, serviceText("Internal Server Error").toLatin1(),
                            "<html><body>Internal Server Error</body></html>");
    if (step == options.htmlAt)
        return htmlResponse(200, "OK", "<html><body><h1>Сервис временно недоступен</h1></body></html>");
    if (step == QLatin1String("page"))
        return loginPage(QByteArray());
    if (step == QLatin1String("login"))
        return login(request);
    return rpc(step, request);
}

HttpResponse WebService::loginPage(const QByteArray& notice)
{
    token = "tok" + QByteArray::number(++pagesServed) + QUuid::createUuid().toRfc4122().toHex();
    // The broken page never closes an element with "/>.
    const QByteArray close = options.brokenToken ? "\">" : "\"/>";
    QByteArray page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"/><title>Вход</title></head><body>\n";
    if (!notice.isEmpty())
        page += "<p class=\"alert\">" + notice + "</p>\n";
    page += "<form method=\"post\" action=\"/web/login\">\n"
            "<input type=\"hidden\" name=\"csrf_token\" value=\"" + token + close + "\n"
            "<input type=\"text\" name=\"login\" id=\"login\" required=\"required" + close + "\n"
            "<input type=\"password\" name=\"password\" id=\"password\" required=\"required" + close + "\n"
            "<input type=\"hidden\" name=\"redirect\" value=\"" + close + "\n"
            "<button type=\"submit\">Войти</button>\n</form></body></html>\n";
    return htmlResponse(200, "OK", page);
}

HttpResponse WebService::login(const HttpRequest& request)
{
    QStringList names;
    const QMap<QString, QString> fields = formFields(request.body, &names);
    const bool wellFormed = names == QStringList{"csrf_token", "login", "password", "redirect"};
    const bool tokenGood = options.brokenToken || fields.value("csrf_token").toLatin1() == token;
    if (!wellFormed || !tokenGood)
        return htmlResponse(400, "Bad Request", "<html><body>Bad Request</body></html>");
    if (options.refuseLogin || fields.value("login") != options.user || fields.value("password") != options.password)
        return loginPage("Неверный логин или пароль");

    session = QUuid::createUuid().toRfc4122().toHex();
    HttpResponse response = htmlResponse(303, "See Other", "<html><body>Redirecting</body></html>");
    response.headers.append(qMakePair(QByteArray("Location"), QByteArray("/web")));
    response.headers.append(qMakePair(QByteArray("Set-Cookie"), "session_id=" + session + "; Path=/; HttpOnly"));
    return response;
}

HttpResponse WebService::rpc(const QString& step, const HttpRequest& request)
{
    const QJsonObject call = QJsonDocument::fromJson(request.body).object();
    const QJsonValue id = call.value("id");
    if (!hasSession(request))
        return jsonResponse(id, "error", rpcError(100, "Сессия истекла"));
    const QJsonObject params = call.value("params").toObject();
    const QByteArray target = params.value("model").toString().toUtf8() + '/' + params.value("method").toString().toUtf8();
    if (call.value("jsonrpc") != "2.0" || call.value("method") != "call" || request.path != rpcPrefix + target)
        return jsonResponse(id, "error", rpcError(200, "Вызов не соответствует пути"));
    if (step == options.rpcErrorAt) {
        const QJsonObject data{{"name", "service.exceptions.ValidationError"},
                               {"arguments", QJsonArray{"Файл \"<повреждён>\" & не принят", 3}}};
        return jsonResponse(id, "error", rpcError(options.errorCode, serviceText("Ошибка <сервера> & данных"), data));
    }
    QJsonObject error;
    QJsonValue result;
    if (step == QLatin1String("create"))
        result = create(params, &error);
    else if (step == QLatin1String("read"))
        result = read(params);
    else
        result = messages(params);
    return error.isEmpty() ? jsonResponse(id, "result", result) : jsonResponse(id, "error", error);
}

QJsonValue WebService::create(const QJsonObject& params, QJsonObject* error)
{
    const QJsonArray args = params.value("args").toArray();
    const QJsonObject fields = args.at(0).toObject();
    const QByteArray base64 = fields.value("file").toString().toLatin1();
    const QByteArray bytes = QByteArray::fromBase64(base64);
    const QString name = QFileInfo(fields.value("name").toString()).fileName();
    if (args.size() != 1 || name.isEmpty() || bytes.toBase64() != base64) {
        *error = rpcError(200, "Неверные данные файла");
        return QJsonValue();
    }
    QFile file(QDir(options.dir).filePath("uploads/" + name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        *error = rpcError(200, "Не удалось сохранить файл");
        return QJsonValue();
    }
    if (!options.createResult.isEmpty())
        return QJsonDocument::fromJson("[" + options.createResult + "]").array().at(0);
    return nextRecord++;
}

QJsonValue WebService::read(const QJsonObject& params) const
{
    QJsonArray records;
    const QJsonArray ids = params.value("args").toArray().at(0).toArray();
    for (const QJsonValue& id : ids) {
        QJsonObject record{{"id", id}, {"display_name", QStringLiteral("Файл %1").arg(id.toInt())}};
        record.insert("state", options.state);
        record.insert("message_ids", QJsonArray{31, 32});
        records.append(record);
    }
    return records;
}

QJsonValue WebService::messages(const QJsonObject& params) const
{
    QJsonArray result;
    const QJsonArray ids = params.value("args").toArray().at(0).toArray();
    for (const QJsonValue& id : ids) {
        result.append(QJsonObject{{"id", id},
                                  {"body", serviceText(QStringLiteral("<p>Сообщение %1: подпись файла <b>неверна</b> "
                                                                      "& отклонена</p>")
                                                           .arg(id.toInt()))}});
    }
    return result;
}

bool WebService::hasSession(const HttpRequest& request) const
{
    if (session.isEmpty())
        return false;
    for (const QByteArray& cookie : request.header("Cookie").split(';')) {
        if (cookie.trimmed() == "session_id=" + session)
            return true;
    }
    return false;
}

QString WebService::serviceText(const QString& usual) const
{
    return options.textLength > 0 ? QString(options.textLength, QLatin1Char('x')) : usual;
}
