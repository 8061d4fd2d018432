#include "platform/DraftFile.h"

#include "platform/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Hidden, and with a prefix and suffix no other program's files have: the
// clean-up removes only these.
constexpr char draftPrefix[] = ".drvp-draft-";
constexpr char draftSuffix[] = ".part";
constexpr char draftLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int draftRandomLength = 6;
constexpr int maxCreateAttempts = 100;

const QString noReason = QStringLiteral("Система не назвала причину");

QByteArray newDraftName()
{
    QByteArray name(draftPrefix);
    for (int i = 0; i < draftRandomLength; ++i)
        name += draftLetters[QRandomGenerator::global()->bounded(int(sizeof draftLetters) - 1)];
    return name + draftSuffix;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int openFolder(const QString &folder)
{
    return ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

DraftFile::~DraftFile()
{
    discard();
}

// Created with 0666 so the placed file gets the permissions the umask gives.
bool DraftFile::create(const QString &folder)
{
    discard();
    m_folder = openFolder(folder);
    if (m_folder < 0)
        return fail(QFileDevice::OpenError, errno);
    for (int attempt = 0; attempt < maxCreateAttempts; ++attempt) {
        m_draftName = newDraftName();
        m_file = ::openat(m_folder, m_draftName.constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        if (m_file < 0 && errno != EEXIST)
            return fail(QFileDevice::OpenError, errno);
        if (m_file < 0)
            continue;
        const bool locked = ::flock(m_file, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno != EWOULDBLOCK)
            return fail(QFileDevice::OpenError, errno);
        if (locked && stillNamed())
            return true;
        // Another program's clean-up took the fresh draft before our lock.
        ::close(m_file);
        m_file = -1;
    }
    return fail(QFileDevice::OpenError, EEXIST);
}

bool DraftFile::write(const QByteArray &bytes)
{
    const char *next = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        errno = 0;
        const ssize_t written = ::write(m_file, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail(QFileDevice::WriteError, errno);
        next += written;
        left -= written;
    }
    return ::fsync(m_file) == 0 || fail(QFileDevice::WriteError, errno);
}

DraftFile::Placed DraftFile::place(const QString &name)
{
    const QByteArray target = QFile::encodeName(name);
    const char *draft = m_draftName.constData();
    int result = ::linkat(m_folder, draft, m_folder, target.constData(), 0);
    if (result == 0) {
        // Still under our lock, so the name is still ours. Should it stay, the
        // next clean-up takes it: the file is whole under its name already.
        ::unlinkat(m_folder, draft, 0);
    } else if (errno == EPERM || errno == EOPNOTSUPP) {
        // FAT and exFAT, the usual file systems of USB sticks, have no hard links.
        result = ::renameat2(m_folder, draft, m_folder, target.constData(), RENAME_NOREPLACE);
    }
    if (result != 0 && errno == EEXIST)
        return Placed::NameTaken;
    if (result != 0) {
        fail(QFileDevice::RenameError, errno);
        return Placed::Failed;
    }
    m_draftName.clear();
    if (::fsync(m_folder) != 0) {
        // The name might not outlive a power cut: no file rather than one reported unsaved.
        const int error = errno;
        ::unlinkat(m_folder, target.constData(), 0);
        fail(QFileDevice::WriteError, error);
        return Placed::Failed;
    }
    discard();
    return Placed::Done;
}

// A writer holds its draft's lock from creation to its end; the name must
// still be the file locked, or it is no longer that draft.
int DraftFile::removeAbandoned(const QString &folder)
{
    const int folderFd = openFolder(folder);
    if (folderFd < 0)
        return 0;
    const QString pattern = QString::fromLatin1(draftPrefix) + QString(draftRandomLength, QLatin1Char('?'))
        + QString::fromLatin1(draftSuffix);
    const QStringList names =
        QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden | QDir::CaseSensitive | QDir::NoSymLinks);
    int removed = 0;
    for (const QString &name : names) {
        const QByteArray local = QFile::encodeName(name);
        const int fd = ::openat(folderFd, local.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held = {};
        struct stat named = {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0
            && ::fstatat(folderFd, local.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(held, named)
            && ::unlinkat(folderFd, local.constData(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::close(folderFd);
    return removed;
}

bool DraftFile::stillNamed() const
{
    struct stat held = {};
    struct stat named = {};
    return ::fstat(m_file, &held) == 0
        && ::fstatat(m_folder, m_draftName.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(held, named);
}

bool DraftFile::fail(QFileDevice::FileError code, int error)
{
    m_errorCode = int(code);
    m_errorText = systemErrorText(error, noReason);
    discard();
    return false;
}

void DraftFile::discard()
{
    // Removed before its lock goes, so a clean-up never finds it unheld.
    if (m_file >= 0 && !m_draftName.isEmpty())
        ::unlinkat(m_folder, m_draftName.constData(), 0);
    if (m_file >= 0)
        ::close(m_file);
    if (m_folder >= 0)
        ::close(m_folder);
    m_file = -1;
    m_folder = -1;
    m_draftName.clear();
}
