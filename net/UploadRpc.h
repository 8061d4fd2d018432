#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// JSON-RPC bodies of the upload, built from the stored templates, and the
// reading of the services' replies.
namespace UploadRpc {

// The template's "args", or false when the template holds no such array.
bool templateArgs(const QByteArray& rpcTemplate, QJsonArray* args);

// The template with its "args" replaced, serialised in indented form.
QByteArray withArgs(const QByteArray& rpcTemplate, const QJsonArray& args);

// The create template with the file's base64 text and name in its one
// argument; empty when the template holds no argument.
QByteArray createBody(const QByteArray& rpcTemplate, const QByteArray& file, const QString& fileName);

// The reply as a JSON object; anything else gives an empty object.
QJsonObject replyObject(const QByteArray& body);

// The error object's code as the texts show it: plain digits up to six
// places, exponent form beyond.
QString errorCode(const QJsonObject& error);

// A record number the service returned; 0 when it is not a positive integer.
int recordNumber(const QJsonValue& result);

}
