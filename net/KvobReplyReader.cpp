#include "net/KvobReplyReader.h"

#include "card/SecretBytes.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QTextCodec>

namespace {

// Length of the complete, valid multi-byte UTF-8 sequences at the start.
int validSequences(const QByteArray& bytes)
{
    int at = 0;
    while (at < bytes.size()) {
        const uchar lead = uchar(bytes.at(at));
        if (lead < 0xC2 || lead > 0xF4)
            return at;
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        // The second byte's range excludes overlong forms, surrogates and
        // code points above U+10FFFF.
        const uchar low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const uchar high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (at + length > bytes.size())
            return at;
        for (int i = 1; i < length; ++i) {
            const uchar next = uchar(bytes.at(at + i));
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF))
                return at;
        }
        at += length;
    }
    return at;
}

// A byte-order mark inside the reply is a character like any other.
QString fromUtf8(const QByteArray& bytes, int size)
{
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    return QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), size, &state);
}

} // namespace

KvobReplyReader::~KvobReplyReader()
{
    SecretBytes::overwrite(m_held);
    SecretBytes::overwrite(m_text);
}

KvobReplyReader::State KvobReplyReader::feed(const QByteArray& bytes)
{
    if (m_state != State::Incomplete)
        return m_state;
    decode(bytes);
    m_state = headerReceived() ? checkLength() : checkHeader();
    return m_state;
}

QString KvobReplyReader::body() const
{
    return m_state == State::Complete ? m_text.mid(m_headerLength) : QString();
}

// The text must not depend on how the bytes were split, or one reply could
// be complete or too long by the network's whim. UTF-8 starts afresh at an
// ASCII byte, so everything up to the last one is decoded at once; after it
// only complete, valid sequences are, the rest waits for more bytes.
void KvobReplyReader::decode(const QByteArray& bytes)
{
    const int before = m_held.size();
    m_held += bytes;
    int cut = m_held.size();
    while (cut > before && uchar(m_held.at(cut - 1)) >= 0x80)
        --cut;
    if (cut == before)
        cut = 0; // no ASCII byte came, and none is held
    QByteArray undecided = m_held.mid(cut);
    cut += validSequences(undecided);
    SecretBytes::overwrite(undecided);
    QString decoded = fromUtf8(m_held, cut);
    m_text += decoded;
    SecretBytes::overwrite(decoded);
    m_held.remove(0, cut);
}

KvobReplyReader::State KvobReplyReader::checkHeader()
{
    static const QRegularExpression header(QStringLiteral(R"(^(?<header>\[SIZE\]:(?<size>\d{1,7});\r\n\[BODY\]:))"));
    if (m_text.isEmpty() && m_held.isEmpty())
        return State::Incomplete;
    const QRegularExpressionMatch match = header.match(m_text, 0, QRegularExpression::PartialPreferCompleteMatch);
    if (!match.hasMatch()) {
        // Held bytes are no ASCII, so they cannot go on a partial header.
        return match.hasPartialMatch() && m_held.isEmpty() ? State::Incomplete : State::FormatError;
    }
    m_headerLength = match.capturedLength(QStringLiteral("header"));
    m_expectedLength = m_headerLength + match.captured(QStringLiteral("size")).toInt();
    return checkLength();
}

KvobReplyReader::State KvobReplyReader::checkLength() const
{
    // Held bytes start at least one more character.
    const bool pending = !m_held.isEmpty();
    if (m_text.size() + (pending ? 1 : 0) > m_expectedLength)
        return State::FormatError;
    return !pending && m_text.size() == m_expectedLength ? State::Complete : State::Incomplete;
}
