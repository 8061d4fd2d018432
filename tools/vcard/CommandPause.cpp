#include "tools/vcard/CommandPause.h"

#include <cerrno>
#include <cstdio>

#include <unistd.h>

void CommandPause::readCommands()
{
    char buffer[256];
    const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
        return;
    if (got <= 0) {
        // Nobody can let a held APDU through any more.
        m_open = false;
        m_holding = false;
        return;
    }
    m_pending.append(buffer, int(got));
    for (int end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        const QByteArray command = m_pending.left(end).trimmed();
        m_pending.remove(0, end + 1);
        if (command == "pause")
            m_armed = true;
        else if (command == "go")
            m_holding = false;
    }
}

void CommandPause::hold()
{
    m_armed = false;
    m_holding = true;
    std::fputs("paused\n", stdout);
    std::fflush(stdout);
}
