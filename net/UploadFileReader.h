#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QThread;

// Reads the .ddd file of an upload and builds the create call's body from
// it in a thread of its own: for a file of 64 MB the reading, the base64
// text and the JSON text take most of a second, which the window's thread
// must not spend.
class UploadFileReader : public QObject
{
    Q_OBJECT

public:
    explicit UploadFileReader(QObject* parent = nullptr);
    // Cuts a running read short and waits for it; no finished() follows.
    ~UploadFileReader() override;

    // Reads `path` and puts its bytes into the create template
    // `rpcTemplate`; finished() follows in this object's thread. Not while
    // a read runs.
    void start(const QString& path, const QByteArray& rpcTemplate);
    // From start() until finished() has been emitted.
    bool isRunning() const { return running; }

    // After finished(): whether the file was read, why not, and the body.
    struct Outcome
    {
        bool read = false;
        QString errorString;
        QByteArray body;
    };
    Outcome takeOutcome();

signals:
    void finished();

private:
    void onThreadFinished();

    QThread* thread = nullptr;
    // Written by the thread alone while it runs.
    Outcome outcome;
    bool running = false;
};
