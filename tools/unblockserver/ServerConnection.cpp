#include "ServerConnection.h"

#include "CardTable.h"
#include "Recorder.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

namespace {

QByteArray frame(const QString& body, bool malformed)
{
    const QString lineEnd = malformed ? QStringLiteral("\n") : QStringLiteral("\r\n");
    return QStringLiteral("[SIZE]:%1;%2[BODY]:").arg(body.size()).arg(lineEnd).toUtf8() + body.toUtf8();
}

} // namespace

ServerConnection::ServerConnection(qintptr descriptor, const ServerOptions& opts, const QSslConfiguration& tls,
                                   QObject* parent)
    : QObject(parent)
    , options(opts)
    , socket(new QSslSocket(this))
{
    chunkTimer.setSingleShot(true);
    connect(&chunkTimer, &QTimer::timeout, this, &ServerConnection::sendNextChunk);
    connect(socket, &QSslSocket::disconnected, this, &QObject::deleteLater);
    connect(socket, &QSslSocket::readyRead, this, &ServerConnection::onReadyRead);
    socket->setSocketDescriptor(descriptor);
    if (options.plain)
        return;
    socket->setSslConfiguration(tls);
    connect(socket, &QSslSocket::encrypted, this, &ServerConnection::onEncrypted);
    connect(socket, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), this,
            &ServerConnection::onSslErrors);
    socket->startServerEncryption();
}

void ServerConnection::recordPeer()
{
    if (peerRecorded)
        return;
    peerRecorded = true;
    const QSslCertificate peer = socket->peerCertificate();
    record(peer.isNull() ? QStringLiteral("PEER none")
                         : QStringLiteral("PEER ") + QString::fromLatin1(peer.digest(QCryptographicHash::Sha256).toHex()));
}

void ServerConnection::onEncrypted()
{
    recordPeer();
    record(QStringLiteral("PROTOCOL %1").arg(int(socket->sessionProtocol())));
    if (options.closeAfterHandshake)
        socket->disconnectFromHost();
}

void ServerConnection::onSslErrors(const QList<QSslError>& errors)
{
    // Not ignored: the handshake fails and the client is turned away.
    recordPeer();
    QStringList codes;
    for (const QSslError& error : errors)
        codes << QString::number(int(error.error()));
    record(QStringLiteral("SSLERRORS ") + codes.join(QLatin1Char(',')));
}

void ServerConnection::onReadyRead()
{
    received += socket->readAll();
    if (options.plain)
        answerPlain();
    else if (!requestRead)
        readRequest();
}

void ServerConnection::readRequest()
{
    static const QRegularExpression header(QStringLiteral(R"(^\[SIZE\]:(\d{1,7});\r\n$)"));
    const int marker = received.indexOf("[BODY]:");
    if (marker < 0)
        return;
    const QRegularExpressionMatch match = header.match(QString::fromLatin1(received.left(marker)));
    if (!match.hasMatch()) {
        record(QStringLiteral("BADREQUEST ") + QString::fromLatin1(received.toBase64()));
        socket->disconnectFromHost();
        requestRead = true;
        return;
    }
    const QByteArray bodyBytes = received.mid(marker + 7);
    const QString body = QString::fromUtf8(bodyBytes);
    // A multi-byte character still on its way does not count yet.
    if (body.size() < match.captured(1).toInt() || body.toUtf8() != bodyBytes)
        return;
    requestRead = true;
    record(QStringLiteral("REQUEST ") + QString::fromLatin1(received.toBase64()));
    if (!options.silent)
        answer(body);
}

void ServerConnection::answerPlain()
{
    if (requestRead)
        return;
    requestRead = true;
    record(QStringLiteral("PLAIN ") + QString::number(received.size()));
    if (options.silent)
        return;
    outgoing = frame(QStringLiteral("<%1/><%2/>").arg(CardTable::counter(), CardTable::statusRows(options.statusRows)),
                     false);
    sendNextChunk();
}

void ServerConnection::answer(const QString& request)
{
    QString body = options.replyBody.isEmpty() ? CardTable::answer(request, options.statusRows, options.statusField) : options.replyBody;
    if (!options.errorText.isEmpty())
        body = QStringLiteral("ERROR('%1')").arg(options.errorText);
    // Too long for a command line: made here, in two-byte letters.
    if (options.errorLength > 0)
        body = QStringLiteral("ERROR('%1')").arg(QString(qMax(options.errorLength - 9, 0), QChar(0x44F)));
    outgoing = frame(body, options.malformed);
    if (options.surplus)
        outgoing += "SURPLUS";
    sendNextChunk();
}

void ServerConnection::sendNextChunk()
{
    const int size = options.chunkSize > 0 ? options.chunkSize : outgoing.size();
    socket->write(outgoing.left(size));
    socket->flush();
    outgoing.remove(0, size);
    if (!outgoing.isEmpty())
        chunkTimer.start(options.pauseMs);
}
