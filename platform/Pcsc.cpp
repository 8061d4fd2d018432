#include "platform/Pcsc.h"

// After our header: pcsc-lite defines most of the Windows names as macros.
#include <winscard.h>

#include <QByteArray>

#include <cstdlib>
#include <vector>

namespace Pcsc {

namespace {

const SCARD_IO_REQUEST t0Pci{1, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST t1Pci{2, sizeof(SCARD_IO_REQUEST)};

// pcsc-lite returns a 64-bit LONG holding the Windows code in its low 32 bits.
qint32 windowsCode(LONG rc) { return qint32(quint32(rc)); }

// pcsc-lite gives the card state as an event counter over a bit mask
// (ABSENT 0x2 ... SPECIFIC 0x40); Windows gives one value 0..6.
quint32 windowsCardState(DWORD state)
{
    const quint32 mask = quint32(state) & 0xFFFF;
    quint32 value = 0;
    for (quint32 bit = 0x02, windowsValue = 1; bit <= 0x40; bit <<= 1, ++windowsValue) {
        if (mask & bit)
            value = windowsValue;
    }
    return value;
}

const ::SCARD_IO_REQUEST *nativePci(const SCARD_IO_REQUEST *pci)
{
    if (!pci)
        return nullptr;
    if (pci->dwProtocol == SCARD_PROTOCOL_T0)
        return &::g_rgSCardT0Pci;
    if (pci->dwProtocol == SCARD_PROTOCOL_T1)
        return &::g_rgSCardT1Pci;
    return nullptr;
}

// Without it pcsc-lite's client library makes a command, a reconnect or a
// status query of ours wait, with no bound and beyond any cancel, while
// another program holds the card's transaction, which can happen only once
// ours is lost (the card pulled in our hold); they are refused at once
// instead. Read at the process's first context: set before main runs.
[[maybe_unused]] const bool commandsNeverWait = ::setenv("PCSCLITE_NO_BLOCKING", "1", 1) == 0;

} // namespace

const SCARD_IO_REQUEST *const g_rgSCardT0Pci = &t0Pci;
const SCARD_IO_REQUEST *const g_rgSCardT1Pci = &t1Pci;

const QString pnpNotificationReader = QStringLiteral("\\\\?PnP?\\Notification");

qint32 SCardEstablishContext(quint32 scope, SCARDCONTEXT *context)
{
    ::SCARDCONTEXT native = 0;
    const LONG rc = ::SCardEstablishContext(scope, nullptr, nullptr, &native);
    *context = rc == SCARD_S_SUCCESS ? SCARDCONTEXT(native) : 0;
    return windowsCode(rc);
}

qint32 SCardReleaseContext(SCARDCONTEXT context)
{
    return windowsCode(::SCardReleaseContext(::SCARDCONTEXT(context)));
}

qint32 SCardCancel(SCARDCONTEXT context)
{
    return windowsCode(::SCardCancel(::SCARDCONTEXT(context)));
}

qint32 SCardListReadersW(SCARDCONTEXT context, QStringList *readers, qint32 *freeResult)
{
    readers->clear();
    if (freeResult)
        *freeResult = 0;
    char *multiString = nullptr;
    DWORD length = SCARD_AUTOALLOCATE;
    const LONG rc = ::SCardListReaders(::SCARDCONTEXT(context), nullptr,
                                       reinterpret_cast<char *>(&multiString), &length);
    if (rc != SCARD_S_SUCCESS)
        return windowsCode(rc);
    const QByteArray bytes(multiString, int(length));
    const LONG freed = ::SCardFreeMemory(::SCARDCONTEXT(context), multiString);
    if (freeResult)
        *freeResult = windowsCode(freed);
    for (const QByteArray &name : bytes.split('\0')) {
        if (!name.isEmpty())
            readers->append(QString::fromUtf8(name));
    }
    return 0;
}

qint32 SCardGetStatusChangeW(SCARDCONTEXT context, quint32 timeoutMs, SCARD_READERSTATEW *states,
                             quint32 count)
{
    // The native entries point into these bytes, so they live for the whole call.
    std::vector<QByteArray> names(count);
    std::vector<::SCARD_READERSTATE> native(count);
    for (quint32 i = 0; i < count; ++i) {
        names[i] = states[i].szReader.toUtf8();
        native[i] = {};
        native[i].szReader = names[i].constData();
        native[i].pvUserData = states[i].pvUserData;
        native[i].dwCurrentState = states[i].dwCurrentState;
    }
    const LONG rc = ::SCardGetStatusChange(::SCARDCONTEXT(context), timeoutMs, native.data(), count);
    for (quint32 i = 0; i < count; ++i) {
        states[i].dwEventState = quint32(native[i].dwEventState);
        states[i].cbAtr = qMin<quint32>(quint32(native[i].cbAtr), MAX_ATR_SIZE);
        memcpy(states[i].rgbAtr, native[i].rgbAtr, states[i].cbAtr);
    }
    return windowsCode(rc);
}

qint32 SCardConnectW(SCARDCONTEXT context, const QString &reader, quint32 shareMode,
                     quint32 preferredProtocols, SCARDHANDLE *card, quint32 *activeProtocol)
{
    ::SCARDHANDLE handle = 0;
    DWORD protocol = 0;
    const LONG rc = ::SCardConnect(::SCARDCONTEXT(context), reader.toUtf8().constData(), shareMode,
                                   preferredProtocols, &handle, &protocol);
    if (rc == SCARD_S_SUCCESS) {
        *card = SCARDHANDLE(handle);
        *activeProtocol = quint32(protocol);
    }
    return windowsCode(rc);
}

qint32 SCardDisconnect(SCARDHANDLE card, quint32 disposition)
{
    return windowsCode(::SCardDisconnect(::SCARDHANDLE(card), disposition));
}

qint32 SCardReconnect(SCARDHANDLE card, quint32 shareMode, quint32 preferredProtocols, quint32 initialization,
                      quint32 *activeProtocol)
{
    DWORD protocol = 0;
    const LONG rc = ::SCardReconnect(::SCARDHANDLE(card), shareMode, preferredProtocols, initialization, &protocol);
    if (rc == SCARD_S_SUCCESS)
        *activeProtocol = quint32(protocol);
    return windowsCode(rc);
}

qint32 SCardBeginTransaction(SCARDHANDLE card)
{
    return windowsCode(::SCardBeginTransaction(::SCARDHANDLE(card)));
}

qint32 SCardEndTransaction(SCARDHANDLE card, quint32 disposition)
{
    return windowsCode(::SCardEndTransaction(::SCARDHANDLE(card), disposition));
}

qint32 SCardStatusW(SCARDHANDLE card, QString *readerName, quint32 *state, quint32 *protocol,
                    quint8 *atr, quint32 *atrLength)
{
    char name[256] = {};
    DWORD nameLength = sizeof name;
    DWORD nativeState = 0;
    DWORD nativeProtocol = 0;
    unsigned char nativeAtr[MAX_ATR_SIZE] = {};
    DWORD nativeAtrLength = sizeof nativeAtr;
    const LONG rc = ::SCardStatus(::SCARDHANDLE(card), name, &nameLength, &nativeState,
                                  &nativeProtocol, nativeAtr, &nativeAtrLength);
    if (rc != SCARD_S_SUCCESS)
        return windowsCode(rc);
    if (nativeAtrLength > *atrLength)
        return windowsCode(SCARD_E_INSUFFICIENT_BUFFER);
    if (readerName)
        *readerName = QString::fromUtf8(name);
    *state = windowsCardState(nativeState);
    *protocol = quint32(nativeProtocol);
    memcpy(atr, nativeAtr, nativeAtrLength);
    *atrLength = quint32(nativeAtrLength);
    return 0;
}

qint32 SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST *sendPci, const quint8 *sendBuffer,
                     quint32 sendLength, SCARD_IO_REQUEST *recvPci, quint8 *recvBuffer,
                     quint32 *recvLength)
{
    const ::SCARD_IO_REQUEST *nativeSendPci = nativePci(sendPci);
    if (!nativeSendPci)
        return windowsCode(SCARD_E_INVALID_PARAMETER);
    ::SCARD_IO_REQUEST nativeRecvPci{};
    DWORD length = *recvLength;
    const LONG rc = ::SCardTransmit(::SCARDHANDLE(card), nativeSendPci, sendBuffer, sendLength,
                                    recvPci ? &nativeRecvPci : nullptr, recvBuffer, &length);
    if (recvPci)
        *recvPci = {quint32(nativeRecvPci.dwProtocol), sizeof(SCARD_IO_REQUEST)};
    *recvLength = rc == SCARD_S_SUCCESS ? quint32(length) : 0;
    return windowsCode(rc);
}

} // namespace Pcsc
