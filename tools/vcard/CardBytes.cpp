#include "tools/vcard/CardBytes.h"

#include <QString>
#include <QTextCodec>

namespace CardBytes {

QByteArray be16(quint16 value)
{
    QByteArray out;
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
    return out;
}

QByteArray be32(quint32 value)
{
    return be16(quint16(value >> 16)) + be16(quint16(value & 0xFFFF));
}

QByteArray sized(QByteArray bytes, int size, char fill)
{
    if (bytes.size() > size)
        bytes.truncate(size);
    else
        bytes.append(QByteArray(size - bytes.size(), fill));
    return bytes;
}

QByteArray codePageText(const QString &text, int size)
{
    bool cyrillic = false;
    for (const QChar c : text)
        cyrillic = cyrillic || (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF);
    const char codePage = cyrillic ? 0x05 : 0x01;
    QTextCodec *codec = QTextCodec::codecForName(cyrillic ? "ISO-8859-5" : "ISO-8859-1");
    return sized(codePage + codec->fromUnicode(text), size, ' ');
}

QByteArray asciiText(const QByteArray &text, int size)
{
    return sized(text, size, ' ');
}

QByteArray bcd(const QByteArray &digits)
{
    QByteArray out;
    for (int i = 0; i + 1 < digits.size(); i += 2)
        out.append(char(((digits.at(i) - '0') << 4) | (digits.at(i + 1) - '0')));
    return out;
}

QByteArray pattern(quint32 seed, int size)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 state = seed * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        out[i] = char(state >> 24);
    }
    return out;
}

} // namespace CardBytes
