#pragma once

#include <QString>

// Command kinds: one status word means different things after different
// commands, so each kind has its own table of texts.
namespace ApduKind {
enum : quint8 {
    Select = 0,
    ReadBinary = 1,
    Signature = 2,
    Hash = 3,
    UpdateBinary = 4,
    VerifyPin = 5,
    Unblock = 6,
};
}

// The text of a status word after a command of the given kind; empty when the
// kind's table has no row for it or the kind is unknown.
QString findStatusWordText(quint8 kind, quint16 sw);
