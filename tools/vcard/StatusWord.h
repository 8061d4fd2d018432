#pragma once

#include <QtGlobal>

// Status words the card answers with.
namespace StatusWord {

constexpr quint16 ok = 0x9000;
constexpr quint16 endOfFileReached = 0x6282;
constexpr quint16 wrongLength = 0x6700;
constexpr quint16 securityNotSatisfied = 0x6982;
constexpr quint16 blocked = 0x6983;
constexpr quint16 conditionsNotSatisfied = 0x6985;
constexpr quint16 noCurrentFile = 0x6986;
constexpr quint16 fileNotFound = 0x6A82;
constexpr quint16 wrongParameters = 0x6A86;
constexpr quint16 offsetOutsideFile = 0x6B00;
constexpr quint16 unknownInstruction = 0x6D00;
constexpr quint16 unknownClass = 0x6E00;

// Wrong PIN or PUK: the low nibble is the number of tries left.
constexpr quint16 wrongSecret(int triesLeft) { return quint16(0x63C0 | (triesLeft & 0x0F)); }

} // namespace StatusWord
