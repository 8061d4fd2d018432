#pragma once

#include <QByteArray>

// Lets a test hold the card before an APDU, to look at the program while it
// waits for the answer. Commands come a line each on a file descriptor
// (the card's standard input): "pause" holds the next APDU, which the card
// announces with the line "paused" on its standard output; "go" lets it
// through.
class CommandPause
{
public:
    CommandPause(int fd, bool armed) : m_fd(fd), m_armed(armed) {}

    int fd() const { return m_open ? m_fd : -1; }
    // Takes the commands that have come in; the input may close meanwhile.
    void readCommands();

    bool armed() const { return m_armed; }
    bool holding() const { return m_holding; }
    // Announces the held APDU; disarms until the next "pause".
    void hold();

private:
    int m_fd = -1;
    bool m_open = true;
    bool m_armed = false;
    bool m_holding = false;
    QByteArray m_pending;
};
