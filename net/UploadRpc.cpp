#include "net/UploadRpc.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace UploadRpc {

bool templateArgs(const QByteArray& rpcTemplate, QJsonArray* args)
{
    const QJsonValue value = QJsonDocument::fromJson(rpcTemplate).object().value("params").toObject().value("args");
    if (!value.isArray())
        return false;
    *args = value.toArray();
    return true;
}

QByteArray withArgs(const QByteArray& rpcTemplate, const QJsonArray& args)
{
    QJsonObject request = QJsonDocument::fromJson(rpcTemplate).object();
    QJsonObject params = request.value("params").toObject();
    params.insert("args", args);
    request.insert("params", params);
    return QJsonDocument(request).toJson();
}

QByteArray createBody(const QByteArray& rpcTemplate, const QByteArray& file, const QString& fileName)
{
    QJsonArray args;
    if (!templateArgs(rpcTemplate, &args) || args.isEmpty())
        return QByteArray();
    QJsonObject fields = args.at(0).toObject();
    fields.insert("file", QString::fromLatin1(file.toBase64()));
    fields.insert("name", fileName);
    args.removeAt(0);
    args.append(fields);
    return withArgs(rpcTemplate, args);
}

QJsonObject replyObject(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).object();
}

QString errorCode(const QJsonObject& error)
{
    return QString::number(error.value("code").toDouble(0), 'g', 6);
}

int recordNumber(const QJsonValue& result)
{
    if (!result.isDouble())
        return 0;
    const double number = result.toDouble();
    if (number < 1 || number > std::numeric_limits<int>::max() || std::floor(number) != number)
        return 0;
    return int(number);
}

}
