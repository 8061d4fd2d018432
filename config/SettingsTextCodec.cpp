#include "config/SettingsTextCodec.h"

namespace {

constexpr ushort byteEscapeBase = 0xDC00;

bool isByteEscape(QChar character)
{
    return character.unicode() >= byteEscapeBase + 0x80 && character.unicode() <= byteEscapeBase + 0xFF;
}

// The length of the well-formed UTF-8 character at the start of in, or 0:
// overlong forms, surrogates and code points beyond U+10FFFF are not.
int utf8CharacterLength(const uchar *in, int length)
{
    const uchar lead = in[0];
    if (lead < 0x80)
        return 1;
    int size = 0;
    uchar low = 0x80, high = 0xBF; // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    }
    if (size == 0 || length < size || in[1] < low || in[1] > high)
        return 0;
    for (int i = 2; i < size; ++i) {
        if ((in[i] & 0xC0) != 0x80)
            return 0;
    }
    return size;
}

} // namespace

QTextCodec *SettingsTextCodec::instance()
{
    static QTextCodec *const codec = new SettingsTextCodec;
    return codec;
}

bool SettingsTextCodec::hasNonUtf8Bytes(const QString &value)
{
    for (int i = 0; i < value.size(); ++i) {
        if (isByteEscape(value.at(i)) && (i == 0 || !value.at(i - 1).isHighSurrogate()))
            return true;
    }
    return false;
}

SettingsTextCodec::SettingsTextCodec()
    : m_utf8(QTextCodec::codecForName("UTF-8"))
{
}

QByteArray SettingsTextCodec::name() const
{
    return QByteArrayLiteral("x-drvp-settings-utf-8");
}

int SettingsTextCodec::mibEnum() const
{
    // Outside the registered numbers, so no lookup by number finds this codec.
    return -3901;
}

// The INI reader hands whole pieces of a value, cut at ASCII quotes, commas
// and backslashes, so a character never spans two calls.
QString SettingsTextCodec::convertToUnicode(const char *in, int length, ConverterState *state) const
{
    const auto *bytes = reinterpret_cast<const uchar *>(in);
    QString text;
    int run = 0; // start of the well-formed bytes not yet decoded
    for (int i = 0; i < length;) {
        const int size = utf8CharacterLength(bytes + i, length - i);
        if (size > 0) {
            i += size;
            continue;
        }
        text += m_utf8->toUnicode(in + run, i - run, state);
        text += QChar(ushort(byteEscapeBase + bytes[i]));
        run = ++i;
    }
    return text + m_utf8->toUnicode(in + run, length - run, state);
}

QByteArray SettingsTextCodec::convertFromUnicode(const QChar *in, int length, ConverterState *state) const
{
    ConverterState *const pending = state ? state : &m_pending;
    QByteArray bytes;
    int run = 0; // start of the characters not yet encoded
    for (int i = 0; i < length; ++i) {
        // After a first half (held from the call before, when i is 0) it is a character's second half.
        const bool secondHalf = i > run ? in[i - 1].isHighSurrogate() : i == 0 && pending->remainingChars > 0;
        if (!isByteEscape(in[i]) || secondHalf)
            continue;
        bytes += m_utf8->fromUnicode(in + run, i - run, pending);
        bytes += char(in[i].unicode() - byteEscapeBase);
        run = i + 1;
    }
    return bytes + m_utf8->fromUnicode(in + run, length - run, pending);
}
