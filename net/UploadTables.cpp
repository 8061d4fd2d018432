#include "net/UploadTables.h"

#include <QByteArray>

const QMap<int, QString> uploadStepTexts = {
    {1, QStringLiteral("\nСоединение с сервером %1 ...")},
    {2, QStringLiteral("\nАвторизация на удалённом хранилище пользователем %1 ...")},
    {3, QStringLiteral("\nОтправка файла %1 ...")},
    {4, QStringLiteral("\nФайл успешно отправлен ...")},
};

const QString loginPath = QStringLiteral("/web/login");

const QByteArray rpcTachoDddFileCreateBody = QByteArrayLiteral(
    R"({"jsonrpc":"2.0","method":"call","params":{"args":[{"file":"","name":""}],)"
    R"("model":"vorntacho.dddfile","method":"create","kwargs":{"context":{"lang":"ru_RU","tz":false}}},)"
    R"("id":12345678901})");

const QByteArray rpcDddFileCreateBody = QByteArrayLiteral(
    R"({"jsonrpc":"2.0","method":"call","params":{"args":[{"file":"","name":""}],)"
    R"("model":"vorn.dddfile","method":"create","kwargs":{"context":{"lang":"ru_RU","tz":false}}},)"
    R"("id":12345678901})");

const QByteArray rpcTachoDddFileReadBody = QByteArrayLiteral(
    R"({"jsonrpc":"2.0","method":"call","params":{"args":[[0],)"
    R"(["state","file","name","card_id","create_uid","create_date","message_follower_ids",)"
    R"("message_ids","display_name","double_id","fileviolation_ids"]],)"
    R"("model":"vorntacho.dddfile","method":"read","kwargs":{"context":{"lang":"ru_RU","tz":false}}},)"
    R"("id":12345678902})");

const QByteArray rpcDddFileReadBody = QByteArrayLiteral(
    R"({"jsonrpc":"2.0","method":"call","params":{"args":[[0],)"
    R"(["state","file","name","card_id","calibration_count","record_count","duplicate_count",)"
    R"("loaded_count","create_uid","create_date","cardcalibration_ids","message_follower_ids",)"
    R"("activity_ids","message_ids","display_name"]],)"
    R"("model":"vorn.dddfile","method":"read","kwargs":{"context":{"lang":"ru_RU","tz":false}}},)"
    R"("id":12345678902})");

const QByteArray rpcMessageFormatBody = QByteArrayLiteral(
    R"({"jsonrpc":"2.0","method":"call","params":{"args":[[11,10,9]],)"
    R"("model":"mail.message","method":"message_format",)"
    R"("kwargs":{"context":{"lang":"ru_RU","tz":false,"uid":1}}},"id":12345678903})");

const QString rpcTachoDddFileCreatePath = QStringLiteral("/web/dataset/call_kw/vorntacho.dddfile/create");
const QString rpcDddFileCreatePath = QStringLiteral("/web/dataset/call_kw/vorn.dddfile/create");
const QString rpcTachoDddFileReadPath = QStringLiteral("/web/dataset/call_kw/vorntacho.dddfile/read");
const QString rpcDddFileReadPath = QStringLiteral("/web/dataset/call_kw/vorn.dddfile/read");
const QString rpcMessageFormatPath = QStringLiteral("/web/dataset/call_kw/mail.message/message_format");
