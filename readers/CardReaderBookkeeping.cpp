// The card's download bookkeeping, written once the read is over: the date
// of the last download and a workshop card's calibration count.

#include "readers/CardReader.h"

#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "readers/InterruptShield.h"
#include "readers/WriteTestValue.h"

#include <QDateTime>

namespace {

const QString failStamp = QStringLiteral("%1: Не удалось записать в карту тахографа дату последней выгрузки.");
const QString failCalibrationReset =
    QStringLiteral("%1: Не удалось обнулить счетчик калибровок карты тахографа.");
const QString dateRestored =
    QStringLiteral("%1: Карте тахографа возвращена прежняя дата последней выгрузки: %2.");
const QString failDateRestore = QStringLiteral(
    "%1: Не удалось вернуть карте тахографа прежнюю дату последней выгрузки: %2 (%3). "
    "Карта считает себя выгруженной, хотя ddd-файл не сохранен.");

QString dateText(const QByteArray &bytes)
{
    return QDateTime::fromSecsSinceEpoch(WriteTestValue::fromBytes(bytes), Qt::UTC)
        .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss 'UTC'"));
}

} // namespace

bool CardReader::stampDownloadDate(QByteArray *original)
{
    CardFileRecord *record = card.readData.value(CardFileId::lastCardDownload);
    if (!record)
        return true;
    *original = record->data;
    const bool wasSigned = !record->signature.isEmpty();
    const auto notStamped = [this] {
        emit logginMessage(2, failStamp.arg(readerName));
        return false;
    };
    if (!openCardAsRead())
        return notStamped();
    if (!card.selectEF(CardFileId::lastCardDownload)) {
        disconnectCard();
        return notStamped();
    }
    if (!card.updateBinary(qint32(QDateTime::currentSecsSinceEpoch()))) {
        // Without its answer the card may count itself downloaded all the
        // same: the old date goes back, and its line tells how that went.
        const bool mayHoldDate = card.answerLost();
        disconnectCard();
        if (!mayHoldDate)
            return notStamped();
        restoreDownloadDate(*original);
        return false;
    }
    // The image must hold the date just written, signed like any other file.
    const bool read = card.readCurrentEf(record->efIndex, record->layoutKey)
        && (!wasSigned || (card.performHash() && card.computeSignature()));
    disconnectCard();
    if (!read) {
        restoreDownloadDate(*original);
        return notStamped();
    }
    return true;
}

bool CardReader::restoreDownloadDate(const QByteArray &original)
{
    const InterruptShield shield(*this);
    bool restored = openCardAsRead();
    if (restored) {
        restored = card.selectEF(CardFileId::lastCardDownload)
            && card.updateBinary(qint32(WriteTestValue::fromBytes(original)));
        disconnectCard();
    }
    if (!restored) {
        emit logginMessage(2, failDateRestore.arg(readerName, dateText(original),
                                                  QString::fromLatin1(original.toHex().toUpper())));
        return false;
    }
    if (CardFileRecord *record = card.readData.value(CardFileId::lastCardDownload)) {
        record->data = original;
        record->decode();
    }
    emit logginMessage(1, dateRestored.arg(readerName, dateText(original)));
    return true;
}

bool CardReader::resetCalibrationCount()
{
    if (!card.readData.contains(CardFileId::calibrationsSinceDownload))
        return true;
    bool reset = openCardAsRead();
    if (reset) {
        reset = card.selectEF(CardFileId::calibrationsSinceDownload) && card.updateBinary(0);
        disconnectCard();
    }
    if (!reset)
        emit logginMessage(1, failCalibrationReset.arg(readerName));
    return reset;
}

// The card was out of our hands since the read: never write to another
// card that took its place. Left disconnected when false.
bool CardReader::openCardAsRead()
{
    if (!connectCard())
        return false;
    if (sameCardAsRead() && selectApplication(true))
        return true;
    disconnectCard();
    return false;
}

bool CardReader::sameCardAsRead()
{
    const CardFileRecord *record = card.readData.value(CardFileId::icc);
    QByteArray bytes;
    return record && card.selectEF(CardFileId::icc) && card.readBinary(0, quint16(record->data.size()), &bytes)
        && bytes == record->data;
}
