#include "card/CardFileRecord.h"

#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFieldLayout.h"
#include "card/CardFileLayout.h"
#include "card/CardTextCodecs.h"

#include <QDate>
#include <QDateTime>
#include <QTextCodec>

namespace {

const int recordSize = 24;
const int recordBlocks = 6;

// Big-endian number of the first `width` bytes; fewer bytes count as if
// padded with 0x00 on the left.
quint32 bigEndian(const QByteArray& bytes, int width)
{
    quint32 value = 0;
    const int used = qMin(width, bytes.size());
    for (int i = 0; i < used; ++i)
        value = (value << 8) | quint8(bytes.at(i));
    return value;
}

QString decodeWith(QTextCodec* codec, const QByteArray& bytes)
{
    // A Qt build without the codec is reported at start-up; Latin-1 at least
    // keeps the ASCII part of the text readable.
    return codec ? codec->toUnicode(bytes) : QString::fromLatin1(bytes);
}

} // namespace

const QMap<QString, CardFileRecord::ValueDecoder>& CardFileRecord::valueDecoders()
{
    static const QMap<QString, ValueDecoder>& decoders = *new QMap<QString, ValueDecoder>{
        {QStringLiteral("UInt8"), &CardFileRecord::decodeUInt8},
        {QStringLiteral("UInt16"), &CardFileRecord::decodeUInt16},
        {QStringLiteral("UInt32"), &CardFileRecord::decodeUInt32},
        {QStringLiteral("String"), &CardFileRecord::decodeString},
        {QStringLiteral("HexString"), &CardFileRecord::decodeHexString},
        {QStringLiteral("BCD"), &CardFileRecord::decodeBcd},
        {QStringLiteral("UnixDateTimeUTC"), &CardFileRecord::decodeUnixTime},
        {QStringLiteral("UnixDateUTC"), &CardFileRecord::decodeUnixTime},
        {QStringLiteral("CardExtendedSerialNumber"), &CardFileRecord::decodeExtendedSerialNumber},
        {QStringLiteral("CardEventData"), &CardFileRecord::decodeCardEventData},
        {QStringLiteral("CardFaultData"), &CardFileRecord::decodeCardFaultData},
        {QStringLiteral("StringDate"), &CardFileRecord::decodeStringDate},
    };
    return decoders;
}

namespace {

// Built before main() and never destroyed: the worker threads read the table
// up to the end of the process, also while an exit() destroys static objects.
[[maybe_unused]] const bool tableBuilt = (CardFileRecord::valueDecoders(), true);

} // namespace

bool CardFileRecord::decode()
{
    fields.clear();
    recordLists.clear();
    if (data.isEmpty())
        return true;

    const CardFileLayout layout = CardDictionary::fileLayout(efIndex, layoutKey);
    int offset = 0;
    for (const CardFieldLayout& field : layout.fields) {
        const int size = fieldSize(field);
        CardDataElement element;
        if (decodeElement(field, data.mid(offset, size), element))
            fields.insert(field.name, element);
        offset += size;
    }

    if (fid == CardFileId::icc) {
        // The crypto-module number overlaps the approval number and the
        // fields after it.
        const CardFieldLayout skzi = {QStringLiteral("SKZINumber"), 15, 15, QStringLiteral("String")};
        CardDataElement element;
        decodeElement(skzi, data.mid(9, 15), element);
        fields.insert(skzi.name, element);
    }
    return true;
}

int CardFileRecord::fieldSize(const CardFieldLayout& field) const
{
    if (field.minSize == field.maxSize)
        return field.maxSize;
    // Counted in ints: a count that does not fit the file must not wrap
    // round to a small size.
    const int n = count;
    switch (fid) {
    case 0x0502: return n * 144;
    case 0x0503: return n * 48;
    case 0x0504: return n;
    case 0x0505: return n * 31;
    case 0x0506: return n * 10;
    case 0x050A: return n * 105;
    case 0x050C:
    case 0x050D: return n * 46;
    default: return field.maxSize;
    }
}

bool CardFileRecord::decodeElement(const CardFieldLayout& field, const QByteArray& bytes, CardDataElement& element)
{
    const ValueDecoder decoder = valueDecoders().value(field.valueType);
    if (!decoder)
        return false;
    element.name = field.name;
    element.type = field.valueType;
    element.raw = bytes;
    element.value = (this->*decoder)(bytes);
    return true;
}

QVariant CardFileRecord::decodeUInt8(QByteArray bytes)
{
    return int(bigEndian(bytes, 1));
}

QVariant CardFileRecord::decodeUInt16(QByteArray bytes)
{
    return int(bigEndian(bytes, 2));
}

QVariant CardFileRecord::decodeUInt32(QByteArray bytes)
{
    return uint(bigEndian(bytes, 4));
}

QVariant CardFileRecord::decodeString(QByteArray bytes)
{
    return decodeCodePageString(bytes);
}

QVariant CardFileRecord::decodeHexString(QByteArray bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QVariant CardFileRecord::decodeBcd(QByteArray bytes)
{
    // Nibbles above 9 are written as their two decimal digits.
    QString text;
    for (const char byte : bytes)
        text += QString::number(quint8(byte) >> 4) + QString::number(quint8(byte) & 0x0F);
    return text;
}

QVariant CardFileRecord::decodeUnixTime(QByteArray bytes)
{
    // Card times are unsigned: 0xFFFFFFFF lies in 2106, not before 1970.
    return QDateTime::fromSecsSinceEpoch(qint64(bigEndian(bytes, 4)), Qt::UTC);
}

QVariant CardFileRecord::decodeExtendedSerialNumber(QByteArray bytes)
{
    return QString::number(bigEndian(bytes, 4)) + decodeBcd(bytes.mid(4, 2)).toString()
        + decodeHexString(bytes.mid(6, 1)).toString() + decodeHexString(bytes.mid(7, 1)).toString();
}

QVariant CardFileRecord::decodeCardEventData(QByteArray bytes)
{
    return decodeRecordList(QStringLiteral("CardEventData"), bytes);
}

QVariant CardFileRecord::decodeCardFaultData(QByteArray bytes)
{
    return decodeRecordList(QStringLiteral("CardFaultData"), bytes);
}

QVariant CardFileRecord::decodeStringDate(QByteArray bytes)
{
    // yyyyMMdd in BCD. Parsed digit by digit, so that a nibble above 9 gives
    // an invalid date rather than a date the card never held.
    const QString digits = decodeHexString(bytes).toString();
    if (digits.size() != 8)
        return QDate();
    for (const QChar digit : digits) {
        if (!digit.isDigit())
            return QDate();
    }
    return QDate(digits.leftRef(4).toInt(), digits.midRef(4, 2).toInt(), digits.midRef(6, 2).toInt());
}

QString CardFileRecord::decodeCodePageString(QByteArray bytes)
{
    if (isBlank(bytes))
        return QString();
    bytes.replace('\0', ' ');
    QString text;
    switch (quint8(bytes.at(0))) {
    case 0x01: text = decodeWith(CardTextCodecs::latin1(), bytes.mid(1)); break;
    case 0x05: text = decodeWith(CardTextCodecs::cyrillic(), bytes.mid(1)); break;
    default: text = decodeWith(CardTextCodecs::windows1251(), bytes); break;
    }
    return text.trimmed();
}

bool CardFileRecord::isBlank(const QByteArray& bytes)
{
    for (const char byte : bytes) {
        switch (byte) {
        case '\0': case '\t': case '\n': case '\v': case '\f': case '\r': case ' ':
            break;
        default:
            return false;
        }
    }
    return true;
}

bool CardFileRecord::isFieldBlank(const QString& fieldName) const
{
    const auto it = fields.constFind(fieldName);
    return it == fields.constEnd() || isBlank(it->raw);
}

QVariant CardFileRecord::decodeRecordList(const QString& listName, const QByteArray& bytes)
{
    CardRecordList list;
    list.name = listName;
    list.raw = bytes;

    // Sizes in ints: the counter and block size must neither wrap nor loop
    // for ever whatever `count` holds.
    const QVector<CardFieldLayout> recordFields = CardDictionary::recordLayouts().value(listName);
    const int blockSize = int(count) * recordSize;
    for (int block = 0; count > 0 && block < recordBlocks; ++block) {
        const QByteArray blockBytes = bytes.mid(block * blockSize, blockSize);
        if (isBlank(blockBytes))
            continue;
        for (int start = 0; start < blockBytes.size(); start += recordSize) {
            const QByteArray record = blockBytes.mid(start, recordSize);
            if (isBlank(record))
                continue;
            QMap<QString, CardDataElement> elements;
            int offset = 0;
            for (const CardFieldLayout& field : recordFields) {
                CardDataElement element;
                if (decodeElement(field, record.mid(offset, field.maxSize), element))
                    elements.insert(field.name, element);
                offset += field.maxSize;
            }
            list.records.append(elements);
        }
    }

    if (!list.records.isEmpty())
        recordLists.insert(listName, list);
    return 0;
}
