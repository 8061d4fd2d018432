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
    m_time = QDateTime::fromSecsSinceEpoch(0);
}

void CardOpResult::setNote(quint8 level, const QString &text)
{
    m_note = text;
    m_noteLevel = level;
    raiseMaxLevel(level);
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
    m_time = QDateTime::currentDateTime();
    m_scardFailed = code != 0 ? 1 : 0;
    m_scardText = m_scardFailed ? failurePrefix() : QString();
    m_scardText += formatScardError(code);
    m_scardCode = code;
    raiseMaxLevel(m_scardFailed);
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
    m_apduFailed = sw != 0x9000 ? 1 : 0;
    m_apduText = m_apduFailed ? failurePrefix() : QString();
    m_apduText += formatStatusWord(kind, sw);
    m_statusWord = sw;
    raiseMaxLevel(m_apduFailed);
}

void CardOpResult::setResult(qint32 code, quint8 kind, quint16 sw)
{
    setScardResult(code);
    setApduResult(kind, sw);
}

QString CardOpResult::toString() const
{
    return QStringLiteral("%1 %2").arg(m_scardText, m_apduText);
}

QStringList CardOpResult::toStringList() const
{
    return {m_scardText, m_apduText};
}

void CardOpResult::scardResult(quint32 &code, QString &text) const
{
    code = quint32(m_scardCode);
    text = m_scardText;
}

void CardOpResult::apduResult(quint32 &sw, QString &text) const
{
    sw = m_statusWord;
    text = m_apduText;
}

void CardOpResult::raiseMaxLevel(quint8 level)
{
    if (level > m_maxLevel)
        m_maxLevel = level;
}
