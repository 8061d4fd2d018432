#include "config/SettingsTextCodec.h"

QTextCodec *SettingsTextCodec::instance()
{
    static QTextCodec *const codec = new SettingsTextCodec;
    return codec;
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

QString SettingsTextCodec::convertToUnicode(const char *in, int length, ConverterState *state) const
{
    return m_utf8->toUnicode(in, length, state);
}

QByteArray SettingsTextCodec::convertFromUnicode(const QChar *in, int length, ConverterState *state) const
{
    return m_utf8->fromUnicode(in, length, state ? state : &m_pending);
}
