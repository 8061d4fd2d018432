#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

// One request as the double recorded it: "line", "headers" by lower-case name, "body".
struct WebRequest : QJsonObject
{
    QByteArray header(const QString &name) const { return value("headers")[name].toString().toLatin1(); }
    QByteArray body() const { return QByteArray::fromBase64(value("body").toString().toLatin1()); }
    QJsonObject json() const { return QJsonDocument::fromJson(body()).object(); }
};

// The web-service double (tools/webservice) as a child process on 127.0.0.1
// with a work folder of its own, where it records every request and stores
// every uploaded file under its name; it ends when its input closes.
class WebServiceProcess
{
public:
    explicit WebServiceProcess(const QStringList &options = {})
        : https(options.contains("--cert"))
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + "/webservice",
                      QStringList{"--dir", dir.path()} + options);
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

    WebServiceProcess(const WebServiceProcess &) = delete;
    WebServiceProcess &operator=(const WebServiceProcess &) = delete;

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    QString url() const { return QString("%1://%2").arg(https ? "https" : "http", host()); }

    QVector<WebRequest> requests() const
    {
        QVector<WebRequest> list;
        QFile file(dir.filePath("requests.jsonl"));
        for (const QByteArray &line : file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList()) {
            if (!line.isEmpty())
                list.append(WebRequest{QJsonDocument::fromJson(line).object()});
        }
        return list;
    }

    QStringList uploadedNames() const { return QDir(dir.filePath("uploads")).entryList(QDir::Files); }

    // The bytes the double stored under that name, or a null array.
    QByteArray uploaded(const QString &name) const
    {
        QFile file(dir.filePath("uploads/" + name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    quint16 port = 0;

private:
    bool https;
    QTemporaryDir dir;
    QProcess process;
};
