// The diagnosis of a card.

#include "readers/ReaderManager.h"

#include "readers/CardReader.h"

namespace {

const QString checking = QStringLiteral("%1: Диагностирование карты %2.");
const QString checked = QStringLiteral("%1: Завершено диагностирование карты %2.");

} // namespace

void ReaderManager::on_CheckCard(const QString &reader_name, MultiProgressElement *element, SecretBytes PIN)
{
    CardReader *reader = beginOperation(reader_name, element);
    if (!reader) {
        PIN.wipe();
        emit checkFinished();
        return;
    }
    beginCardWork(*reader);
    setMessage(QStringLiteral("Проверка выполенния команд"));
    emit logginMessage(0, checking.arg(reader_name, cardTitle(*reader)));
    reader->progress = element;
    const QMetaObject::Connection relay =
        connect(&reader->card, &TachographCard::pogressMessage, this, &ReaderManager::on_ProgressMessage);
    const QMap<quint16, CardFileRecord> identity = reader->keepGeneralInfo();
    reader->checkCard(PIN, [this, reader] { endCardWork(*reader); });
    reader->restoreGeneralInfo(identity);
    disconnect(relay);
    PIN.wipe();
    reader->card.pin.wipe();
    setMessage(QStringLiteral("Обновляем сведения о карте"));
    reader->updateCardInfo();
    publish(*reader);
    emit logginMessage(0, checked.arg(reader_name, cardTitle(*reader)));
    emit showUpdatedCardInfo(reader_name);
    emit checkFinished();
}
