#include "readers/PendingRestore.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "readers/CardReader.h"
#include "readers/WriteTestValue.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QString goneLine = QStringLiteral(
    "%1: На карте %2 в %3 уже нет тестового значения %4: запись о восстановлении исходного значения удалена.");
const QString savedLine = QStringLiteral(
    "%1: Дата последней выгрузки %2 карты %3 сохранена чтением карты в ddd-файле %4: запись о восстановлении "
    "прежней даты удалена.");
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

bool PendingRestore::ownBytes(quint16 fid, const QByteArray &read, QByteArray *own)
{
    *own = read;
    // Most cards have nothing recorded: no lock is taken for them.
    if (!recorded())
        return true;
    QStringList lines;
    const bool known = change(Needs::Whole, [&](Record &record) {
        const int index = find(record.entries, fid);
        return index >= 0 && follow(record.entries, index, read, own, &lines);
    });
    if (!known)
        return false;
    for (const QString &line : qAsConst(lines))
        emit reader.logginMessage(0, line);
    return true;
}

bool PendingRestore::hold(quint16 fid, const QByteArray &own, const QByteArray &written, Writer writer,
                          const QString &line, const QString &dddFile)
{
    // A card without a number could never be matched again.
    if (cardNumber.isEmpty())
        return fail(noNumber);
    const Value value{written, writer, QDateTime::currentDateTimeUtc(), dddFile, {}};
    const bool saved = change(Needs::Whole, [&](Record &record) {
        const int index = find(record.entries, fid);
        if (index >= 0)
            record.entries[index].values.append(value);
        else
            record.entries.append({cardNumber, fid, own, {value}, {}});
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
    change(Needs::OwnEntries, [&](Record &record) {
        const int index = find(record.entries, fid);
        if (index < 0)
            return false;
        record.entries.remove(index);
        return true;
    });
    // The card's bytes are back whether or not the record could say so.
    if (!line.isEmpty() && reader.durableLog)
        reader.durableLog(0, line);
}

void PendingRestore::withdraw(quint16 fid, const QByteArray &written)
{
    change(Needs::OwnEntries, [&](Record &record) {
        const int index = find(record.entries, fid);
        if (index < 0)
            return false;
        QVector<Value> &values = record.entries[index].values;
        const auto taken = std::find_if(values.begin(), values.end(),
                                        [&written](const Value &value) { return value.bytes == written; });
        if (taken == values.end())
            return false;
        values.erase(taken);
        if (values.isEmpty())
            record.entries.remove(index);
        return true;
    });
}

bool PendingRestore::recorded() const
{
    const QFileInfo record(filePath());
    return record.exists() || record.isSymLink();
}

int PendingRestore::find(const Entries &entries, quint16 fid) const
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).fid == fid && entries.at(i).card == cardNumber && !cardNumber.isEmpty())
            return i;
    }
    return -1;
}

// A read's date became the card's own when its .ddd file was saved, even
// when its entry could not go then: the values up to it are over. Returns
// that file, or nothing.
QString PendingRestore::settle(Entry *entry)
{
    for (int i = entry->values.size() - 1; i >= 0; --i) {
        const Value value = entry->values.at(i);
        if (value.writer == Writer::Read && !value.dddFile.isEmpty() && QFileInfo(value.dddFile).isFile()) {
            entry->own = value.bytes;
            entry->values.remove(0, i + 1);
            return value.dddFile;
        }
    }
    return QString();
}

// The entry at `index` as the card holds `read` in its file: `own` gets the
// card's own bytes, the lines what ended. True when the entry changed.
bool PendingRestore::follow(Entries &entries, int index, const QByteArray &read, QByteArray *own,
                            QStringList *lines) const
{
    Entry &entry = entries[index];
    const QString dddFile = settle(&entry);
    if (!dddFile.isEmpty())
        *lines << savedLine.arg(reader.readerName, valueText(entry.fid, entry.own), entry.card, dddFile);
    const bool held = std::any_of(entry.values.cbegin(), entry.values.cend(),
                                  [&read](const Value &value) { return value.bytes == read; });
    if (held) {
        *own = entry.own;
        return !dddFile.isEmpty();
    }
    if (!entry.values.isEmpty())
        *lines << goneLine.arg(reader.readerName, entry.card, fileText(entry.fid),
                               valueText(entry.fid, entry.values.last().bytes));
    *own = read;
    entries.remove(index);
    return true;
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
