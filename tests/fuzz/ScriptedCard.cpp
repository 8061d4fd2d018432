#include "tests/fuzz/ScriptedCard.h"

#include "platform/Pcsc.h"

#include <cstring>

namespace {

const qint32 failures[] = {Pcsc::SCARD_E_NOT_TRANSACTED, Pcsc::SCARD_W_REMOVED_CARD, Pcsc::SCARD_W_RESET_CARD,
                           Pcsc::SCARD_E_TIMEOUT};

// The length the APDU asks for: Le of a case-2 or case-4 command, else none.
int expectedLength(const QByteArray &apdu)
{
    if (apdu.size() < 5)
        return 0;
    const int le = quint8(apdu.back());
    if (apdu.size() == 5 || apdu.size() == 6 + quint8(apdu.at(4)))
        return le == 0 ? 256 : le;
    return 0;
}

} // namespace

bool ScriptedCard::next(quint8 *byte)
{
    if (m_at >= m_size)
        return false;
    *byte = m_input[m_at++];
    return true;
}

QByteArray ScriptedCard::take(int count)
{
    QByteArray bytes(count, '\0');
    const size_t available = qMin(size_t(count), m_size - m_at);
    std::memcpy(bytes.data(), m_input + m_at, available);
    m_at += available;
    return bytes;
}

qint32 ScriptedCard::put(const QByteArray &bytes, quint8 *response, quint32 *length)
{
    // pcsc-lite refuses an answer longer than the caller's buffer.
    if (quint32(bytes.size()) > *length) {
        *length = 0;
        return Pcsc::SCARD_E_INSUFFICIENT_BUFFER;
    }
    std::memcpy(response, bytes.constData(), size_t(bytes.size()));
    *length = quint32(bytes.size());
    return Pcsc::SCARD_S_SUCCESS;
}

qint32 ScriptedCard::answer(const QByteArray &apdu, quint8 *response, quint32 *length)
{
    const QByteArray ok = QByteArrayLiteral("\x90\x00");
    if (m_fillLeft > 0) {
        --m_fillLeft;
        return put(QByteArray(expectedLength(apdu), char(m_fill)) + ok, response, length);
    }
    quint8 header = 0;
    if (!next(&header)) {
        *length = 0;
        return Pcsc::SCARD_W_REMOVED_CARD;
    }
    if (header == 0xFF) {
        m_interrupt();
        header = 0;
    }
    switch (header >> 6) {
    case 0:
        return put(take(expectedLength(apdu)) + ok, response, length);
    case 1:
        m_fillLeft = (1u << (header & 0x0F)) - 1;
        next(&m_fill);
        return put(QByteArray(expectedLength(apdu), char(m_fill)) + ok, response, length);
    case 2: {
        quint8 size = 0;
        next(&size);
        return put(take(size + 2), response, length);
    }
    default:
        *length = 0;
        return failures[header % (sizeof failures / sizeof *failures)];
    }
}
