#include "tests/readers/PcscCallHold.h"

#include <QSemaphore>

#include <atomic>

#include <dlfcn.h>
#include <winscard.h>

namespace {

constexpr int noCall = -1;
constexpr quint8 updateBinary = 0xD6; // the instruction bytes
constexpr quint8 resetRetryCounter = 0x2C;
constexpr quint8 readBinary = 0xB0;
constexpr int letGoLimitMs = 60000;

std::atomic<int> armed{noCall};
QSemaphore caught;
QSemaphore released;

void holdIf(PcscCallHold::Call call)
{
    int expected = int(call);
    if (!armed.compare_exchange_strong(expected, noCall))
        return;
    caught.release();
    // A test that failed meanwhile never lets go.
    released.tryAcquire(1, letGoLimitMs);
}

template <typename Function> Function pcscLite(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

namespace PcscCallHold {

void arm(Call call)
{
    armed = int(call);
}

bool waitUntilHeld(int ms)
{
    return caught.tryAcquire(1, ms);
}

void letGo()
{
    released.release();
}

} // namespace PcscCallHold

// The executable's definitions come before pcsc-lite's, so the product's
// PC/SC layer calls these.
extern "C" LONG SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST *sendPci, LPCBYTE sendBuffer,
                              DWORD sendLength, SCARD_IO_REQUEST *recvPci, LPBYTE recvBuffer, LPDWORD recvLength)
{
    using Transmit = LONG (*)(SCARDHANDLE, const SCARD_IO_REQUEST *, LPCBYTE, DWORD, SCARD_IO_REQUEST *, LPBYTE,
                              LPDWORD);
    static const auto transmit = pcscLite<Transmit>("SCardTransmit");
    if (sendLength > 1 && sendBuffer[1] == updateBinary)
        holdIf(PcscCallHold::Call::Update);
    if (sendLength > 1 && sendBuffer[1] == resetRetryCounter)
        holdIf(PcscCallHold::Call::Unblock);
    // The number at offset 1, the chip's file from its start.
    if (sendLength == 5 && sendBuffer[1] == readBinary && sendBuffer[2] == 0 && sendBuffer[3] == 1)
        holdIf(PcscCallHold::Call::NumberRead);
    if (sendLength == 5 && sendBuffer[1] == readBinary && sendBuffer[2] == 0 && sendBuffer[3] == 0)
        holdIf(PcscCallHold::Call::ChipRead);
    return transmit(card, sendPci, sendBuffer, sendLength, recvPci, recvBuffer, recvLength);
}

extern "C" LONG SCardConnect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode, DWORD preferredProtocols,
                             LPSCARDHANDLE card, LPDWORD activeProtocol)
{
    using Connect = LONG (*)(SCARDCONTEXT, LPCSTR, DWORD, DWORD, LPSCARDHANDLE, LPDWORD);
    static const auto connect = pcscLite<Connect>("SCardConnect");
    holdIf(PcscCallHold::Call::Connect);
    return connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
}

extern "C" LONG SCardDisconnect(SCARDHANDLE card, DWORD disposition)
{
    using Disconnect = LONG (*)(SCARDHANDLE, DWORD);
    static const auto disconnect = pcscLite<Disconnect>("SCardDisconnect");
    holdIf(PcscCallHold::Call::Disconnect);
    return disconnect(card, disposition);
}

extern "C" LONG SCardReconnect(SCARDHANDLE card, DWORD shareMode, DWORD preferredProtocols, DWORD initialization,
                               LPDWORD activeProtocol)
{
    using Reconnect = LONG (*)(SCARDHANDLE, DWORD, DWORD, DWORD, LPDWORD);
    static const auto reconnect = pcscLite<Reconnect>("SCardReconnect");
    if (initialization == SCARD_RESET_CARD)
        holdIf(PcscCallHold::Call::Reset);
    return reconnect(card, shareMode, preferredProtocols, initialization, activeProtocol);
}
