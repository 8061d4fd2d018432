#pragma once

#include <QString>

#include <cstdio>

// One line on stdout for the test that runs the server.
inline void record(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
