#pragma once

// The disk of the synced-log round. This executable's fdatasync takes the
// place of the C library's for every caller in the process (our libraries
// are static, so the logger's call lands here); while an object of this
// class lives, each sync first waits as a slow disk would, then syncs.
class SlowSync
{
public:
    explicit SlowSync(int delayMs);
    ~SlowSync();

    SlowSync(const SlowSync&) = delete;
    SlowSync& operator=(const SlowSync&) = delete;
};
