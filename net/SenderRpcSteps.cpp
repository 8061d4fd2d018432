// The JSON-RPC part of an upload: create the record, read how the service
// processed it, and fetch the service's messages after a failed processing.

#include "net/Sender.h"

#include "card/TextExcerpt.h"
#include "net/UploadRpc.h"
#include "net/UploadTables.h"
#include "ui/services/MultiProgressElement.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>

#include <utility>

namespace {

const QString sendFailedText = QStringLiteral("Ошибка отправки ddd-файла");
const QString formatChangedText = QStringLiteral("Изменения формата обмена данными на сервера.");
const QString badNumberText = QStringLiteral(
    "В ответе сервера некорректный номер созданной записи. Убедитесь в наличии файла в удалённом хранилище.");
const QString noNumberText = QStringLiteral(
    "В ответе сервера отсутствует номер созданной записи. Убедитесь в наличии файла в удалённом хранилище.");
const QString noResultText = QStringLiteral(
    "В ответе сервера отсутствует результат обработки DDD файла. Убедитесь в наличии файла в удалённом хранилище.");
const QString warningPrefix = QStringLiteral("\nПредупреждение: ");

// A service's texts reach the page and the log as their start and their
// length when long: a reply may hold megabytes of one text.
QString serviceText(const QJsonValue& value)
{
    return textExcerpt(value.toString());
}

QString codeAndMessage(const QJsonObject& error)
{
    return QStringLiteral("Код - ") + UploadRpc::errorCode(error) + QStringLiteral(". ")
         + serviceText(error.value("message"));
}

}

void Sender::step04PostDDD()
{
    if (progress)
        progress->nextStep(QStringLiteral("Отправка ddd-файла"), 2);

    const QByteArray& rpcTemplate = service == 1 ? rpcTachoDddFileCreateBody : rpcDddFileCreateBody;
    QJsonArray args;
    if (!UploadRpc::templateArgs(rpcTemplate, &args)) {
        show(3, sendFailedText);
        log(2, QStringLiteral("\nОшибка.Изменения формата обмена данными на сервере..."));
        return;
    }
    if (args.isEmpty()) {
        show(3, sendFailedText);
        log(2, QStringLiteral("\nОшибка. Изменения в количестве данных в формате обмена на сервере..."));
        return;
    }
    // Built with the file when it was read.
    const QByteArray body = std::exchange(createBody, QByteArray());
    log(0, uploadStepTexts.value(3).arg(QFileInfo(filePath).fileName()));
    postRpc(service == 1 ? rpcTachoDddFileCreatePath : rpcDddFileCreatePath, body, &Sender::finishPostDDD);
}

void Sender::finishPostDDD()
{
    const Answer answer = takeAnswer();
    if (answer.failed) {
        qDebug() << "Error " << answer.errorText;
        show(3, sendFailedText);
        log(2, QStringLiteral("\nОшибка:") + answer.errorText);
        return;
    }
    const QJsonObject reply = UploadRpc::replyObject(answer.body);
    qDebug() << "Response finishPostDDD" << QJsonDocument(reply);

    if (reply.contains("error")) {
        const QJsonObject error = reply.value("error").toObject();
        show(3, codeAndMessage(error));
        QString logged = serviceText(error.value("message"));
        const QJsonObject data = error.value("data").toObject();
        if (data.contains("arguments"))
            logged += " " + textExcerpt(QString::fromUtf8(QJsonDocument(data.value("arguments").toArray()).toJson()));
        log(2, QStringLiteral("\nКод ошибки - ") + UploadRpc::errorCode(error) + ". " + logged);
        return;
    }
    if (!reply.contains("result")) {
        show(2, noNumberText);
        log(1, warningPrefix + noNumberText);
        return;
    }
    // Record 0 does not exist: a result that is no positive integer is as
    // unusable as a negative one.
    const int record = UploadRpc::recordNumber(reply.value("result"));
    if (record == 0) {
        show(2, badNumberText);
        log(1, warningPrefix + badNumberText);
        return;
    }

    const QByteArray& rpcTemplate = service == 1 ? rpcTachoDddFileReadBody : rpcDddFileReadBody;
    QJsonArray args;
    if (!UploadRpc::templateArgs(rpcTemplate, &args)) {
        show(3, formatChangedText);
        log(2, QStringLiteral("\nОшибка.Изменения формата обмена данными на сервера..."));
        return;
    }
    QJsonArray ids = args.at(0).toArray();
    ids.replace(0, record);
    args.removeAt(0);
    args.insert(0, ids);

    const QString path = service == 1 ? rpcTachoDddFileReadPath : rpcDddFileReadPath;
    const QByteArray body = UploadRpc::withArgs(rpcTemplate, args);
    qDebug() << "Request DDD_READ" << path << QJsonDocument::fromJson(body);
    postRpc(path, body, &Sender::finishDDDForm);
}

void Sender::finishDDDForm()
{
    const Answer answer = takeAnswer();
    if (answer.failed) {
        show(3, answer.errorText);
        log(2, QStringLiteral("\nОшибка:") + answer.errorText);
        return;
    }
    const QJsonObject reply = UploadRpc::replyObject(answer.body);
    qDebug() << "Response finishDDDForm" << QJsonDocument(reply);

    if (reply.contains("error")) {
        const QString text = codeAndMessage(reply.value("error").toObject());
        show(3, text);
        log(2, QStringLiteral("\nОшибка: ") + text);
        return;
    }
    const QJsonArray result = reply.value("result").toArray();
    if (result.isEmpty()) {
        show(2, noResultText);
        log(1, warningPrefix + noResultText);
        return;
    }
    const QJsonObject record = result.at(0).toObject();
    if (record.value("state").toString() != QLatin1String("error")) {
        const QString text = uploadStepTexts.value(4);
        show(2, text);
        log(0, text);
        return;
    }
    show(3, QStringLiteral("Файл получен, однако при его обработке возникла ошибка."));
    log(2, QStringLiteral("\nФайл получен, однако при его обработке возникла ошибка. "
                          "Детальная информация указана в интерфейсе удалённого хранилища."));
    const QJsonValue messageIds = record.value("message_ids");
    if (!messageIds.isArray())
        return;
    QVector<int> ids;
    const QJsonArray idArray = messageIds.toArray();
    for (const QJsonValue& id : idArray)
        ids.append(id.toInt(0));
    step07GetMessages(ids);
}

void Sender::step07GetMessages(QVector<int> ids)
{
    QJsonArray args;
    if (!UploadRpc::templateArgs(rpcMessageFormatBody, &args)) {
        show(3, formatChangedText);
        log(2, QStringLiteral("\nОшибка.Изменения формата обмена данными на сервере..."));
        return;
    }
    QJsonArray idArray;
    for (int id : qAsConst(ids))
        idArray.append(id);
    args.removeAt(0);
    args.insert(0, idArray);
    postRpc(rpcMessageFormatPath, UploadRpc::withArgs(rpcMessageFormatBody, args), &Sender::finishMessages);
}

void Sender::finishMessages()
{
    const Answer answer = takeAnswer();
    show(2, QStringLiteral("Файл отправлен"));
    log(0, QStringLiteral("\nФайл отправлен."));
    if (answer.failed) {
        log(2, QStringLiteral("\nОшибка:") + answer.errorText);
        return;
    }
    const QJsonArray result = UploadRpc::replyObject(answer.body).value("result").toArray();
    if (result.isEmpty()) {
        show(2, QStringLiteral("Неполный ответ сервера"));
        log(1, QStringLiteral("\nПредупреждение: В ответе сервера отсутствует информация о результате "
                              "обработки DDD файла."));
        return;
    }
    show(2, QStringLiteral("Ответ сервера получен"));
    log(0, "\n" + serviceText(result.at(0).toObject().value("body")));
}
