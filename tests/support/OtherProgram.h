#pragma once

#include "platform/Pcsc.h"

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
        quint32 protocol = 0;
        return (context || Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context) == 0)
            && Pcsc::SCardConnectW(context, reader, share, Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1,
                                   &handle, &protocol)
            == 0;
    }

    // The card's transaction: pcscd holds every other program's connect and
    // commands until release().
    bool hold() { return handle && (held = Pcsc::SCardBeginTransaction(handle) == 0); }

    void release()
    {
        if (held)
            Pcsc::SCardEndTransaction(handle, Pcsc::SCARD_LEAVE_CARD);
        held = false;
        if (handle)
            Pcsc::SCardDisconnect(handle, Pcsc::SCARD_LEAVE_CARD);
        handle = 0;
        if (context)
            Pcsc::SCardReleaseContext(context);
        context = 0;
    }

private:
    Pcsc::SCARDCONTEXT context = 0;
    Pcsc::SCARDHANDLE handle = 0;
    bool held = false;
};
