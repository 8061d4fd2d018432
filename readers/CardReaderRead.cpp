// The read of a whole card, its .ddd image and the bookkeeping of downloads.

#include "readers/CardReader.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "readers/DddFileName.h"
#include "ui/services/MultiProgressElement.h"

#include <QDateTime>

namespace {

const QString reading = QStringLiteral("Считывается %1");
const QString failCalibrationReset =
    QStringLiteral("%1: Не удалось обнулить счетчик калибровок карты тахографа.");

void appendBlock(QByteArray &image, quint16 fid, quint8 tag, const QByteArray &bytes)
{
    image.append(char(fid >> 8));
    image.append(char(fid & 0xFF));
    image.append(char(tag));
    image.append(char((bytes.size() >> 8) & 0xFF));
    image.append(char(bytes.size() & 0xFF));
    image.append(bytes);
}

} // namespace

bool CardReader::readAllFiles()
{
    card.clearReadData();
    const QVector<CardAppLayout> &rows = CardDictionary::efDescriptors();
    if (rows.isEmpty() || interrupted)
        return true;

    // The last-download time is written only once everything else has been
    // read, so a read that fails on the way leaves the card's date alone.
    int downloadIndex = -1;
    quint16 downloadKey = 0;
    for (int index = 0; index < rows.size(); ++index) {
        const CardAppLayout &row = rows.at(index);
        quint16 key = 0;
        if (!CardDictionary::layoutKey(row, card.cardKind, card.cardType, key))
            continue;
        if (row.fid == CardFileId::lastCardDownload) {
            downloadIndex = index;
            downloadKey = key;
            continue;
        }
        if (!readWholeFile(quint8(index), key))
            return false;
        if (interrupted)
            return true;
    }
    if (downloadIndex < 0 || interrupted)
        return true;
    return readWholeFile(quint8(downloadIndex), downloadKey);
}

bool CardReader::readWholeFile(quint8 index, quint16 key)
{
    const CardAppLayout &row = CardDictionary::efDescriptors().at(index);
    showProgress(reading.arg(row.name));
    if (row.inTachoDF) {
        if (!card.dfSelected && !selectApplication(true))
            return false;
    } else if (card.dfSelected && (!disconnectCard() || !connectCard())) {
        return false;
    }
    if (!card.selectEF(row.fid))
        return false;
    if (row.fid == CardFileId::lastCardDownload && !card.updateBinary(qint32(QDateTime::currentSecsSinceEpoch())))
        return false;
    if (!card.readCurrentEf(index, key))
        return false;
    return !row.signedFile || (card.performHash() && card.computeSignature());
}

bool CardReader::selectApplication(bool presentPin)
{
    if (!card.selectDF())
        return false;
    return !presentPin || card.cardKind != 1 || card.verifyPin();
}

void CardReader::showProgress(const QString &text)
{
    if (progress)
        progress->setMessage(text);
}

QByteArray CardReader::buildDddImage()
{
    pcscResult.reset();
    QByteArray image;
    for (const quint16 fid : CardDictionary::dddFileOrder()) {
        const CardFileRecord *record = card.readData.value(fid);
        if (!record)
            continue;
        appendBlock(image, fid, 0x00, record->data);
        if (interrupted)
            return QByteArray();
        if (!record->signature.isEmpty())
            appendBlock(image, fid, record->signatureTag, record->signature);
    }
    return image;
}

QString CardReader::dddFileName()
{
    CardFileRecord *record = card.readData.value(CardFileId::identification);
    if (!record)
        return DddFileName::noName();
    if (!record->fields.contains(QStringLiteral("cardNumber")))
        record->decode();
    const QString number = record->fields.value(QStringLiteral("cardNumber")).value.toString();
    return DddFileName::forCard(card.cardKindName(), number, QDateTime::currentDateTime());
}

bool CardReader::resetCalibrationCount()
{
    if (!card.readData.contains(CardFileId::calibrationsSinceDownload))
        return true;
    if (!connectCard()) {
        emit logginMessage(1, failCalibrationReset.arg(readerName));
        return false;
    }
    // The card was out of our hands since the read: never zero the count of
    // another workshop card that took its place.
    const bool reset = sameCardAsRead() && selectApplication(true) && card.selectEF(CardFileId::calibrationsSinceDownload)
        && card.updateBinary(0);
    disconnectCard();
    if (!reset)
        emit logginMessage(1, failCalibrationReset.arg(readerName));
    return reset;
}

bool CardReader::sameCardAsRead()
{
    const CardFileRecord *record = card.readData.value(CardFileId::icc);
    QByteArray bytes;
    return record && card.selectEF(CardFileId::icc) && card.readBinary(0, quint16(record->data.size()), &bytes)
        && bytes == record->data;
}
