// The card's download bookkeeping, written once the read is over: the date
// of the last download and a workshop card's calibration count.

#include "readers/CardReader.h"

#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "readers/InterruptShield.h"
#include "readers/PendingRestore.h"
#include "readers/WriteTestValue.h"

#include <QDateTime>

namespace {

const QString failStamp = QStringLiteral("%1: Не удалось записать в карту тахографа дату последней выгрузки.");
const QString failStampWhy =
    QStringLiteral("%1: Не удалось записать в карту тахографа дату последней выгрузки: %2.");
const QString stampingLine = QStringLiteral(
    "%1: Чтение карты %2: в %3 записывается дата последней выгрузки %4. Прежняя дата: %5.");
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

bool CardReader::stampDownloadDate(DownloadStamp *stamp)
{
    CardFileRecord *record = card.readData.value(CardFileId::lastCardDownload);
    if (!record)
        return true;
    stamp->original = record->data;
    stamp->written = WriteTestValue::toBytes(quint32(QDateTime::currentSecsSinceEpoch()), 4);
    const bool wasSigned = !record->signature.isEmpty();
    const auto notStamped = [this](const QString &reason = QString()) {
        emit logginMessage(2, reason.isEmpty() ? failStamp.arg(readerName) : failStampWhy.arg(readerName, reason));
        return false;
    };
    if (!openCardAsRead())
        return notStamped();
    if (!card.selectEF(CardFileId::lastCardDownload)) {
        disconnectCard();
        return notStamped();
    }
    // The card says it was downloaded only with word of it on disk first.
    PendingRestore pending(*this, card.cardNumber());
    QByteArray own;
    if (!pending.ownBytes(CardFileId::lastCardDownload, stamp->original, &own)) {
        disconnectCard();
        return notStamped(pending.failure());
    }
    const QString line = stampingLine.arg(readerName, card.cardNumber(), pending.fileText(CardFileId::lastCardDownload),
                                          pending.valueText(CardFileId::lastCardDownload, stamp->written),
                                          pending.valueText(CardFileId::lastCardDownload, own));
    if (!pending.hold(CardFileId::lastCardDownload, own, stamp->written, PendingRestore::Writer::Read, line,
                      stamp->dddFile)) {
        disconnectCard();
        return notStamped(pending.failure());
    }
    if (!card.updateBinary(qint32(WriteTestValue::fromBytes(stamp->written)))) {
        // Without its answer the card may count itself downloaded all the
        // same: the old date goes back, and its line tells how that went.
        const bool mayHoldDate = card.answerLost();
        disconnectCard();
        if (mayHoldDate) {
            restoreDownloadDate(*stamp);
            return false;
        }
        pending.withdraw(CardFileId::lastCardDownload, stamp->written);
        return notStamped();
    }
    // The image must hold the date just written, signed like any other file.
    const bool read = card.readCurrentEf(record->efIndex, record->layoutKey)
        && (!wasSigned || (card.performHash() && card.computeSignature()));
    disconnectCard();
    if (!read) {
        restoreDownloadDate(*stamp);
        return notStamped();
    }
    return true;
}

bool CardReader::restoreDownloadDate(const DownloadStamp &stamp)
{
    const InterruptShield shield(*this);
    bool restored = openCardAsRead();
    if (restored) {
        restored = card.selectEF(CardFileId::lastCardDownload)
            && card.updateBinary(qint32(WriteTestValue::fromBytes(stamp.original)));
        disconnectCard();
    }
    if (!restored) {
        emit logginMessage(2, failDateRestore.arg(readerName, dateText(stamp.original),
                                                  QString::fromLatin1(stamp.original.toHex().toUpper())));
        return false;
    }
    PendingRestore(*this, card.cardNumber()).withdraw(CardFileId::lastCardDownload, stamp.written);
    if (CardFileRecord *record = card.readData.value(CardFileId::lastCardDownload)) {
        record->data = stamp.original;
        record->decode();
    }
    emit logginMessage(1, dateRestored.arg(readerName, dateText(stamp.original)));
    return true;
}

// Where the entry cannot go now, the saved file it names ends it at the
// next look.
void CardReader::keepDownloadDate()
{
    PendingRestore(*this, card.cardNumber()).release(CardFileId::lastCardDownload);
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

// The card was out of our hands since the read: the connect makes sure it
// is the card read. Left disconnected when false.
bool CardReader::openCardAsRead()
{
    if (!connectCard())
        return false;
    if (selectApplication(true))
        return true;
    disconnectCard();
    return false;
}
