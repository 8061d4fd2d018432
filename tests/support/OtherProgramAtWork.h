#pragma once

#include "tests/support/OtherProgram.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

// Another program at work on the card in a thread of its own until
// destroyed: it resets the card once, or selects other files as fast as it
// can, each two SELECTs bare or in a transaction of its own.
class OtherProgramAtWork
{
public:
    enum Work { Reset, Selects, SelectsInTransactions };

    OtherProgramAtWork(const QString &reader, Work work) : m_thread([=] { run(reader, work); }) {}
    ~OtherProgramAtWork()
    {
        m_stop = true;
        m_thread.join();
    }

    // Reset, or pairs of SELECTs the card carried out.
    std::atomic<int> done{0};

private:
    void run(const QString &reader, Work work)
    {
        OtherProgram other;
        if (!other.connect(reader, Pcsc::SCARD_SHARE_SHARED))
            return;
        if (work == Reset) {
            other.release(Pcsc::SCARD_RESET_CARD);
            ++done;
            return;
        }
        while (!m_stop) {
            const bool held = work == SelectsInTransactions && other.begin();
            const bool selected = other.transmit(QByteArray::fromHex("00A4040C06FF544143484F"))
                && other.transmit(QByteArray::fromHex("00A4020C020502"));
            done += selected;
            if (!selected) // our reads reset the card
                other.reconnect();
            if (held)
                other.end();
        }
    }

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
