#pragma once

#include "card/SecretBytes.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QVector>

class MultiProgressElement;
class UploadFileReader;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QTimer;

// Uploads one .ddd file to one of the two web services: fetches the login
// page, posts the login form, then creates the file's record and asks how
// the service processed it over JSON-RPC. Each step starts the next from
// its reply; outcomes go to the caller's progress element and the log.
class Sender : public QObject
{
    Q_OBJECT

public:
    explicit Sender(QObject* parent = nullptr);

    // The three setters leave a running upload alone; acceptLogin refuses
    // to start another while it runs.
    // 1 selects Kvarnol; any other value Lotvarsk.
    void setService(quint8 service);
    // Protocol, "://" and host of the service.
    void setServer(const QString& url);
    void setFilePath(const QString& path);
    // Longest time one request may take, its reply included.
    void setRequestTimeout(int msec);

    // True while an upload reads its file or waits for a reply.
    bool isBusy() const;

signals:
    void PrintMessageHTML(QString);
    void logginMessage(uchar Type, QString Msg);

public slots:
    // The password is wiped, for every holder, once the login is sent or
    // the chain ends before it.
    void acceptLogin(const QString& username, SecretBytes password, MultiProgressElement* progress);

private slots:
    void ignoreSslErrors(QNetworkReply* reply, QList<QSslError> errors);
    void step01GetLoginPage();
    void step02Login();
    void step03GetPostForm();
    void step04PostDDD();
    void finishPostDDD();
    void finishDDDForm();
    void step07GetMessages(QVector<int> ids);
    void finishMessages();

private:
    // What a step needs of its finished reply, which is released at once.
    struct Answer
    {
        bool failed = false;
        QString errorText;
        QByteArray body;
        QByteArray contentType;
    };

    using Step = void (Sender::*)();

    void onFileRead();
    QNetworkRequest pageRequest(const QString& path) const;
    QNetworkRequest rpcRequest(const QString& path, int length) const;
    void await(QNetworkReply* reply, Step next);
    void abortPending(const QString& reason);
    void onReplyProgress(qint64 received, qint64 total);
    Answer takeAnswer();
    void postRpc(const QString& path, const QByteArray& body, Step next);
    void show(quint8 state, const QString& text);
    void log(uchar type, const QString& text);

    MultiProgressElement* progress = nullptr;
    QString server;
    QString login;
    SecretBytes password;
    // The login form with the password, kept until its reply is in: the
    // network layer reads the same buffer until then.
    SecretBytes loginBody;
    QString csrf_token;
    QString filePath;
    quint8 service = 0;
    QNetworkAccessManager* manager = nullptr;

    UploadFileReader* fileReader = nullptr;
    // The create call's body, built from the file before the login.
    QByteArray createBody;
    QNetworkReply* pending = nullptr;
    QTimer* requestTimer = nullptr;
    // Why the pending request was aborted; empty when it was not.
    QString abortReason;
};
