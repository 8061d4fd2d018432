#include "tests/support/VirtualCardProcess.h"

#include "platform/Pcsc.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

namespace {

constexpr int generousWaitMs = 15000;

QString env(const char *name) { return QString::fromLocal8Bit(qgetenv(name)); }

} // namespace

VirtualCardProcess::~VirtualCardProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(generousWaitMs))
            m_process.kill();
        m_process.waitForFinished(generousWaitMs);
    }
    // The next test's card must not arrive before the reader saw this one go.
    if (m_seenPresent)
        waitForAbsence();
}

QString VirtualCardProcess::readerName(int reader)
{
    return QStringLiteral("%1 00 %2").arg(env("DRVP_READER_PREFIX")).arg(reader, 2, 10, QLatin1Char('0'));
}

bool VirtualCardProcess::insert(const QString &profile, const QStringList &options)
{
    const int port = env("DRVP_VPCD_PORT").toInt() + m_reader;
    m_process.start(env("DRVP_TOOLS_DIR") + QStringLiteral("/vcard"),
                    QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--profile"), profile}
                        + options);
    return m_process.waitForStarted(generousWaitMs) && waitForPresence();
}

bool VirtualCardProcess::remove()
{
    m_process.terminate();
    return waitForExit();
}

bool VirtualCardProcess::waitForExit()
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(generousWaitMs))
        return false;
    return waitForAbsence();
}

bool VirtualCardProcess::waitForProcessEnd()
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(generousWaitMs);
}

// Events go on meanwhile: the program may need its event loop (a server's
// answer) before the card gets the command it holds.
bool VirtualCardProcess::waitUntilPaused()
{
    return QTest::qWaitFor([this] { return m_process.canReadLine(); }, generousWaitMs)
        && m_process.readLine().trimmed() == "paused";
}

void VirtualCardProcess::resume()
{
    m_process.write("go\n");
    m_process.waitForBytesWritten(generousWaitMs);
}

void VirtualCardProcess::pauseNextCommand()
{
    m_process.write("pause\n");
    m_process.waitForBytesWritten(generousWaitMs);
}

QStringList VirtualCardProcess::outputLines()
{
    QStringList lines;
    while (m_process.canReadLine())
        lines << QString::fromLatin1(m_process.readLine()).trimmed();
    return lines;
}

bool VirtualCardProcess::waitForPresence()
{
    return waitForReader([this](quint32 state) {
        if (!(state & Pcsc::SCARD_STATE_PRESENT))
            return false;
        m_insertedEvents = state >> 16;
        m_seenPresent = true;
        return true;
    });
}

// After a card left in the middle of a transaction the failed reset already
// shows the reader empty before pcscd's poll has seen the card go; a card
// inserted before that poll would never be announced. So the event count
// must have moved on as well.
bool VirtualCardProcess::waitForAbsence()
{
    return waitForReader([this](quint32 state) {
        return (state & Pcsc::SCARD_STATE_EMPTY) && (state >> 16) > m_insertedEvents;
    });
}

template <typename Accept>
bool VirtualCardProcess::waitForReader(Accept accept)
{
    Pcsc::SCARDCONTEXT context = 0;
    if (Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context) != 0)
        return false;
    Pcsc::SCARD_READERSTATEW state;
    state.szReader = name();
    QDeadlineTimer deadline(generousWaitMs);
    bool reached = false;
    while (!reached && !deadline.hasExpired()) {
        const qint32 rc = Pcsc::SCardGetStatusChangeW(context, 200, &state, 1);
        if (rc == 0 || rc == Pcsc::SCARD_E_TIMEOUT) {
            reached = !(state.dwEventState & Pcsc::SCARD_STATE_UNKNOWN) && accept(state.dwEventState);
            state.dwCurrentState = state.dwEventState & ~Pcsc::SCARD_STATE_CHANGED;
        } else {
            QThread::msleep(100);
        }
    }
    Pcsc::SCardReleaseContext(context);
    return reached;
}
