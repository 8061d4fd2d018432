// The PC/SC layer for the fuzz targets: a card that is always there and
// answers nothing by itself. The targets answer every APDU through the
// card's transmit seam; this file only lets CardReader connect, hold the
// card, ask the status and disconnect without a service. It defines every function of the
// layer, so the real one is never linked in.

#include "tests/fuzz/FuzzPcsc.h"

#include "platform/Pcsc.h"

#include <cstring>

std::function<void()> FuzzPcsc::onCardReset;

namespace Pcsc {

namespace {

const SCARD_IO_REQUEST t0Pci{SCARD_PROTOCOL_T0, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST t1Pci{SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
const quint8 cardAtr[] = {0x3B, 0xFF, 0x13, 0x00, 0x00, 0x81, 0x31, 0xFE, 0x45, 0x54, 0x41, 0x43, 0x48, 0x4F};

} // namespace

const SCARD_IO_REQUEST *const g_rgSCardT0Pci = &t0Pci;
const SCARD_IO_REQUEST *const g_rgSCardT1Pci = &t1Pci;
const QString pnpNotificationReader = QStringLiteral("\\\\?PnP?\\Notification");

qint32 SCardEstablishContext(quint32, SCARDCONTEXT *context)
{
    *context = 1;
    return SCARD_S_SUCCESS;
}

qint32 SCardReleaseContext(SCARDCONTEXT) { return SCARD_S_SUCCESS; }

qint32 SCardCancel(SCARDCONTEXT) { return SCARD_S_SUCCESS; }

qint32 SCardListReadersW(SCARDCONTEXT, QStringList *readers, qint32 *freeResult)
{
    *readers = QStringList(QStringLiteral("Fuzz Reader 00 00"));
    if (freeResult)
        *freeResult = SCARD_S_SUCCESS;
    return SCARD_S_SUCCESS;
}

// The card is there, and no other program uses it.
qint32 SCardGetStatusChangeW(SCARDCONTEXT, quint32, SCARD_READERSTATEW *states, quint32 count)
{
    for (quint32 i = 0; i < count; ++i)
        states[i].dwEventState = SCARD_STATE_CHANGED | SCARD_STATE_PRESENT;
    return SCARD_S_SUCCESS;
}

qint32 SCardConnectW(SCARDCONTEXT, const QString &, quint32, quint32, SCARDHANDLE *card, quint32 *activeProtocol)
{
    *card = 1;
    *activeProtocol = SCARD_PROTOCOL_T1;
    return SCARD_S_SUCCESS;
}

qint32 SCardDisconnect(SCARDHANDLE, quint32 disposition)
{
    if (disposition != SCARD_LEAVE_CARD && FuzzPcsc::onCardReset)
        FuzzPcsc::onCardReset();
    return SCARD_S_SUCCESS;
}

qint32 SCardReconnect(SCARDHANDLE, quint32, quint32, quint32 initialization, quint32 *activeProtocol)
{
    if (initialization != SCARD_LEAVE_CARD && FuzzPcsc::onCardReset)
        FuzzPcsc::onCardReset();
    *activeProtocol = SCARD_PROTOCOL_T1;
    return SCARD_S_SUCCESS;
}

qint32 SCardBeginTransaction(SCARDHANDLE) { return SCARD_S_SUCCESS; }

qint32 SCardEndTransaction(SCARDHANDLE, quint32 disposition)
{
    if (disposition != SCARD_LEAVE_CARD && FuzzPcsc::onCardReset)
        FuzzPcsc::onCardReset();
    return SCARD_S_SUCCESS;
}

qint32 SCardStatusW(SCARDHANDLE, QString *readerName, quint32 *state, quint32 *protocol, quint8 *atr,
                    quint32 *atrLength)
{
    if (*atrLength < sizeof cardAtr)
        return SCARD_E_INSUFFICIENT_BUFFER;
    if (readerName)
        *readerName = QStringLiteral("Fuzz Reader 00 00");
    *state = SCARD_SPECIFIC;
    *protocol = SCARD_PROTOCOL_T1;
    std::memcpy(atr, cardAtr, sizeof cardAtr);
    *atrLength = sizeof cardAtr;
    return SCARD_S_SUCCESS;
}

qint32 SCardTransmit(SCARDHANDLE, const SCARD_IO_REQUEST *, const quint8 *, quint32, SCARD_IO_REQUEST *, quint8 *,
                     quint32 *recvLength)
{
    *recvLength = 0;
    return SCARD_E_NOT_TRANSACTED;
}

} // namespace Pcsc
