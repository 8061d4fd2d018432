#pragma once

#include "platform/Pcsc.h"

#include <QByteArray>
#include <QString>

// Another program's connection to a card, through the same pcscd.
class OtherProgram
{
public:
    OtherProgram() = default;
    OtherProgram(const OtherProgram &) = delete;
    OtherProgram &operator=(const OtherProgram &) = delete;
    ~OtherProgram() { release(); }

    bool connect(const QString &reader, quint32 share)
    {
        return (context || Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context) == 0)
            && Pcsc::SCardConnectW(context, reader, share, Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1,
                                   &handle, &protocol)
            == 0;
    }

    // After the card's reset by another program.
    void reconnect()
    {
        quint32 ignored = 0;
        Pcsc::SCardReconnect(handle, Pcsc::SCARD_SHARE_SHARED, Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1,
                             Pcsc::SCARD_LEAVE_CARD, &ignored);
    }
    // The card's transaction: pcscd holds every other program's connect and
    // commands until end() or release().
    bool begin() { return handle && (held = Pcsc::SCardBeginTransaction(handle) == 0); }
    void end()
    {
        if (held)
            Pcsc::SCardEndTransaction(handle, Pcsc::SCARD_LEAVE_CARD);
        held = false;
    }

    // True when the card answered 9000.
    bool transmit(const QByteArray &apdu)
    {
        quint8 answer[258] = {};
        quint32 length = sizeof answer;
        return Pcsc::SCardTransmit(handle, protocol == Pcsc::SCARD_PROTOCOL_T1 ? Pcsc::g_rgSCardT1Pci
                                                                                : Pcsc::g_rgSCardT0Pci,
                                   reinterpret_cast<const quint8 *>(apdu.constData()), quint32(apdu.size()),
                                   nullptr, answer, &length)
            == 0
            && length >= 2 && answer[length - 2] == 0x90 && answer[length - 1] == 0;
    }

    // SCARD_RESET_CARD resets the card as this program leaves it.
    void release(quint32 disposition = Pcsc::SCARD_LEAVE_CARD)
    {
        end();
        if (handle)
            Pcsc::SCardDisconnect(handle, disposition);
        handle = 0;
        if (context)
            Pcsc::SCardReleaseContext(context);
        context = 0;
    }

private:
    Pcsc::SCARDCONTEXT context = 0;
    Pcsc::SCARDHANDLE handle = 0;
    quint32 protocol = 0;
    bool held = false;
};
