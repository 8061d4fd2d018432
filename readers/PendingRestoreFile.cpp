// The record's file: its lock, its checks, reading and writing it whole.

#include "readers/PendingRestore.h"

#include "card/CardFileIds.h"
#include "config/SmallFile.h"
#include "platform/FileLock.h"
#include "platform/FolderSync.h"
#include "platform/SystemErrorText.h"
#include "platform/WholeFileWriter.h"
#include "readers/CardReader.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A handful of entries; anything larger is no record of ours.
constexpr qint64 maxFileSize = 64 * 1024;

const QString damaged = QStringLiteral("запись повреждена");
const QString unsavedLine =
    QStringLiteral("%1: Не удалось сохранить запись о восстановлении исходного значения %2: %3.");
const QString notOwnFileLine = QStringLiteral(
    "%1: %2 не является обычным файлом программы: запись о восстановлении исходных значений не читается и не "
    "перезаписывается.");
const QString notOwnFile = QStringLiteral("%1 не является обычным файлом программы");
const QString lockBusy = QStringLiteral("запись занята другой копией программы дольше %1 с");
const QString lockCancelled = QStringLiteral("ожидание записи прервано отменой");
const QString lockFailed = QStringLiteral("не удалось занять запись (%1)");

const QString diagnosisWriter = QStringLiteral("diagnosis");
const QString readWriter = QStringLiteral("read");

int sizeOf(quint16 fid)
{
    return fid == CardFileId::lastCardDownload ? 4 : fid == CardFileId::calibrationsSinceDownload ? 2 : 0;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QByteArray bytesOf(const QJsonValue &value)
{
    return QByteArray::fromHex(value.toString().toLatin1());
}

// Never read through a link, never anything but a regular file of ours.
bool ownRegularFile(const QString &path, QString *reason)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        *reason = systemErrorText(errno, QString());
        return false;
    }
    if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
        return true;
    *reason = notOwnFile.arg(path);
    return false;
}

} // namespace

bool PendingRestore::change(Needs needs, const std::function<bool(Record &)> &edit)
{
    const QString folder = QFileInfo(filePath()).path();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("не удалось создать папку %1").arg(folder));
    FileLock lock(filePath() + QStringLiteral(".lock"));
    if (!lockRecord(lock))
        return false;
    Record record;
    QString reason;
    if (read(&record, &reason) && needs == Needs::Whole && !record.unknown.isEmpty())
        reason = unknownEntries();
    if (!reason.isEmpty()) {
        tellUnreadable(reason);
        return fail(reason);
    }
    return !edit(record) || save(record);
}

bool PendingRestore::lockRecord(FileLock &lock)
{
    // A cancel ends the wait, but not while the card's own bytes go back.
    switch (lock.lock(lockWaitMs, [this] { return reader.interrupted && !reader.ignoresInterrupt; })) {
    case FileLock::Outcome::Locked:
        return true;
    case FileLock::Outcome::NotOwnFile: {
        const QString path = filePath() + QStringLiteral(".lock");
        emit reader.logginMessage(2, notOwnFileLine.arg(reader.readerName, path));
        return fail(notOwnFile.arg(path));
    }
    case FileLock::Outcome::Busy:
        return unsaved(lockBusy.arg(lockWaitMs / 1000));
    case FileLock::Outcome::Cancelled:
        return unsaved(lockCancelled);
    case FileLock::Outcome::Failed:
        break;
    }
    return unsaved(lockFailed.arg(lock.errorText()));
}

// Every change replaces the file whole, so it reads whole without the lock.
// An entry this copy cannot read is kept apart, as it stands.
bool PendingRestore::read(Record *record, QString *reason) const
{
    const QString path = filePath();
    if (!recorded())
        return true;
    if (!ownRegularFile(path, reason))
        return false;
    SmallFile file(path, maxFileSize, SmallFile::Empty::Refused);
    if (!file.read()) {
        *reason = file.errorString();
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes());
    if (!document.isArray()) {
        *reason = damaged;
        return false;
    }
    for (const QJsonValue &item : document.array()) {
        Entry entry;
        if (parse(item, &entry))
            record->entries.append(entry);
        else
            record->unknown.append(item);
    }
    return true;
}

QString PendingRestore::unknownEntries()
{
    return QStringLiteral("в записи есть сведения, которые эта версия программы не понимает");
}

bool PendingRestore::parse(const QJsonValue &item, Entry *entry)
{
    const QJsonObject object = item.toObject();
    bool fidOk = false;
    *entry = {object.value(QStringLiteral("card")).toString(),
              quint16(object.value(QStringLiteral("fid")).toString().toUInt(&fidOk, 16)),
              bytesOf(object.value(QStringLiteral("own"))),
              {},
              object};
    QJsonArray values = object.value(QStringLiteral("values")).toArray();
    // An entry of a program that wrote one test value only.
    if (object.contains(QStringLiteral("test"))) {
        values.append(QJsonObject{{QStringLiteral("value"), object.value(QStringLiteral("test"))},
                                  {QStringLiteral("by"), diagnosisWriter},
                                  {QStringLiteral("time"), object.value(QStringLiteral("time"))}});
        entry->stored.remove(QStringLiteral("test"));
        entry->stored.remove(QStringLiteral("time"));
    }
    const int size = sizeOf(entry->fid);
    bool sound = item.isObject() && fidOk && size > 0 && !entry->card.isEmpty() && entry->own.size() == size
        && !values.isEmpty();
    for (const QJsonValue &valueItem : qAsConst(values)) {
        const QJsonObject stored = valueItem.toObject();
        const QString by = stored.value(QStringLiteral("by")).toString();
        const QJsonValue dddFile = stored.value(QStringLiteral("ddd"));
        const Value value{bytesOf(stored.value(QStringLiteral("value"))),
                          by == readWriter ? Writer::Read : Writer::Diagnosis,
                          QDateTime::fromString(stored.value(QStringLiteral("time")).toString(), Qt::ISODate),
                          dddFile.toString(), stored};
        sound = sound && value.bytes.size() == size && value.time.isValid()
            && (by == readWriter || by == diagnosisWriter) && (dddFile.isUndefined() || dddFile.isString());
        entry->values.append(value);
    }
    return sound;
}

// On disk before it returns: the file is synced, and so is the folder that
// names it.
bool PendingRestore::save(const Record &record)
{
    const QString path = filePath();
    QString failure;
    if (record.entries.isEmpty() && record.unknown.isEmpty()) {
        QFile file(path);
        if (file.exists() && !file.remove())
            failure = file.errorString();
    } else {
        QJsonArray array;
        for (const Entry &entry : record.entries) {
            QJsonArray values;
            for (const Value &value : entry.values) {
                QJsonObject stored = value.stored;
                stored.insert(QStringLiteral("value"), hex(value.bytes));
                stored.insert(QStringLiteral("by"), value.writer == Writer::Read ? readWriter : diagnosisWriter);
                stored.insert(QStringLiteral("time"), value.time.toString(Qt::ISODate));
                if (!value.dddFile.isEmpty())
                    stored.insert(QStringLiteral("ddd"), value.dddFile);
                values.append(stored);
            }
            QJsonObject stored = entry.stored;
            stored.insert(QStringLiteral("card"), entry.card);
            stored.insert(QStringLiteral("fid"), QString::number(entry.fid, 16).toUpper().rightJustified(4, '0'));
            stored.insert(QStringLiteral("file"), fileText(entry.fid));
            stored.insert(QStringLiteral("own"), hex(entry.own));
            stored.insert(QStringLiteral("values"), values);
            array.append(stored);
        }
        for (const QJsonValue &unknown : record.unknown)
            array.append(unknown);
        WholeFileWriter writer(path);
        if (!writer.open() || !writer.write(QJsonDocument(array).toJson()) || !writer.commit())
            failure = writer.errorText();
    }
    if (failure.isEmpty() && !syncFolder(QFileInfo(path).path(), &failure))
        failure = QStringLiteral("папка не записана на диск: %1").arg(failure);
    return failure.isEmpty() || unsaved(failure);
}

bool PendingRestore::unsaved(const QString &reason)
{
    emit reader.logginMessage(2, unsavedLine.arg(reader.readerName, filePath(), reason));
    return fail(reason);
}

bool PendingRestore::fail(const QString &reason)
{
    m_failure = reason;
    return false;
}
