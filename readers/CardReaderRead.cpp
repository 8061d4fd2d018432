// The read of a whole card and its .ddd image.

#include "readers/CardReader.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "card/CardKindParams.h"
#include "readers/DddFileName.h"
#include "ui/services/MultiProgressElement.h"

#include <QDateTime>

namespace {

const QString reading = QStringLiteral("Считывается %1");
const QString unsignedFile = QStringLiteral("%1: Файл %2 сохраняется без ЭП: карта вида %3 не подписывает файлы.");
const QString noKnownFiles =
    QStringLiteral("%1: Тип карты не определен, её файлы неизвестны. Чтение карты невозможно.");

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

bool CardReader::knowsCardType() const
{
    return card.cardType != 0 && !card.cardTypeName().isEmpty();
}

bool CardReader::identifyIfUnknown()
{
    if (knowsCardType() && !m_identified.number.isEmpty())
        return true;
    readGeneralInfo();
    if (knowsCardType())
        return true;
    if (!cardOutOfReach())
        emit logginMessage(2, noKnownFiles.arg(readerName));
    return false;
}

bool CardReader::readAllFiles()
{
    card.clearReadData();
    const QVector<CardAppLayout> &rows = CardDictionary::efDescriptors();
    if (rows.isEmpty() || interrupted)
        return true;
    // A card of no known type would otherwise "succeed" with no file to save.
    if (!knowsCardType()) {
        card.result.setNote(2, noKnownFiles.arg(readerName));
        emit logginMessage(2, noKnownFiles.arg(readerName));
        return false;
    }
    for (int index = 0; index < rows.size(); ++index) {
        quint16 key = 0;
        if (!CardDictionary::layoutKey(rows.at(index), card.cardKind, card.cardType, key))
            continue;
        if (!readWholeFile(quint8(index), key))
            return false;
        if (interrupted)
            return true;
    }
    return true;
}

bool CardReader::readWholeFile(quint8 index, quint16 key)
{
    const CardAppLayout &row = CardDictionary::efDescriptors().at(index);
    if (progress)
        showProgress(reading.arg(row.name));
    if (row.inTachoDF) {
        if (!card.dfSelected && !selectApplication(true))
            return false;
    } else if (card.dfSelected && !returnToMasterFile()) {
        return false;
    }
    if (!card.selectEF(row.fid) || !card.readCurrentEf(index, key))
        return false;
    return !row.signedFile || signCurrentFile(row.name);
}

// A card of unknown kind has no signature parameters: its files are saved
// unsigned rather than not at all.
bool CardReader::signCurrentFile(const QString &name)
{
    if (CardDictionary::cardKindParams().value(card.cardKind).signatureLength == 0) {
        emit logginMessage(1, unsignedFile.arg(readerName, name, card.cardKindName()));
        return true;
    }
    return card.performHash() && card.computeSignature();
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
