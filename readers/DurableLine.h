#pragma once

#include <QString>

#include <functional>

// Writes one log line through to the disk: true once the line is there. A
// card write that must leave word first is not sent without it.
using DurableLine = std::function<bool(uchar type, const QString &msg)>;
