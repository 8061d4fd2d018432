#pragma once

// The PC/SC calls the program makes, in the shape of the Windows smart-card
// API, mapped onto pcsc-lite. Nothing above this layer includes winscard.h:
// reader names are QStrings, return codes are Windows-valued 32-bit codes and
// card states carry the Windows values.

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace Pcsc {

using SCARDCONTEXT = quint64;
using SCARDHANDLE = quint64;

constexpr qint32 code(quint32 value) { return qint32(value); }

constexpr qint32 SCARD_S_SUCCESS = 0;
constexpr qint32 SCARD_E_CANCELLED = code(0x80100002);
constexpr qint32 SCARD_E_INVALID_HANDLE = code(0x80100003);
constexpr qint32 SCARD_E_INVALID_PARAMETER = code(0x80100004);
constexpr qint32 SCARD_E_INSUFFICIENT_BUFFER = code(0x80100008);
constexpr qint32 SCARD_E_UNKNOWN_READER = code(0x80100009);
constexpr qint32 SCARD_E_TIMEOUT = code(0x8010000A);
constexpr qint32 SCARD_E_SHARING_VIOLATION = code(0x8010000B);
constexpr qint32 SCARD_E_NO_SMARTCARD = code(0x8010000C);
constexpr qint32 SCARD_E_PROTO_MISMATCH = code(0x8010000F);
constexpr qint32 SCARD_E_INVALID_VALUE = code(0x80100011);
constexpr qint32 SCARD_F_COMM_ERROR = code(0x80100013);
constexpr qint32 SCARD_E_NOT_TRANSACTED = code(0x80100016);
constexpr qint32 SCARD_E_READER_UNAVAILABLE = code(0x80100017);
constexpr qint32 SCARD_E_NO_SERVICE = code(0x8010001D);
constexpr qint32 SCARD_E_NO_READERS_AVAILABLE = code(0x8010002E);
constexpr qint32 SCARD_W_UNRESPONSIVE_CARD = code(0x80100066);
constexpr qint32 SCARD_W_UNPOWERED_CARD = code(0x80100067);
constexpr qint32 SCARD_W_RESET_CARD = code(0x80100068);
constexpr qint32 SCARD_W_REMOVED_CARD = code(0x80100069);
constexpr qint32 SCARD_W_SECURITY_VIOLATION = code(0x8010006A);

constexpr quint32 SCARD_SCOPE_USER = 0;

constexpr quint32 SCARD_SHARE_EXCLUSIVE = 1;
constexpr quint32 SCARD_SHARE_SHARED = 2;

constexpr quint32 SCARD_PROTOCOL_T0 = 1;
constexpr quint32 SCARD_PROTOCOL_T1 = 2;

constexpr quint32 SCARD_LEAVE_CARD = 0;
constexpr quint32 SCARD_RESET_CARD = 1;
constexpr quint32 SCARD_UNPOWER_CARD = 2;

constexpr quint32 INFINITE = 0xFFFFFFFF;

// Reader state flags of the status-change wait (same values on both platforms).
constexpr quint32 SCARD_STATE_UNAWARE = 0x0000;
constexpr quint32 SCARD_STATE_IGNORE = 0x0001;
constexpr quint32 SCARD_STATE_CHANGED = 0x0002;
constexpr quint32 SCARD_STATE_UNKNOWN = 0x0004;
constexpr quint32 SCARD_STATE_UNAVAILABLE = 0x0008;
constexpr quint32 SCARD_STATE_EMPTY = 0x0010;
constexpr quint32 SCARD_STATE_PRESENT = 0x0020;
constexpr quint32 SCARD_STATE_EXCLUSIVE = 0x0080;
constexpr quint32 SCARD_STATE_INUSE = 0x0100;
constexpr quint32 SCARD_STATE_MUTE = 0x0200;
constexpr quint32 SCARD_STATE_UNPOWERED = 0x0400;

// Card states of SCardStatusW, Windows values.
constexpr quint32 SCARD_UNKNOWN = 0;
constexpr quint32 SCARD_ABSENT = 1;
constexpr quint32 SCARD_PRESENT = 2;
constexpr quint32 SCARD_SWALLOWED = 3;
constexpr quint32 SCARD_POWERED = 4;
constexpr quint32 SCARD_NEGOTIABLE = 5;
constexpr quint32 SCARD_SPECIFIC = 6;

// Longest answer to reset a card may give.
constexpr int MAX_ATR_SIZE = 33;

struct SCARD_IO_REQUEST {
    quint32 dwProtocol;
    quint32 cbPciLength;
};

extern const SCARD_IO_REQUEST *const g_rgSCardT0Pci;
extern const SCARD_IO_REQUEST *const g_rgSCardT1Pci;

struct SCARD_READERSTATEW {
    QString szReader;
    void *pvUserData = nullptr;
    quint32 dwCurrentState = SCARD_STATE_UNAWARE;
    quint32 dwEventState = 0;
    quint32 cbAtr = 0;
    quint8 rgbAtr[MAX_ATR_SIZE + 3] = {};
};

// The name of the pseudo-reader whose state changes when readers come and go.
extern const QString pnpNotificationReader;

qint32 SCardEstablishContext(quint32 scope, SCARDCONTEXT *context);
qint32 SCardReleaseContext(SCARDCONTEXT context);
qint32 SCardCancel(SCARDCONTEXT context);
// freeResult, when given, receives the code of SCardFreeMemory for the
// service's buffer (success when the listing itself failed).
qint32 SCardListReadersW(SCARDCONTEXT context, QStringList *readers, qint32 *freeResult = nullptr);
qint32 SCardGetStatusChangeW(SCARDCONTEXT context, quint32 timeoutMs, SCARD_READERSTATEW *states,
                             quint32 count);
qint32 SCardConnectW(SCARDCONTEXT context, const QString &reader, quint32 shareMode,
                     quint32 preferredProtocols, SCARDHANDLE *card, quint32 *activeProtocol);
qint32 SCardDisconnect(SCARDHANDLE card, quint32 disposition);
// pcsc-lite keeps a transaction held across SCardReconnect.
qint32 SCardReconnect(SCARDHANDLE card, quint32 shareMode, quint32 preferredProtocols, quint32 initialization,
                      quint32 *activeProtocol);
qint32 SCardBeginTransaction(SCARDHANDLE card);
qint32 SCardEndTransaction(SCARDHANDLE card, quint32 disposition);
// atrLength: in, the size of atr; out, the bytes of the answer to reset.
qint32 SCardStatusW(SCARDHANDLE card, QString *readerName, quint32 *state, quint32 *protocol,
                    quint8 *atr, quint32 *atrLength);
qint32 SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST *sendPci, const quint8 *sendBuffer,
                     quint32 sendLength, SCARD_IO_REQUEST *recvPci, quint8 *recvBuffer,
                     quint32 *recvLength);

} // namespace Pcsc
