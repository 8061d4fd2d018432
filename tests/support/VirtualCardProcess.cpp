#include "tests/support/VirtualCardProcess.h"

#include "platform/Pcsc.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

constexpr int generousWaitMs = 15000;

QString env(const char *name) { return QString::fromLocal8Bit(qgetenv(name)); }

} // namespace

VirtualCardProcess::VirtualCardProcess(int reader) : m_reader(reader)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

VirtualCardProcess::~VirtualCardProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(generousWaitMs))
            m_process.kill();
        m_process.waitForFinished(generousWaitMs);
    }
}

QString VirtualCardProcess::readerName(int reader)
{
    return QStringLiteral("%1 00 %2").arg(env("DRVP_READER_PREFIX")).arg(reader, 2, 10, QLatin1Char('0'));
}

bool VirtualCardProcess::start(const QString &profile, const QStringList &options)
{
    const int port = env("DRVP_VPCD_PORT").toInt() + m_reader;
    QStringList arguments{QStringLiteral("--port"), QString::number(port), QStringLiteral("--profile"),
                          profile};
    arguments += options;
    m_process.start(env("DRVP_TOOLS_DIR") + QStringLiteral("/vcard"), arguments);
    return m_process.waitForStarted(generousWaitMs);
}

bool VirtualCardProcess::insert(const QString &profile, const QStringList &options)
{
    return start(profile, options) && waitForPresence(true);
}

bool VirtualCardProcess::remove()
{
    m_process.terminate();
    if (!m_process.waitForFinished(generousWaitMs))
        return false;
    return waitForPresence(false);
}

bool VirtualCardProcess::waitForExit()
{
    return m_process.waitForFinished(generousWaitMs);
}

QString VirtualCardProcess::output() const
{
    return QString::fromUtf8(const_cast<QProcess &>(m_process).readAll());
}

bool VirtualCardProcess::waitForPresence(bool present)
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
            reached = bool(state.dwEventState & Pcsc::SCARD_STATE_PRESENT) == present
                && !(state.dwEventState & Pcsc::SCARD_STATE_UNKNOWN);
            state.dwCurrentState = state.dwEventState & ~Pcsc::SCARD_STATE_CHANGED;
        } else {
            QThread::msleep(100);
        }
    }
    Pcsc::SCardReleaseContext(context);
    return reached;
}
