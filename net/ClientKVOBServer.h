#pragma once

#include "card/SecretBytes.h"

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class Config;
class KvobReplyReader;
class MultiProgressElement;
class QSslError;
class QSslSocket;

// Client of the PIN-unblock server. Lives in the GUI thread. Each command
// runs on a TLS connection of its own with the user's certificate; commands
// that arrive while one runs wait their turn, and every command is answered
// by exactly one commandResult.
class ClientKVOBServer : public QObject
{
    Q_OBJECT

public:
    explicit ClientKVOBServer(QObject* parent = nullptr);
    ~ClientKVOBServer() override;

    // Settings, certificates and the key are read from config when a command
    // needs them, so changes apply to the next command. Not owned.
    void setConfig(const Config* config);

signals:
    // ok false: the command failed (already shown and logged) and result is
    // empty. "findPUK" yields six strings, "getStatus" two. The server's PUK
    // never stays a text: it comes as `puk`, its place in the list empty.
    void commandResult(const QString& cmd, bool ok, const QStringList& result, const SecretBytes& puk);
    void logginMessage(uchar type, const QString& msg);

public slots:
    void on_MakeCommand(MultiProgressElement* prg_element, const QString& cmd,
                        const QStringList& params = QStringList());
    void on_InterruptAllOperation();

private slots:
    void on_peerVerifyError(const QSslError& err);
    void on_sslErrors(const QList<QSslError>& errs);
    void on_error(QAbstractSocket::SocketError socketError);
    void on_Encrypted();
    void on_Response();
    void on_ConnectTimeout();
    void on_ResponseTimeout();

private:
    struct Command {
        MultiProgressElement* progress = nullptr;
        // The element's generation when the command was made: once the
        // window has given the element to another operation, this command
        // no longer writes to it.
        quint32 generation = 0;
        QString cmd;
        QStringList params;
    };

    void scheduleNextCommand();
    void startNextCommand();
    void beginCommand(const Command& command);
    bool checkParams();
    void connectToServer();
    void sendRequest();
    void checkResponse(const QString& body);
    void armTimer(void (ClientKVOBServer::*onExpiry)());
    void disarmTimer();
    void closeConnection();
    void fail(const QString& stepText, const QString& logText);
    void finishCommand(bool ok, const QStringList& result = QStringList(), const SecretBytes& puk = SecretBytes());

    int timeout() const;
    QString setting(const QString& key) const;
    void log(uchar type, const QString& msg);
    void setMessage(const QString& text);
    void setCurrentState(quint8 state, const QString& text);
    void nextStep(const QString& text);
    bool showsProgress() const;

    const Config* config = nullptr;
    QQueue<Command> pending;
    bool startScheduled = false;

    // The command in progress.
    bool active = false;
    MultiProgressElement* progress = nullptr;
    quint32 progressGeneration = 0;
    QString cmd;
    QString param1;
    QString param2;
    std::unique_ptr<KvobReplyReader> reply;
    QSslSocket* socket = nullptr;
    QTimer timer{this};
};
