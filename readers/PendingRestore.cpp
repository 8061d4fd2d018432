#include "readers/PendingRestore.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "config/SmallFile.h"
#include "platform/WholeFileWriter.h"
#include "readers/CardReader.h"
#include "readers/WriteTestValue.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {

// A handful of entries; anything larger is no record of ours.
constexpr qint64 maxFileSize = 64 * 1024;

const QString writingLine = QStringLiteral(
    "%1: Диагностирование карты %2: в %3 записывается тестовое значение %4. Исходное значение: %5.");
const QString restoredLine = QStringLiteral("%1: Исходное значение %2 в %3 карты %4 восстановлено.");
const QString leftLine = QStringLiteral(
    "%1: На карте %2 осталось тестовое значение %3 в %4 вместо исходного значения %5. Диагностирование этой "
    "карты восстановит исходное значение.");
const QString leftText = QStringLiteral("На карте %1 осталось тестовое значение в %2.");
const QString leftInfo = QStringLiteral(
    "Диагностирование карты было прервано: в %1 записано тестовое значение %2 вместо исходного значения %3. "
    "Диагностирование этой карты восстановит исходное значение.");
const QString goneLine = QStringLiteral(
    "%1: На карте %2 в %3 уже нет тестового значения %4: запись о восстановлении исходного значения удалена.");
const QString unreadableLine = QStringLiteral(
    "Не удалось прочитать запись о восстановлении исходных значений %1: %2. Запись не учитывается.");
const QString damaged = QStringLiteral("запись повреждена");
const QString unsavedLine =
    QStringLiteral("%1: Не удалось сохранить запись о восстановлении исходного значения %2: %3.");

int sizeOf(quint16 fid)
{
    return fid == CardFileId::lastCardDownload ? 4 : fid == CardFileId::calibrationsSinceDownload ? 2 : 0;
}

QString fidHex(quint16 fid)
{
    return QString::number(fid, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

} // namespace

PendingRestore::PendingRestore(CardReader &reader, const QString &cardNumber)
    : reader(reader), cardNumber(cardNumber)
{
    load();
}

QString PendingRestore::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/pending-restore.json");
}

void PendingRestore::checkIdentifiedCard()
{
    for (int i = entries.size() - 1; i >= 0; --i) {
        const Entry entry = entries.at(i);
        const CardFileRecord *record = entry.card == cardNumber ? reader.card.readData.value(entry.fid) : nullptr;
        if (!record)
            continue;
        if (record->data != entry.test) {
            drop(i);
            continue;
        }
        const QString test = valueText(entry.fid, entry.test);
        const QString own = valueText(entry.fid, entry.own);
        emit reader.logginMessage(1, leftLine.arg(reader.readerName, cardNumber, test, fileText(entry.fid), own));
        emit reader.showErrMsg(2, leftText.arg(cardNumber, fileText(entry.fid)),
                               leftInfo.arg(fileText(entry.fid), test, own), QString());
    }
}

QByteArray PendingRestore::ownBytes(quint16 fid, const QByteArray &read)
{
    const int index = find(fid);
    if (index < 0)
        return read;
    if (entries.at(index).test == read)
        return entries.at(index).own;
    drop(index);
    return read;
}

void PendingRestore::hold(quint16 fid, const QByteArray &own, const QByteArray &test)
{
    const int index = find(fid);
    if (index >= 0)
        entries.remove(index);
    // A card without a number could never be matched again.
    if (!cardNumber.isEmpty()) {
        entries.append({cardNumber, fid, own, test, QDateTime::currentDateTimeUtc()});
        save();
    }
    if (reader.durableLog)
        reader.durableLog(0, writingLine.arg(reader.readerName, cardNumber, fileText(fid),
                                                    valueText(fid, test), valueText(fid, own)));
}

void PendingRestore::release(quint16 fid)
{
    const int index = find(fid);
    if (index < 0)
        return;
    const QByteArray own = entries.at(index).own;
    entries.remove(index);
    save();
    if (reader.durableLog)
        reader.durableLog(0, restoredLine.arg(reader.readerName, valueText(fid, own), fileText(fid),
                                                     cardNumber));
}

void PendingRestore::withdraw(quint16 fid)
{
    const int index = find(fid);
    if (index < 0)
        return;
    entries.remove(index);
    save();
}

// A record that cannot be trusted whole is ignored whole.
void PendingRestore::load()
{
    const QString path = filePath();
    if (!QFileInfo::exists(path))
        return;
    SmallFile file(path, maxFileSize, SmallFile::Empty::Refused);
    if (!file.read()) {
        emit reader.logginMessage(1, unreadableLine.arg(path, file.errorString()));
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes());
    QVector<Entry> read;
    bool sound = document.isArray();
    const QJsonArray array = document.array();
    for (int i = 0; sound && i < array.size(); ++i) {
        const QJsonObject object = array.at(i).toObject();
        bool fidOk = false;
        Entry entry{object.value(QStringLiteral("card")).toString(),
                    quint16(object.value(QStringLiteral("fid")).toString().toUInt(&fidOk, 16)),
                    QByteArray::fromHex(object.value(QStringLiteral("own")).toString().toLatin1()),
                    QByteArray::fromHex(object.value(QStringLiteral("test")).toString().toLatin1()),
                    QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODate)};
        const int size = sizeOf(entry.fid);
        sound = fidOk && size > 0 && !entry.card.isEmpty() && entry.own.size() == size
            && entry.test.size() == size && entry.time.isValid();
        read.append(entry);
    }
    if (!sound) {
        emit reader.logginMessage(1, unreadableLine.arg(path, damaged));
        return;
    }
    entries = read;
}

void PendingRestore::save()
{
    const QString path = filePath();
    QString failure;
    if (entries.isEmpty()) {
        QFile file(path);
        if (file.exists() && !file.remove())
            failure = file.errorString();
    } else {
        QJsonArray array;
        for (const Entry &entry : qAsConst(entries)) {
            array.append(QJsonObject{{QStringLiteral("card"), entry.card},
                                     {QStringLiteral("fid"), fidHex(entry.fid)},
                                     {QStringLiteral("file"), fileText(entry.fid)},
                                     {QStringLiteral("own"), QString::fromLatin1(entry.own.toHex().toUpper())},
                                     {QStringLiteral("test"), QString::fromLatin1(entry.test.toHex().toUpper())},
                                     {QStringLiteral("time"), entry.time.toString(Qt::ISODate)}});
        }
        WholeFileWriter writer(path);
        QDir().mkpath(QFileInfo(path).path());
        if (!writer.open() || !writer.write(QJsonDocument(array).toJson()) || !writer.commit())
            failure = writer.errorText();
    }
    if (!failure.isEmpty())
        emit reader.logginMessage(2, unsavedLine.arg(reader.readerName, path, failure));
}

int PendingRestore::find(quint16 fid) const
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).fid == fid && entries.at(i).card == cardNumber && !cardNumber.isEmpty())
            return i;
    }
    return -1;
}

void PendingRestore::drop(int index)
{
    const Entry entry = entries.takeAt(index);
    save();
    emit reader.logginMessage(0, goneLine.arg(reader.readerName, entry.card, fileText(entry.fid),
                                              valueText(entry.fid, entry.test)));
}

QString PendingRestore::valueText(quint16 fid, const QByteArray &bytes) const
{
    return WriteTestValue::text(fid == CardFileId::lastCardDownload, WriteTestValue::fromBytes(bytes));
}

// "EFCardDownload (EF 0x050E)"
QString PendingRestore::fileText(quint16 fid) const
{
    quint8 index = 0;
    quint16 key = 0;
    const QString name =
        reader.findFileEntry(fid, index, key) ? CardDictionary::efDescriptors().at(index).name : QString();
    return QStringLiteral("%1 (EF 0x%2)").arg(name, fidHex(fid));
}
