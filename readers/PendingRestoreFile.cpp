// The record's file: its lock, its checks, reading and writing it whole.

#include "readers/PendingRestore.h"

#include "card/CardFileIds.h"
#include "config/SmallFile.h"
#include "platform/FolderSync.h"
#include "platform/SystemErrorText.h"
#include "platform/WholeFileWriter.h"
#include "readers/CardReader.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A handful of entries; anything larger is no record of ours.
constexpr qint64 maxFileSize = 64 * 1024;

const QString unreadableLine = QStringLiteral(
    "Не удалось прочитать запись о восстановлении исходных значений %1: %2. Запись не учитывается.");
const QString damaged = QStringLiteral("запись повреждена");
const QString unsavedLine =
    QStringLiteral("%1: Не удалось сохранить запись о восстановлении исходного значения %2: %3.");
const QString notOwnFileLine = QStringLiteral(
    "%1: %2 не является обычным файлом программы: запись о восстановлении исходных значений не читается и не "
    "перезаписывается.");
const QString notOwnFile = QStringLiteral("%1 не является обычным файлом программы");
const QString lockBusy = QStringLiteral("запись занята другой копией программы дольше %1 с");
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

} // namespace

bool PendingRestore::change(const std::function<bool(Entries &)> &edit)
{
    const QString path = filePath();
    if (!QDir().mkpath(QFileInfo(path).path()))
        return fail(QStringLiteral("не удалось создать папку %1").arg(QFileInfo(path).path()));
    QLockFile lock(path + QStringLiteral(".lock"));
    // A copy that died leaves its lock behind, and only that lock is stale.
    lock.setStaleLockTime(0);
    if (!lock.tryLock(lockWaitMs)) {
        const QString reason = lock.error() == QLockFile::LockFailedError
            ? lockBusy.arg(lockWaitMs / 1000)
            : lockFailed.arg(lock.error() == QLockFile::PermissionError ? QStringLiteral("нет доступа")
                                                                         : QStringLiteral("ошибка файла блокировки"));
        emit reader.logginMessage(2, unsavedLine.arg(reader.readerName, path, reason));
        return fail(reason);
    }
    if (!ownsPath(path))
        return false;
    Entries entries;
    if (!load(&entries))
        entries.clear();
    return !edit(entries) || save(entries);
}

// Never through a link, never over anything but a regular file of ours.
bool PendingRestore::ownsPath(const QString &path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT || fail(systemErrorText(errno, QString()));
    if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
        return true;
    emit reader.logginMessage(2, notOwnFileLine.arg(reader.readerName, path));
    return fail(notOwnFile.arg(path));
}

// A record that cannot be trusted whole is ignored whole.
bool PendingRestore::load(Entries *entries)
{
    const QString path = filePath();
    if (!QFileInfo::exists(path))
        return true;
    SmallFile file(path, maxFileSize, SmallFile::Empty::Refused);
    if (!file.read()) {
        emit reader.logginMessage(1, unreadableLine.arg(path, file.errorString()));
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes());
    bool sound = document.isArray();
    const QJsonArray array = document.array();
    for (int i = 0; sound && i < array.size(); ++i) {
        const QJsonObject object = array.at(i).toObject();
        bool fidOk = false;
        Entry entry{object.value(QStringLiteral("card")).toString(),
                    quint16(object.value(QStringLiteral("fid")).toString().toUInt(&fidOk, 16)),
                    bytesOf(object.value(QStringLiteral("own"))), {}};
        QJsonArray values = object.value(QStringLiteral("values")).toArray();
        // An entry of a program that wrote one test value only.
        if (object.contains(QStringLiteral("test")))
            values.append(QJsonObject{{QStringLiteral("value"), object.value(QStringLiteral("test"))},
                                      {QStringLiteral("by"), diagnosisWriter},
                                      {QStringLiteral("time"), object.value(QStringLiteral("time"))}});
        const int size = sizeOf(entry.fid);
        sound = fidOk && size > 0 && !entry.card.isEmpty() && entry.own.size() == size && !values.isEmpty();
        for (const QJsonValue &item : qAsConst(values)) {
            const QJsonObject valueObject = item.toObject();
            const QString by = valueObject.value(QStringLiteral("by")).toString();
            const Value value{bytesOf(valueObject.value(QStringLiteral("value"))),
                              by == readWriter ? Writer::Read : Writer::Diagnosis,
                              QDateTime::fromString(valueObject.value(QStringLiteral("time")).toString(), Qt::ISODate)};
            sound = sound && value.bytes.size() == size && value.time.isValid()
                && (by == readWriter || by == diagnosisWriter);
            entry.values.append(value);
        }
        entries->append(entry);
    }
    if (!sound) {
        emit reader.logginMessage(1, unreadableLine.arg(path, damaged));
        return false;
    }
    return true;
}

// On disk before it returns: the file is synced, and so is the folder that
// names it.
bool PendingRestore::save(const Entries &entries)
{
    const QString path = filePath();
    QString failure;
    if (entries.isEmpty()) {
        QFile file(path);
        if (file.exists() && !file.remove())
            failure = file.errorString();
    } else {
        QJsonArray array;
        for (const Entry &entry : entries) {
            QJsonArray values;
            for (const Value &value : entry.values) {
                values.append(QJsonObject{{QStringLiteral("value"), hex(value.bytes)},
                                          {QStringLiteral("by"), value.writer == Writer::Read ? readWriter
                                                                                              : diagnosisWriter},
                                          {QStringLiteral("time"), value.time.toString(Qt::ISODate)}});
            }
            array.append(QJsonObject{{QStringLiteral("card"), entry.card},
                                     {QStringLiteral("fid"), QString::number(entry.fid, 16).toUpper().rightJustified(4, '0')},
                                     {QStringLiteral("file"), fileText(entry.fid)},
                                     {QStringLiteral("own"), hex(entry.own)},
                                     {QStringLiteral("values"), values}});
        }
        WholeFileWriter writer(path);
        if (!writer.open() || !writer.write(QJsonDocument(array).toJson()) || !writer.commit())
            failure = writer.errorText();
    }
    if (failure.isEmpty() && !syncFolder(QFileInfo(path).path(), &failure))
        failure = QStringLiteral("папка не записана на диск: %1").arg(failure);
    if (failure.isEmpty())
        return true;
    emit reader.logginMessage(2, unsavedLine.arg(reader.readerName, path, failure));
    return fail(failure);
}

bool PendingRestore::fail(const QString &reason)
{
    m_failure = reason;
    return false;
}
