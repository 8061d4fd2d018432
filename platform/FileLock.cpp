#include "platform/FileLock.h"

#include "platform/SystemErrorText.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr long sliceMs = 20;

bool ownRegularFile(const struct stat &info)
{
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

} // namespace

FileLock::FileLock(const QString &path) : m_path(path)
{
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileLock::Outcome FileLock::lock(int waitMs, const std::function<bool()> &cancelled)
{
    const QByteArray name = QFile::encodeName(m_path);
    struct stat info = {};
    // Opening a device may itself act on it, so its type is looked at first.
    if (::lstat(name.constData(), &info) == 0 && !ownRegularFile(info))
        return fail(Outcome::NotOwnFile);
    // Neither a link nor a pipe put in its place since can hold the open.
    m_fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return fail(errno == ELOOP || errno == EISDIR ? Outcome::NotOwnFile : Outcome::Failed, errno);
    if (::fstat(m_fd, &info) != 0 || !ownRegularFile(info))
        return fail(Outcome::NotOwnFile);
    QElapsedTimer waited;
    waited.start();
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return fail(Outcome::Failed, errno);
        if (cancelled && cancelled())
            return fail(Outcome::Cancelled);
        if (waited.elapsed() >= waitMs)
            return fail(Outcome::Busy);
        const struct timespec slice = {0, sliceMs * 1000 * 1000};
        ::nanosleep(&slice, nullptr);
    }
    return Outcome::Locked;
}

FileLock::Outcome FileLock::fail(Outcome outcome, int error)
{
    m_errorText = systemErrorText(error, QString());
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    return outcome;
}
