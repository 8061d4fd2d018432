#include "tests/readers/UnblockCommandHold.h"

#include <QSemaphore>

#include <atomic>

#include <dlfcn.h>
#include <winscard.h>

namespace {

constexpr quint8 resetRetryCounter = 0x2C; // the instruction byte
constexpr int letGoLimitMs = 60000;

std::atomic<bool> armed{false};
QSemaphore caught;
QSemaphore released;

} // namespace

namespace UnblockCommandHold {

void arm()
{
    armed = true;
}

bool waitUntilHeld(int ms)
{
    return caught.tryAcquire(1, ms);
}

void letGo()
{
    released.release();
}

} // namespace UnblockCommandHold

// The executable's definition comes before pcsc-lite's, so the product's
// PC/SC layer calls this one.
extern "C" LONG SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST *sendPci, LPCBYTE sendBuffer,
                              DWORD sendLength, SCARD_IO_REQUEST *recvPci, LPBYTE recvBuffer, LPDWORD recvLength)
{
    using Transmit = LONG (*)(SCARDHANDLE, const SCARD_IO_REQUEST *, LPCBYTE, DWORD, SCARD_IO_REQUEST *, LPBYTE,
                              LPDWORD);
    static const auto pcscLite = reinterpret_cast<Transmit>(dlsym(RTLD_NEXT, "SCardTransmit"));
    if (sendLength > 1 && sendBuffer[1] == resetRetryCounter && armed.exchange(false)) {
        caught.release();
        // A test that failed meanwhile never lets go.
        released.tryAcquire(1, letGoLimitMs);
    }
    return pcscLite(card, sendPci, sendBuffer, sendLength, recvPci, recvBuffer, recvLength);
}
