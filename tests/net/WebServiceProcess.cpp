#include "WebServiceProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

WebServiceProcess::WebServiceProcess(const QStringList& options)
    : options(options)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

WebServiceProcess::~WebServiceProcess()
{
    // The double ends when its input closes.
    process.closeWriteChannel();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
    }
}

bool WebServiceProcess::start()
{
    const QString program = qEnvironmentVariable("DRVP_TOOLS_DIR") + "/webservice";
    process.start(program, QStringList{"--dir", dir.path()} + options);
    if (!process.waitForStarted(10000))
        return false;
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(10000))
            return false;
    }
    const QByteArray line = process.readLine().trimmed();
    if (!line.startsWith("PORT "))
        return false;
    port = quint16(line.mid(5).toUInt());
    return port != 0;
}

QString WebServiceProcess::url() const
{
    const QString scheme = options.contains("--cert") ? "https" : "http";
    return QString("%1://127.0.0.1:%2").arg(scheme).arg(port);
}

QVector<RecordedRequest> WebServiceProcess::requests() const
{
    QVector<RecordedRequest> list;
    QFile file(QDir(dir.path()).filePath("requests.jsonl"));
    if (!file.open(QIODevice::ReadOnly))
        return list;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        RecordedRequest request;
        request.method = entry.value("method").toString();
        request.path = entry.value("path").toString();
        const QJsonArray headers = entry.value("headers").toArray();
        for (const QJsonValue& header : headers) {
            const QJsonArray pair = header.toArray();
            request.headers.append(qMakePair(pair.at(0).toString().toLatin1(), pair.at(1).toString().toLatin1()));
        }
        request.body = QByteArray::fromBase64(entry.value("body").toString().toLatin1());
        list.append(request);
    }
    return list;
}

QByteArray WebServiceProcess::uploaded(const QString& name) const
{
    QFile file(QDir(dir.path()).filePath("uploads/" + name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}
