#pragma once

#include <QTextCodec>

// UTF-8 for the settings file. Qt's INI writer hands its codec one UTF-16
// unit at a time, so the plain UTF-8 codec drops both halves of every
// character beyond the Basic Multilingual Plane (an emoji in a folder name);
// this one keeps a first half until its second arrives.
// A byte that is no part of a UTF-8 character (a value typed in another
// encoding) is read as a lone surrogate U+DC80..U+DCFF, which no UTF-8 text
// reads as, and written back as the same byte: the plain codec would read
// U+FFFD, and every later write of the file would put that in its place.
class SettingsTextCodec : public QTextCodec
{
public:
    // Made once; Qt owns every codec and deletes it at exit.
    static QTextCodec *instance();
    // True when a value read through this codec holds bytes that are not UTF-8.
    static bool hasNonUtf8Bytes(const QString &value);

    QByteArray name() const override;
    int mibEnum() const override;

protected:
    QString convertToUnicode(const char *in, int length, ConverterState *state) const override;
    QByteArray convertFromUnicode(const QChar *in, int length, ConverterState *state) const override;

private:
    SettingsTextCodec();

    QTextCodec *const m_utf8;
    // The writer's calls carry no state of their own; used in the GUI thread only.
    mutable ConverterState m_pending{IgnoreHeader};
};
