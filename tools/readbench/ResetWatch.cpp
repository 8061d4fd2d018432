#include "tools/readbench/ResetWatch.h"

#include <dlfcn.h>
#include <winscard.h>

namespace {

std::function<void(quint64)> &listener()
{
    static std::function<void(quint64)> onReset;
    return onReset;
}

} // namespace

namespace ResetWatch {

void watch(std::function<void(quint64 handle)> onReset)
{
    listener() = std::move(onReset);
}

} // namespace ResetWatch

// The executable's definition comes before pcsc-lite's, so the product's
// PC/SC layer calls this one.
extern "C" LONG SCardReconnect(SCARDHANDLE card, DWORD shareMode, DWORD preferredProtocols, DWORD initialization,
                               LPDWORD activeProtocol)
{
    using Reconnect = LONG (*)(SCARDHANDLE, DWORD, DWORD, DWORD, LPDWORD);
    static const auto pcscLite = reinterpret_cast<Reconnect>(dlsym(RTLD_NEXT, "SCardReconnect"));
    if (initialization == SCARD_RESET_CARD && listener())
        listener()(quint64(card));
    return pcscLite(card, shareMode, preferredProtocols, initialization, activeProtocol);
}
