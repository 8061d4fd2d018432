#pragma once

#include <QByteArray>
#include <QString>

// Collects the bytes of one framed reply. Bytes may arrive in pieces of any
// size: the header and multi-byte characters may be split between reads.
class KvobReplyReader
{
public:
    enum class State { Incomplete, Complete, FormatError };

    KvobReplyReader() = default;
    // A reply may hold a PUK: its texts are overwritten, not just let go.
    ~KvobReplyReader();
    KvobReplyReader(const KvobReplyReader&) = delete;
    KvobReplyReader& operator=(const KvobReplyReader&) = delete;

    State feed(const QByteArray& bytes);

    State state() const { return m_state; }
    bool headerReceived() const { return m_headerLength > 0; }
    // Header length plus announced body length, in UTF-16 code units.
    int expectedLength() const { return m_expectedLength; }
    // The reply body once complete.
    QString body() const;

private:
    void decode(const QByteArray& bytes);
    State checkHeader();
    State checkLength() const;

    // Bytes not decoded yet: a sequence still incomplete or invalid and what
    // followed it, none of them ASCII.
    QByteArray m_held;
    QString m_text;
    int m_headerLength = 0;
    int m_expectedLength = 0;
    State m_state = State::Incomplete;
};
