#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The web-service double over plain HTTP; it records every request and
// stores every uploaded file under its name.
class WebServiceProcess
{
public:
    WebServiceProcess()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + "/webservice", {"--dir", dir.path()});
        while (!process.canReadLine() && process.waitForReadyRead(10000)) {
        }
        const QByteArray line = process.readLine().trimmed();
        if (line.startsWith("PORT "))
            port = line.mid(5).toUShort();
    }

    ~WebServiceProcess()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(10000);
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(port); }

    int requestCount() const
    {
        QFile file(dir.filePath("requests.jsonl"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    }

    QStringList uploadedNames() const { return QDir(dir.filePath("uploads")).entryList(QDir::Files); }

    QByteArray uploaded(const QString& name) const
    {
        QFile file(dir.filePath("uploads/" + name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    quint16 port = 0;

private:
    QTemporaryDir dir;
    QProcess process;
};
