#pragma once

#include "ServiceOptions.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QTcpServer>

class HttpConnection;
struct HttpRequest;
struct HttpResponse;

// The service: a login form that sets a session cookie, and JSON-RPC calls
// that need it. Every request is appended to "requests.jsonl" in the work
// folder before it is answered ({"line", "headers" by lower-case name,
// "body" in base64}); uploaded files go to "uploads/" there.
class WebService : public QTcpServer
{
    Q_OBJECT

public:
    explicit WebService(const ServiceOptions& options, QObject* parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onRequest(HttpConnection* connection, const HttpRequest& request);
    void record(const HttpRequest& request) const;
    HttpResponse answer(const QString& step, const HttpRequest& request);
    HttpResponse loginPage(const QByteArray& notice);
    HttpResponse login(const HttpRequest& request);
    HttpResponse rpc(const QString& step, const HttpRequest& request);
    // Each gives the call's "result", or sets *error.
    QJsonValue create(const QJsonObject& params, QJsonObject* error);
    QJsonValue read(const QJsonObject& params) const;
    QJsonValue messages(const QJsonObject& params) const;
    bool hasSession(const HttpRequest& request) const;
    QString serviceText(const QString& usual) const;

    ServiceOptions options;
    QByteArray token;
    QByteArray session;
    int nextRecord = 17;
    int pagesServed = 0;
};
