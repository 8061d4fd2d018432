#include "card/CardOpResult.h"

#include "card/ErrorTexts.h"
#include "card/PcscCodeTexts.h"
#include "card/StatusWordTexts.h"

namespace {

// Codes print as their unsigned bit pattern: a negative Windows code such as
// 0x80100069 must never come out with a minus sign.
QString upperHex(quint32 value, int minDigits)
{
    return QString::number(value, 16).toUpper().rightJustified(minDigits, QLatin1Char('0'));
}

QString failurePrefix()
{
    return errorTitle() + QLatin1Char(' ');
}

} // namespace

void CardOpResult::reset()
{
    *this = CardOpResult();
    m_msecs = 0;
}

void CardOpResult::setNote(quint8 level, const QString &text)
{
    m_note = text;
    m_noteLevel = level;
    raiseMaxLevel(level);
}

QDateTime CardOpResult::time() const
{
    if (m_msecs == noTime)
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(m_msecs, Qt::UTC).toLocalTime();
}

QString CardOpResult::formatScardError(qint32 code)
{
    const QString text = findScardErrorText(code);
    if (!text.isEmpty())
        return QStringLiteral("(0x%1) %2").arg(upperHex(quint32(code), 1), text);
    return QStringLiteral("(0x%1) UnknownError: %2").arg(upperHex(quint32(code), 8), unknownErrorText());
}

void CardOpResult::setScardResult(qint32 code)
{
    m_msecs = QDateTime::currentMSecsSinceEpoch();
    m_scardStored = true;
    m_scardFailed = code != 0 ? 1 : 0;
    m_scardCode = code;
    raiseMaxLevel(m_scardFailed);
}

QString CardOpResult::scardText() const
{
    if (!m_scardStored)
        return QString();
    return (m_scardFailed ? failurePrefix() : QString()) + formatScardError(m_scardCode);
}

QString CardOpResult::formatStatusWord(quint8 kind, quint16 sw)
{
    const QString text = findStatusWordText(kind, sw);
    if (!text.isEmpty())
        return text;
    return QStringLiteral("(0x%1) %2").arg(upperHex(sw, 4), unknownErrorText());
}

void CardOpResult::setApduResult(quint8 kind, quint16 sw)
{
    m_apduStored = true;
    m_apduFailed = sw != 0x9000 ? 1 : 0;
    m_apduKind = kind;
    m_statusWord = sw;
    raiseMaxLevel(m_apduFailed);
}

QString CardOpResult::apduText() const
{
    if (!m_apduStored)
        return QString();
    return (m_apduFailed ? failurePrefix() : QString()) + formatStatusWord(m_apduKind, m_statusWord);
}

void CardOpResult::setResult(qint32 code, quint8 kind, quint16 sw)
{
    setScardResult(code);
    setApduResult(kind, sw);
}

QString CardOpResult::toString() const
{
    return QStringLiteral("%1 %2").arg(scardText(), apduText());
}

QStringList CardOpResult::toStringList() const
{
    return {scardText(), apduText()};
}

void CardOpResult::scardResult(quint32 &code, QString &text) const
{
    code = quint32(m_scardCode);
    text = scardText();
}

void CardOpResult::apduResult(quint32 &sw, QString &text) const
{
    sw = m_statusWord;
    text = apduText();
}

void CardOpResult::raiseMaxLevel(quint8 level)
{
    if (level > m_maxLevel)
        m_maxLevel = level;
}
