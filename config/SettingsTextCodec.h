#pragma once

#include <QTextCodec>

// UTF-8 for the settings file. Qt's INI writer hands its codec one UTF-16
// unit at a time, so the plain UTF-8 codec drops both halves of every
// character beyond the Basic Multilingual Plane (an emoji in a folder name);
// this one keeps a first half until its second arrives.
class SettingsTextCodec : public QTextCodec
{
public:
    // Made once; Qt owns every codec and deletes it at exit.
    static QTextCodec *instance();

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
