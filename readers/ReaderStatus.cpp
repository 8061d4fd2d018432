#include "readers/ReaderStatus.h"

#include "platform/Pcsc.h"

using namespace Pcsc;

ReaderStatus readerStatus(quint64 context, const QString &reader)
{
    ReaderStatus status;
    SCARD_READERSTATEW state;
    state.szReader = reader;
    // Unaware: whatever the reader's state, the call returns it at once.
    const qint32 rc = SCardGetStatusChangeW(context, 0, &state, 1);
    if (rc != SCARD_S_SUCCESS || (state.dwEventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_UNAVAILABLE)))
        return status;
    status.known = true;
    status.cardPresent = state.dwEventState & SCARD_STATE_PRESENT;
    status.cardHeld = state.dwEventState & (SCARD_STATE_INUSE | SCARD_STATE_EXCLUSIVE);
    status.cardEvents = state.dwEventState >> 16;
    return status;
}
