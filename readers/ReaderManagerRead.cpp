// The read of a whole card into a .ddd file.

#include "readers/ReaderManager.h"

#include "config/Config.h"
#include "readers/CardReader.h"
#include "readers/SaveDddFile.h"

namespace {

const QString readingCard = QStringLiteral("%1: Чтение карты %2.");

} // namespace

void ReaderManager::on_ReadCard(const QString &reader_name, MultiProgressElement *element, SecretBytes PIN)
{
    // The file of an earlier read must never pass for this card's.
    if (config)
        config->setLastDddPath(QString());
    CardReader *reader = beginOperation(reader_name, element);
    if (!reader) {
        PIN.wipe();
        emit readFinished(QString());
        return;
    }
    emit logginMessage(0, readingCard.arg(reader_name, cardTitle(*reader)));
    beginCardWork(*reader);
    reader->chooseCard(reader->identifiedCard());
    nextStep(QStringLiteral("Чтение карты"), 2);
    setMessage(QStringLiteral("Подключение к карте тахографа"));
    QString saved;
    if (knowsCardType(*reader)) {
        const QMap<quint16, CardFileRecord> identity = reader->keepGeneralInfo();
        saved = readIntoFile(*reader, PIN);
        reader->restoreGeneralInfo(identity);
    }
    PIN.wipe();
    reader->card.pin.wipe();
    endCardWork(*reader);
    publish(*reader);
    emit showUpdatedCardInfo(reader_name);
    emit readFinished(saved);
}

// The card object keeps the PIN of a kind-1 card until the save is over: the
// save presents it again to write the download bookkeeping.
QString ReaderManager::readIntoFile(CardReader &reader, const SecretBytes &pin)
{
    TachographCard &card = reader.card;
    if (!reader.connectCard()) {
        setCurrentState(3, reader.connectFailureText(QStringLiteral("Не удалось подключиться к карте")));
        return QString();
    }
    if (card.cardKind == 1) {
        card.pin = pin;
        setMessage(QStringLiteral("Проверка ПИН-кода"));
        if (!card.verifyPin()) {
            setCurrentState(3, QStringLiteral("Не корректный ПИН-код"));
            reader.disconnectCard();
            return QString();
        }
        setMessage(QStringLiteral("ПИН-код принят"));
    }
    reader.progress = progress;
    const QMetaObject::Connection relay =
        connect(&card, &TachographCard::pogressMessage, this, &ReaderManager::on_ProgressMessage);
    const bool read = reader.readAllFiles();
    disconnect(relay);
    reader.disconnectCard();
    if (!read) {
        setCurrentState(3, reader.connectFailureText(QStringLiteral("Не удалось считать карту")));
        return QString();
    }
    setMessage(QStringLiteral("Обновляем сведения о карте"));
    reader.updateCardInfo();
    nextStep(QStringLiteral("Сохранение ddd-файла"), 2);
    return saveDddFile(reader);
}

QString ReaderManager::saveDddFile(CardReader &reader)
{
    if (!config) {
        setCurrentState(3, QStringLiteral("Не удалось сохранить ddd-файл"));
        return QString();
    }
    const LogLine log = [this](uchar type, const QString &msg) { emit logginMessage(type, msg); };
    switch (::saveDddFile(reader, *config, log)) {
    case DddSaveResult::Saved:
        setCurrentState(2, QStringLiteral("Карта успешно считана"));
        return config->lastDddPath();
    case DddSaveResult::SavedCountNotReset:
        // The reader has logged the warning.
        setCurrentState(2, QStringLiteral("Карта считана, счетчик калибровок не обнулен"));
        return config->lastDddPath();
    case DddSaveResult::NotSaved:
        break;
    }
    setCurrentState(3, reader.connectFailureText(QStringLiteral("Не удалось сохранить ddd-файл")));
    return QString();
}
