#include "HttpConnection.h"

#include "HttpResponse.h"

#include <QTcpSocket>

HttpConnection::HttpConnection(QTcpSocket* socket, QObject* parent)
    : QObject(parent)
    , socket(socket)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

void HttpConnection::respond(const HttpResponse& response)
{
    socket->write(response.serialised());
    socket->disconnectFromHost();
}

void HttpConnection::stream(int chunkBytes, int pauseMs)
{
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n");
    const QByteArray chunk(chunkBytes, 'x');
    connect(&streamTimer, &QTimer::timeout, this, [this, chunk] {
        // Only what the client has taken: the flood must grow the client.
        if (socket->bytesToWrite() < chunk.size())
            socket->write(chunk);
    });
    streamTimer.start(pauseMs);
}

void HttpConnection::onReadyRead()
{
    buffer += socket->readAll();
    if (delivered)
        return;
    if (bodyLength < 0) {
        const int headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        if (!parseHead(headEnd)) {
            socket->abort();
            return;
        }
        buffer.remove(0, headEnd + 4);
    }
    if (buffer.size() < bodyLength)
        return;
    request.body = buffer.left(int(bodyLength));
    delivered = true;
    emit requestReceived(this, request);
}

bool HttpConnection::parseHead(int headEnd)
{
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3)
        return false;
    request.method = requestLine.at(0);
    request.path = requestLine.at(1);
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    bool ok = true;
    const QByteArray length = request.header("Content-Length");
    bodyLength = length.isEmpty() ? 0 : length.toLongLong(&ok);
    return ok && bodyLength >= 0;
}
