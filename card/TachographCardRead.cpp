// Reading: READ BINARY in chunks, and whole files with their size rules.

#include "card/ApduBytes.h"
#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "card/StatusWordTexts.h"
#include "card/TachographCard.h"

namespace {

constexpr int dataResponse = 257;
constexpr quint32 maxChunk = 255;
// READ BINARY carries the offset in 15 bits; bit 7 of P1 would mean another addressing.
constexpr quint32 addressableBytes = 0x8000;
constexpr quint16 certificateLengthOffset = 2;
constexpr quint32 certificateHeader = 4;
constexpr quint32 certificateSpace = 1000;

const QString failRead = QStringLiteral("%1: Не удалось считать данные с карты тахографа %2 %3 ... %4. %5");
const QString progressRead = QStringLiteral("Чтение %1 ... %2 из %3 байт");
const QString wrongChunk = QStringLiteral("Карта вернула %1 байт вместо %2.");
const QString outsideFile =
    QStringLiteral("Данные с %1 по %2 байт лежат за пределами области, доступной для чтения с карты.");
const QString noFileSelected = QStringLiteral(
    "Перед считыванием данных с карты необходимо выбрать файл из которого они должны быть считаны.");
const QString wrongFile = QStringLiteral("Текущий файл 0x%1 не соответствует указанному для считывания файлу 0x%2.");
const QString noSourceData =
    QStringLiteral("Отсутствуют исходные данные для расчета размера циклического файла: 0x%1");
const QString fileTooLarge = QStringLiteral("Размер файла 0x%1 (%2 байт) превышает допустимый для чтения с карты.");
const QString certificateTooLarge =
    QStringLiteral("Длина сертификата в файле 0x%1 (%2 байт) превышает отведенное для него место.");

// Files whose size follows from a count in the application identification.
struct CountedSize
{
    const char *field;
    quint32 perRecord;
    quint32 extra;
};

const QMap<quint16, CountedSize> &countedSizes()
{
    static const QMap<quint16, CountedSize> &sizes = *new QMap<quint16, CountedSize>{
        {0x0502, {"noOfEventsPerType", 144, 0}},
        {0x0503, {"noOfFaultsPerType", 48, 0}},
        {0x0504, {"activityStructureLength", 1, 4}},
        {0x0505, {"noOfCardVehicleRecords", 31, 2}},
        {0x0506, {"noOfCardPlaceRecords", 10, 1}},
        {0x050A, {"noOfCalibrationRecords", 105, 3}},
        {0x050C, {"noOfControlActivityRecords", 46, 2}},
        {0x050D, {"noOfControlActivityRecords", 46, 2}},
    };
    return sizes;
}

// Built before main() and never destroyed: the worker threads read the table
// up to the end of the process, also while an exit() destroys static objects.
[[maybe_unused]] const bool tableBuilt = (countedSizes(), true);

// The two GOST certificates state their own length at offset 2.
bool isCertificate(quint16 fid)
{
    return (fid & ~0x0008) == 0xC200;
}

QString upperHex(quint32 value)
{
    return QString::number(value, 16).toUpper();
}

} // namespace

bool TachographCard::readBinary(quint16 offset, quint16 length, QByteArray *out)
{
    result.reset();
    out->clear();
    if (isInterrupted())
        return false;
    if (length == 0)
        return true;
    if (quint32(offset) + length > addressableBytes) {
        result.setNote(2, outsideFile.arg(offset).arg(quint32(offset) + length - 1));
        return false;
    }
    const QString name = fileName(currentFid);
    quint32 position = offset;
    const FailureText failure = [this, &name, &position, length] {
        return failRead.arg(readerName).arg(name).arg(position).arg(length);
    };
    QByteArray kept;
    kept.reserve(length);
    quint32 done = 0;
    quint32 chunk = qMin(quint32(length), maxChunk);
    forever {
        position = offset + done;
        const QByteArray apdu = apduBytes({0x00, 0xB0, quint8(position >> 8), quint8(position), quint8(chunk)});
        QByteArray data;
        if (!send(apdu, ApduKind::ReadBinary, dataResponse, failure, &data))
            return false;
        // A short or long chunk would shift every later byte of the file.
        if (quint32(data.size()) != chunk) {
            result.setNote(1, wrongChunk.arg(data.size()).arg(chunk));
            emit logginMessage(2, failure().arg(result.toString() + QLatin1Char(' ') + result.note()));
            return false;
        }
        kept += data;
        done += chunk;
        if (done + chunk > length)
            chunk = length - done;
        if (progressWatched())
            emit pogressMessage(progressRead.arg(name).arg(done).arg(length));
        if (isInterrupted())
            return false;
        if (done >= length) {
            *out = kept;
            return true;
        }
    }
}

bool TachographCard::readCurrentEf(quint8 index, quint16 key)
{
    result.reset();
    currentEfIndex = index;
    layoutKey = key;
    if (currentFid == 0) {
        result.setNote(2, noFileSelected);
        return false;
    }
    const QVector<CardAppLayout> &rows = CardDictionary::efDescriptors();
    const quint16 rowFid = index < rows.size() ? rows.at(index).fid : 0;
    if (currentFid != rowFid) {
        result.setNote(2, wrongFile.arg(upperHex(currentFid), upperHex(rowFid)));
        return false;
    }
    const CardAppLayout &row = rows.at(index);

    quint32 size = row.layouts.value(key).maxSize;
    quint32 count = 0;
    quint32 fill = 0;
    if (countedSizes().contains(currentFid) && !countedFileSize(currentFid, size, count))
        return false;
    if (isCertificate(currentFid) && !isInterrupted() && !certificateSize(size, fill))
        return false;

    QByteArray bytes;
    if (!readBinary(0, quint16(size), &bytes))
        return false;
    bytes.append(QByteArray(int(fill), '\0'));

    CardFileRecord *record = recordOf(currentFid);
    record->name = row.name;
    record->efIndex = index;
    record->layoutKey = key;
    record->data = bytes;
    record->length = quint16(bytes.size());
    record->count = quint16(count);
    // The sizes of the files read after it depend on its counts.
    if (currentFid == CardFileId::applicationIdentification && !isInterrupted())
        record->decode();
    return !isInterrupted();
}

bool TachographCard::countedFileSize(quint16 fid, quint32 &size, quint32 &count)
{
    const CardFileRecord *source = readData.value(CardFileId::applicationIdentification);
    if (!source) {
        result.setNote(2, noSourceData.arg(upperHex(fid)));
        return false;
    }
    const CountedSize rule = countedSizes().value(fid);
    count = source->fields.value(QLatin1String(rule.field)).value.toUInt();
    // 64 bits: a hostile count must not wrap into a small, readable size.
    const quint64 bytes = quint64(count) * rule.perRecord + rule.extra;
    if (bytes > addressableBytes) {
        result.setNote(2, fileTooLarge.arg(upperHex(fid)).arg(bytes));
        return false;
    }
    size = quint32(bytes);
    return true;
}

bool TachographCard::certificateSize(quint32 &size, quint32 &fill)
{
    QByteArray lengthBytes;
    if (!readBinary(certificateLengthOffset, 2, &lengthBytes))
        return false;
    const quint32 stated = (quint32(quint8(lengthBytes.at(0))) << 8) | quint8(lengthBytes.at(1));
    if (stated + certificateHeader > certificateSpace) {
        result.setNote(2, certificateTooLarge.arg(upperHex(currentFid)).arg(stated));
        return false;
    }
    size = stated + certificateHeader;
    fill = certificateSpace - size;
    return true;
}
