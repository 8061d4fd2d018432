#include "readers/PendingRestore.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "readers/CardReader.h"
#include "readers/WriteTestValue.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString leftLine = QStringLiteral(
    "%1: На карте %2 осталось тестовое значение %3 в %4 вместо исходного значения %5. Диагностирование этой "
    "карты восстановит исходное значение.");
const QString leftText = QStringLiteral("На карте %1 осталось тестовое значение в %2.");
const QString leftInfo = QStringLiteral(
    "Диагностирование карты было прервано: в %1 записано тестовое значение %2 вместо исходного значения %3. "
    "Диагностирование этой карты восстановит исходное значение.");
const QString dateLeftLine = QStringLiteral(
    "%1: Дата последней выгрузки карты %2 установлена в %3 чтением карты, которое не сохранило ddd-файл. "
    "Прежняя дата: %4. Диагностирование этой карты вернет прежнюю дату.");
const QString dateLeftText = QStringLiteral("Карта %1 считает себя выгруженной, но ddd-файл не сохранен.");
const QString dateLeftInfo = QStringLiteral(
    "Чтение карты было прервано: в %1 записана дата последней выгрузки %2, а ddd-файл не сохранен. Прежняя "
    "дата: %3. Диагностирование этой карты вернет прежнюю дату; новое чтение сохранит ddd-файл.");
const QString goneLine = QStringLiteral(
    "%1: На карте %2 в %3 уже нет тестового значения %4: запись о восстановлении исходного значения удалена.");
const QString noNumber = QStringLiteral("у карты не прочитан номер");

} // namespace

PendingRestore::PendingRestore(CardReader &reader, const QString &cardNumber)
    : reader(reader), cardNumber(cardNumber)
{
}

QString PendingRestore::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/pending-restore.json");
}

void PendingRestore::checkIdentifiedCard()
{
    // Most cards have nothing recorded: no lock is taken for them.
    if (!QFileInfo::exists(filePath()))
        return;
    QVector<QPair<Entry, Value>> left;
    QVector<Entry> gone;
    change([&](Entries &entries) {
        for (int i = entries.size() - 1; i >= 0; --i) {
            const Entry &entry = entries.at(i);
            const CardFileRecord *record = entry.card == cardNumber ? reader.card.readData.value(entry.fid) : nullptr;
            if (!record)
                continue;
            const auto held = std::find_if(entry.values.cbegin(), entry.values.cend(),
                                           [record](const Value &value) { return value.bytes == record->data; });
            if (held != entry.values.cend())
                left.append({entry, *held});
            else
                gone.append(entries.takeAt(i));
        }
        return !gone.isEmpty();
    });
    for (const Entry &entry : qAsConst(gone)) {
        emit reader.logginMessage(0, goneLine.arg(reader.readerName, entry.card, fileText(entry.fid),
                                                  valueText(entry.fid, entry.values.last().bytes)));
    }
    for (const auto &found : qAsConst(left))
        warnLeft(found.first, found.second);
}

void PendingRestore::warnLeft(const Entry &entry, const Value &value)
{
    const QString file = fileText(entry.fid);
    const QString written = valueText(entry.fid, value.bytes);
    const QString own = valueText(entry.fid, entry.own);
    if (value.writer == Writer::Read) {
        emit reader.logginMessage(1, dateLeftLine.arg(reader.readerName, cardNumber, written, own));
        emit reader.showErrMsg(2, dateLeftText.arg(cardNumber), dateLeftInfo.arg(file, written, own), QString());
        return;
    }
    emit reader.logginMessage(1, leftLine.arg(reader.readerName, cardNumber, written, file, own));
    emit reader.showErrMsg(2, leftText.arg(cardNumber, file), leftInfo.arg(file, written, own), QString());
}

QByteArray PendingRestore::ownBytes(quint16 fid, const QByteArray &read)
{
    QByteArray own = read;
    if (!QFileInfo::exists(filePath()))
        return own;
    QVector<Value> dropped;
    change([&](Entries &entries) {
        const int index = find(entries, fid);
        if (index < 0)
            return false;
        const Entry &entry = entries.at(index);
        for (const Value &value : entry.values) {
            if (value.bytes == read) {
                own = entry.own;
                return false;
            }
        }
        dropped = entries.takeAt(index).values;
        return true;
    });
    if (!dropped.isEmpty())
        emit reader.logginMessage(0, goneLine.arg(reader.readerName, cardNumber, fileText(fid),
                                                  valueText(fid, dropped.last().bytes)));
    return own;
}

bool PendingRestore::hold(quint16 fid, const QByteArray &own, const QByteArray &written, Writer writer,
                          const QString &line)
{
    // A card without a number could never be matched again.
    if (cardNumber.isEmpty())
        return fail(noNumber);
    const Value value{written, writer, QDateTime::currentDateTimeUtc()};
    const bool saved = change([&](Entries &entries) {
        const int index = find(entries, fid);
        if (index >= 0)
            entries[index].values.append(value);
        else
            entries.append({cardNumber, fid, own, {value}});
        return true;
    });
    if (!saved)
        return false;
    if (reader.durableLog && reader.durableLog(0, line))
        return true;
    withdraw(fid, written);
    return fail(QStringLiteral("строка журнала событий не записана на диск"));
}

void PendingRestore::release(quint16 fid, const QString &line)
{
    change([&](Entries &entries) {
        const int index = find(entries, fid);
        if (index < 0)
            return false;
        entries.remove(index);
        return true;
    });
    // The card's bytes are back whether or not the record could say so.
    if (!line.isEmpty() && reader.durableLog)
        reader.durableLog(0, line);
}

void PendingRestore::withdraw(quint16 fid, const QByteArray &written)
{
    change([&](Entries &entries) {
        const int index = find(entries, fid);
        if (index < 0)
            return false;
        QVector<Value> &values = entries[index].values;
        const auto taken = std::find_if(values.begin(), values.end(),
                                        [&written](const Value &value) { return value.bytes == written; });
        if (taken == values.end())
            return false;
        values.erase(taken);
        if (values.isEmpty())
            entries.remove(index);
        return true;
    });
}

int PendingRestore::find(const Entries &entries, quint16 fid) const
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).fid == fid && entries.at(i).card == cardNumber && !cardNumber.isEmpty())
            return i;
    }
    return -1;
}

QString PendingRestore::valueText(quint16 fid, const QByteArray &bytes) const
{
    return WriteTestValue::text(fid == CardFileId::lastCardDownload, WriteTestValue::fromBytes(bytes));
}

QString PendingRestore::fileText(quint16 fid) const
{
    quint8 index = 0;
    quint16 key = 0;
    const QString name =
        reader.findFileEntry(fid, index, key) ? CardDictionary::efDescriptors().at(index).name : QString();
    return QStringLiteral("%1 (EF 0x%2)").arg(name, QString::number(fid, 16).toUpper().rightJustified(4, '0'));
}
