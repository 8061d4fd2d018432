#pragma once

#include <QString>

#include <memory>

class QByteArray;
class QTextDecoder;

// Collects the bytes of one framed reply. Bytes may arrive in pieces of any
// size: the header and multi-byte characters may be split between reads.
class KvobReplyReader
{
public:
    enum class State { Incomplete, Complete, FormatError };

    KvobReplyReader();
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
    State checkHeader();
    State checkLength() const;

    std::unique_ptr<QTextDecoder> m_decoder;
    QString m_text;
    int m_headerLength = 0;
    int m_expectedLength = 0;
    State m_state = State::Incomplete;
};
