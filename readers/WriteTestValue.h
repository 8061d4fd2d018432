#pragma once

#include <QByteArray>
#include <QString>

// How the write tests name a value of EF 0x050E (a time) or EF 0x0509 (a
// count), in the rows, the boxes and the log alike.
namespace WriteTestValue {

// "0x7E2 / 2018"; for a time ", соответствует" and the local time follow.
QString text(bool isTime, qint64 value);
// The file's bytes as the big-endian number the card stores.
quint32 fromBytes(const QByteArray &bytes);
// `value` as the file's `size` bytes.
QByteArray toBytes(quint32 value, int size);

} // namespace WriteTestValue
