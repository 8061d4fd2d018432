#pragma once

#include <QString>

// The reason a system call gave for failing, as errno `error`: the common
// reasons a file cannot be written in the program's Russian, any other as
// the system words it; `otherwise` when the call left no error number (0).
QString systemErrorText(int error, const QString &otherwise);
