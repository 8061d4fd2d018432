#pragma once

#include "card/TachographCard.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <functional>

// A card whose every answer comes from the fuzz input, read in order, one
// header byte per APDU:
//   0x00-0x3F  the length the APDU asks for, bytes from the input (zeros once
//              it runs out), then 90 00
//   0x40-0x7F  the next 2^(h & 15) APDUs get the length they ask for, every
//              byte the next input byte, then 90 00 (long files from short input)
//   0x80-0xBF  a length byte, that many bytes, then two status bytes, all
//              from the input: any length and any status word
//   0xC0-0xFE  a PC/SC failure
//   0xFF       the user interrupts while this APDU runs; the rest as 0x00
// When the input is used up the card is gone.
class ScriptedCard
{
public:
    ScriptedCard(const uint8_t *input, size_t size, std::function<void()> interrupt)
        : m_input(input), m_size(size), m_interrupt(std::move(interrupt))
    {
    }

    TachographCard::Transmitter transmitter()
    {
        return [this](const QByteArray &apdu, quint8 *response, quint32 *length) {
            return answer(apdu, response, length);
        };
    }

private:
    qint32 answer(const QByteArray &apdu, quint8 *response, quint32 *length);
    qint32 put(const QByteArray &bytes, quint8 *response, quint32 *length);
    bool next(quint8 *byte);
    QByteArray take(int count);

    const uint8_t *m_input;
    size_t m_size;
    std::function<void()> m_interrupt;
    size_t m_at = 0;
    quint32 m_fillLeft = 0;
    quint8 m_fill = 0;
};
