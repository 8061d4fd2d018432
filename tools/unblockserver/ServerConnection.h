#pragma once

#include "ServerOptions.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

class QSslConfiguration;
class QSslError;
class QSslSocket;

// One client connection: reads a framed request, records it, and answers
// as the options say.
class ServerConnection : public QObject
{
    Q_OBJECT

public:
    explicit ServerConnection(qintptr descriptor, const ServerOptions& options, const QSslConfiguration& tls,
                              QObject* parent = nullptr);

private:
    void onEncrypted();
    void onSslErrors(const QList<QSslError>& errors);
    void onReadyRead();
    void readRequest();
    void answerPlain();
    void answer(const QString& request);
    void sendNextChunk();
    void recordPeer();

    const ServerOptions& options;
    QSslSocket* socket = nullptr;
    QByteArray received;
    QByteArray outgoing;
    QTimer chunkTimer;
    bool peerRecorded = false;
    bool requestRead = false;
};
