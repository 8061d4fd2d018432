#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <limits>

// Outcome of one card command: the PC/SC code and the status word with their
// texts, the time of the call, an optional refusal note, and the highest level
// seen since the last reset. Levels: 0 nothing to report, 1 a failed PC/SC call
// or a status word other than 0x9000, 2 a refusal note.
//
// PC/SC codes are Windows-valued 32-bit numbers (0x80100069 is negative here);
// the platform layer narrows pcsc-lite's 64-bit LONG before it gets this far.
class CardOpResult
{
public:
    CardOpResult() = default;

    void reset();
    void setNote(quint8 level, const QString &text);

    static QString formatScardError(qint32 code);
    void setScardResult(qint32 code);

    // kind is one of ApduKind (card/StatusWordTexts.h).
    static QString formatStatusWord(quint8 kind, quint16 sw);
    void setApduResult(quint8 kind, quint16 sw);

    // Called once per APDU, right after the transmission.
    void setResult(qint32 code, quint8 kind, quint16 sw);

    // "<PC/SC text> <status-word text>"; the note is not part of it.
    QString toString() const;
    QStringList toStringList() const;
    void scardResult(quint32 &code, QString &text) const;
    void apduResult(quint32 &sw, QString &text) const;

    quint8 scardFailed() const { return m_scardFailed; }
    qint32 scardCode() const { return m_scardCode; }
    QString scardText() const;
    quint8 apduFailed() const { return m_apduFailed; }
    quint16 statusWord() const { return m_statusWord; }
    QString apduText() const;
    // Local time; null before the first reset or PC/SC result.
    QDateTime time() const;
    quint8 noteLevel() const { return m_noteLevel; }
    QString note() const { return m_note; }
    quint8 maxLevel() const { return m_maxLevel; }

private:
    static constexpr qint64 noTime = std::numeric_limits<qint64>::min();

    void raiseMaxLevel(quint8 level);

    // The texts are formed when asked for: most results are never shown.
    bool m_scardStored = false;
    quint8 m_scardFailed = 0;
    qint32 m_scardCode = 0;
    bool m_apduStored = false;
    quint8 m_apduFailed = 0;
    quint8 m_apduKind = 0;
    quint16 m_statusWord = 0;
    // UTC milliseconds: every command stamps one, so it only reads the clock.
    qint64 m_msecs = noTime;
    quint8 m_noteLevel = 0;
    QString m_note;
    quint8 m_maxLevel = 0;
};
