#pragma once

#include <QMap>
#include <QString>

// Texts of the upload's progress and log, by step number.
extern const QMap<int, QString> uploadStepTexts;

// Login form of both web services.
extern const QString loginPath;

// JSON-RPC request templates, stored compact; only their "args" are filled in.
extern const QByteArray rpcTachoDddFileCreateBody;
extern const QByteArray rpcDddFileCreateBody;
extern const QByteArray rpcTachoDddFileReadBody;
extern const QByteArray rpcDddFileReadBody;
extern const QByteArray rpcMessageFormatBody;

// Call paths of the templates above.
extern const QString rpcTachoDddFileCreatePath;
extern const QString rpcDddFileCreatePath;
extern const QString rpcTachoDddFileReadPath;
extern const QString rpcDddFileReadPath;
extern const QString rpcMessageFormatPath;
