#pragma once

#include "tools/vcard/CommandKind.h"

#include <QByteArray>
#include <QMap>
#include <QString>

class ApduEngine;
class CommandPause;

// The card's side of the virtual reader's TCP link: messages of a 2-byte
// big-endian length and a payload; a 1-byte payload is a power or ATR
// request, a longer one an APDU. Leaving the reader is closing the socket.
class VpcdConnection
{
public:
    enum class End { Terminated, Removed, ReaderGone, Failed };

    VpcdConnection(ApduEngine *engine, const QByteArray &atr);
    ~VpcdConnection();
    VpcdConnection(const VpcdConnection &) = delete;
    VpcdConnection &operator=(const VpcdConnection &) = delete;

    // SIGTERM and SIGINT are taken as removal; call before anything else.
    static bool watchTermination(QString *error);

    void setDelayMs(int ms) { m_delayMs = ms; }
    void setSlowAnswers(const QMap<CommandKind, int> &kinds, int atrMs)
    {
        m_slowKinds = kinds;
        m_slowAtrMs = atrMs;
    }
    void setRemoveAfter(int commands) { m_removeAfter = commands; }
    // Not owned; null when the card takes no commands of a test.
    void setPause(CommandPause *pause) { m_pause = pause; }
    // Prints "inserted T" once linked to the reader and "answered T" after
    // each APDU's answer, T the monotonic clock in milliseconds, for a
    // benchmark to compare with what other processes saw.
    void setStamps(bool stamps) { m_stamps = stamps; }

    bool open(quint16 port, QString *error);
    // Serves the reader until a termination signal, the ordered removal, or
    // the reader closing the link.
    End serve(QString *error);
    void close();

private:
    enum class Wait { Ready, Terminated, Failed };

    // Takes the pause's commands while it waits.
    Wait waitFor(int fd, int timeoutMs);
    // Holds an APDU the pause is armed for until "go".
    Wait holdIfPaused();
    bool receive(char *buffer, int size, End *end, QString *error);
    bool send(const QByteArray &payload, QString *error);
    QByteArray answer(const QByteArray &payload, bool *replies);
    void stamp(const char *event) const;
    // The --slow delay for this APDU or ATR request.
    int slowDelayOf(const QByteArray &payload) const;

    ApduEngine *m_engine = nullptr;
    QByteArray m_atr;
    int m_delayMs = 0;
    QMap<CommandKind, int> m_slowKinds;
    int m_slowAtrMs = 0;
    int m_removeAfter = 0;
    int m_commands = 0;
    int m_socket = -1;
    CommandPause *m_pause = nullptr;
    bool m_stamps = false;
};
