#pragma once

#include "HttpRequest.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;
struct HttpResponse;

// One client connection: collects one request (headers, then the body by
// Content-Length) and sends one answer, then closes.
class HttpConnection : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of the socket.
    explicit HttpConnection(QTcpSocket* socket, QObject* parent = nullptr);

    void respond(const HttpResponse& response);
    // A page without length that never ends: chunkBytes every pauseMs
    // until the client goes.
    void stream(int chunkBytes, int pauseMs);

signals:
    void requestReceived(HttpConnection* connection, const HttpRequest& request);

private:
    void onReadyRead();
    bool parseHead(int headEnd);

    QTcpSocket* socket = nullptr;
    QByteArray buffer;
    HttpRequest request;
    qint64 bodyLength = -1;
    bool delivered = false;
    QTimer streamTimer;
};
