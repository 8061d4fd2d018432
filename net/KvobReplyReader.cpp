#include "net/KvobReplyReader.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QTextCodec>
#include <QTextDecoder>

KvobReplyReader::KvobReplyReader()
    : m_decoder(QTextCodec::codecForName("UTF-8")->makeDecoder())
{
}

KvobReplyReader::~KvobReplyReader() = default;

KvobReplyReader::State KvobReplyReader::feed(const QByteArray& bytes)
{
    if (m_state != State::Incomplete)
        return m_state;
    m_text += m_decoder->toUnicode(bytes);
    m_state = headerReceived() ? checkLength() : checkHeader();
    return m_state;
}

QString KvobReplyReader::body() const
{
    return m_state == State::Complete ? m_text.mid(m_headerLength) : QString();
}

KvobReplyReader::State KvobReplyReader::checkHeader()
{
    static const QRegularExpression header(QStringLiteral(R"(^(?<header>\[SIZE\]:(?<size>\d{1,7});\r\n\[BODY\]:))"));
    if (m_text.isEmpty())
        return State::Incomplete;
    const QRegularExpressionMatch match = header.match(m_text, 0, QRegularExpression::PartialPreferCompleteMatch);
    if (match.hasPartialMatch())
        return State::Incomplete;
    if (!match.hasMatch())
        return State::FormatError;
    m_headerLength = match.capturedLength(QStringLiteral("header"));
    m_expectedLength = m_headerLength + match.captured(QStringLiteral("size")).toInt();
    return checkLength();
}

KvobReplyReader::State KvobReplyReader::checkLength() const
{
    // Bytes held back by the decoder start at least one more character.
    const bool pending = m_decoder->needsMoreData();
    if (m_text.size() + (pending ? 1 : 0) > m_expectedLength)
        return State::FormatError;
    return !pending && m_text.size() == m_expectedLength ? State::Complete : State::Incomplete;
}
