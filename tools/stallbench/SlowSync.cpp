#include "tools/stallbench/SlowSync.h"

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<int> syncDelayMs{0};

} // namespace

SlowSync::SlowSync(int delayMs)
{
    syncDelayMs = delayMs;
}

SlowSync::~SlowSync()
{
    syncDelayMs = 0;
}

extern "C" int fdatasync(int fd)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(syncDelayMs.load()));
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}
