// The diagnosis of a card.

#include "readers/ReaderManager.h"

#include "readers/CardReader.h"

namespace {

const QString checkingLine = QStringLiteral("%1: Диагностирование карты %2.");
const QString checkedLine = QStringLiteral("%1: Завершено диагностирование карты %2.");

} // namespace

void ReaderManager::on_CheckCard(const QString &reader_name, MultiProgressElement *element, SecretBytes PIN)
{
    CardReader *reader = beginOperation(reader_name, element);
    if (!reader) {
        PIN.wipe();
        emit checkFinished(false);
        return;
    }
    beginCardWork(*reader);
    reader->chooseCard(reader->identifiedCard());
    if (!knowsCardType(*reader)) {
        PIN.wipe();
        endCardWork(*reader);
        publish(*reader);
        emit showUpdatedCardInfo(reader_name);
        emit checkFinished(false);
        return;
    }
    setMessage(QStringLiteral("Проверка выполенния команд"));
    emit logginMessage(0, checkingLine.arg(reader_name, cardTitle(*reader)));
    const QMetaObject::Connection relay =
        connect(&reader->card, &TachographCard::pogressMessage, this, &ReaderManager::on_ProgressMessage);
    const QMap<quint16, CardFileRecord> identity = reader->keepGeneralInfo();
    const bool checked = reader->checkCard(PIN, [this, reader] { endCardWork(*reader); });
    reader->restoreGeneralInfo(identity);
    disconnect(relay);
    PIN.wipe();
    reader->card.pin.wipe();
    // A refused diagnosis keeps its reason in view.
    if (checked)
        setMessage(QStringLiteral("Обновляем сведения о карте"));
    reader->updateCardInfo();
    publish(*reader);
    if (checked)
        emit logginMessage(0, checkedLine.arg(reader_name, cardTitle(*reader)));
    emit showUpdatedCardInfo(reader_name);
    emit checkFinished(checked);
}
