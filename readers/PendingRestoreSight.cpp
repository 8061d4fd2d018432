// The record at the sight of a card: what it tells the user of the card.

#include "readers/PendingRestore.h"

#include "card/CardFileRecord.h"
#include "readers/CardReader.h"

#include <algorithm>

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
const QString unreadableLine = QStringLiteral(
    "%1: Не удалось прочитать запись о восстановлении исходных значений %2: %3. Запись оставлена как есть; пока "
    "она не прочитана, тестовые значения и дата последней выгрузки в карты не записываются.");
const QString unreadableText = QStringLiteral("Не удалось прочитать запись о восстановлении исходных значений.");
const QString unreadableInfo = QStringLiteral(
    "Файл %1: %2. Он оставлен как есть: на картах, о которых он говорит, могут оставаться записанные значения. "
    "Пока запись не прочитана, тестовые значения и дата последней выгрузки в карты не записываются: тест записи "
    "при диагностировании не выполняется, чтение карты не сохраняет ddd-файл.");

} // namespace

// Every change replaces the record whole: it is read here without the lock,
// so a copy holding the lock or a data folder that cannot be written never
// keeps the user from being told.
void PendingRestore::checkIdentifiedCard()
{
    if (!recorded())
        return;
    Record record;
    QString reason;
    if (!read(&record, &reason)) {
        tellUnreadable(reason);
        return;
    }
    if (std::any_of(record.unknown.cbegin(), record.unknown.cend(),
                    [this](const QJsonValue &unknown) { return concerns(unknown); }))
        tellUnreadable(unknownEntries());
    bool ended = false;
    for (Entry entry : qAsConst(record.entries)) {
        const CardFileRecord *file = entry.card == cardNumber ? reader.card.readData.value(entry.fid) : nullptr;
        if (!file)
            continue;
        ended = !settle(&entry).isEmpty() || ended;
        const auto held = std::find_if(entry.values.cbegin(), entry.values.cend(),
                                       [file](const Value &value) { return value.bytes == file->data; });
        if (held != entry.values.cend())
            warnLeft(entry, *held);
        else
            ended = true;
    }
    if (ended)
        endEntries();
}

// The entries of this card that its files show to be over go.
void PendingRestore::endEntries()
{
    QStringList lines;
    const bool changed = change(Needs::OwnEntries, [&](Record &record) {
        bool followed = false;
        for (int i = record.entries.size() - 1; i >= 0; --i) {
            const Entry &entry = record.entries.at(i);
            const CardFileRecord *file = entry.card == cardNumber ? reader.card.readData.value(entry.fid) : nullptr;
            QByteArray own;
            followed = (file && follow(record.entries, i, file->data, &own, &lines)) || followed;
        }
        return followed;
    });
    if (!changed)
        return;
    for (const QString &line : qAsConst(lines))
        emit reader.logginMessage(0, line);
}

// An entry whose card cannot be told may be this card's.
bool PendingRestore::concerns(const QJsonValue &unknown) const
{
    const QJsonValue card = unknown.toObject().value(QStringLiteral("card"));
    return !card.isString() || card.toString() == cardNumber;
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

void PendingRestore::tellUnreadable(const QString &reason)
{
    emit reader.logginMessage(1, unreadableLine.arg(reader.readerName, filePath(), reason));
    emit reader.showErrMsg(2, unreadableText, unreadableInfo.arg(filePath(), reason), QString());
}
