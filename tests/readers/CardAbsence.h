#pragma once

#include "platform/Pcsc.h"

#include <QDeadlineTimer>
#include <QString>
#include <QThread>

// Waits until the reader reports no card. After a card left in the middle of
// a transaction the failed reset already shows the reader empty while pcscd's
// poll has not yet seen the card go, and a new card arriving before that poll
// would never be announced: `sinceEvents` (the event count of
// readerEventCount() taken before) then also waits for that poll.
inline bool waitForCardAbsence(const QString &reader, int sinceEvents = -1)
{
    Pcsc::SCARDCONTEXT context = 0;
    if (Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context) != 0)
        return false;
    Pcsc::SCARD_READERSTATEW state;
    state.szReader = reader;
    QDeadlineTimer deadline(15000);
    bool absent = false;
    while (!absent && !deadline.hasExpired()) {
        const qint32 rc = Pcsc::SCardGetStatusChangeW(context, 200, &state, 1);
        if (rc == 0 || rc == Pcsc::SCARD_E_TIMEOUT) {
            absent = (state.dwEventState & Pcsc::SCARD_STATE_EMPTY) != 0
                && int(state.dwEventState >> 16) > sinceEvents;
            state.dwCurrentState = state.dwEventState & ~Pcsc::SCARD_STATE_CHANGED;
        } else {
            QThread::msleep(100);
        }
    }
    Pcsc::SCardReleaseContext(context);
    return absent;
}

// pcscd's count of card events in the reader (the high word of its state).
inline int readerEventCount(const QString &reader)
{
    Pcsc::SCARDCONTEXT context = 0;
    if (Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context) != 0)
        return -1;
    Pcsc::SCARD_READERSTATEW state;
    state.szReader = reader;
    const qint32 rc = Pcsc::SCardGetStatusChangeW(context, 0, &state, 1);
    Pcsc::SCardReleaseContext(context);
    return rc == 0 || rc == Pcsc::SCARD_E_TIMEOUT ? int(state.dwEventState >> 16) : -1;
}
