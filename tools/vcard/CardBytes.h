#pragma once

#include <QByteArray>
#include <QtGlobal>

class QString;

// Byte builders for card file contents.
namespace CardBytes {

QByteArray be16(quint16 value);
QByteArray be32(quint32 value);

// Cut or pad (with fill) to exactly size bytes.
QByteArray sized(QByteArray bytes, int size, char fill);

// A card text field: a code-page byte, then the text in that code page,
// padded with spaces. Cyrillic text goes as ISO 8859-5 (0x05), anything else
// as ISO 8859-1 (0x01).
QByteArray codePageText(const QString &text, int size);

// Plain ASCII field padded with spaces (card numbers carry no code page).
QByteArray asciiText(const QByteArray &text, int size);

// Packed decimal digits, two per byte: "19850321" gives 19 85 03 21.
QByteArray bcd(const QByteArray &digits);

// Deterministic filler bytes that look random (key material, certificates).
QByteArray pattern(quint32 seed, int size);

} // namespace CardBytes
