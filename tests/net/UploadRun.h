#pragma once

#include "UploadProgressRow.h"
#include "net/Sender.h"

#include <QString>
#include <QVector>

struct LogLine
{
    int type = 0;
    QString text;
};

// A sender with the upload page's progress row and a record of its log.
class UploadRun
{
public:
    explicit UploadRun();

    // Starts an upload as the main window does.
    void start(quint8 service, const QString& server, const QString& file, const QString& login = "driver",
               const QString& password = "secret");
    // Waits until no reply is pending; false when the upload never ended.
    bool waitForEnd();
    bool upload(quint8 service, const QString& server, const QString& file, const QString& login = "driver",
                const QString& password = "secret");

    QStringList logTexts() const;

    Sender sender;
    UploadProgressRow row;
    QVector<LogLine> log;
};
