#pragma once

#include <QtGlobal>

// What the running process holds at one moment, as the system and the
// allocator tell it.
struct ProcessFigures
{
    static ProcessFigures now();

    qint64 residentKb = -1;
    // Bytes in allocated heap blocks (mallinfo2's uordblks), all arenas.
    qint64 heapBytes = -1;
    int descriptors = -1;
    int threads = -1;
};
