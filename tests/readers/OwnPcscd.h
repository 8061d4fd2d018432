#pragma once

#include "platform/Pcsc.h"
#include "tests/support/VirtualCardProcess.h"

#include <QProcess>
#include <QtTest>

// A pcscd of the test's own ($DRVP_PCSCD_CMD, in the test's sandbox), which
// the test may kill and start again.
class OwnPcscd
{
public:
    static constexpr int generousMs = 20000;

    OwnPcscd() { m_process.setProcessChannelMode(QProcess::ForwardedChannels); }
    ~OwnPcscd() { kill(); }
    OwnPcscd(const OwnPcscd &) = delete;
    OwnPcscd &operator=(const OwnPcscd &) = delete;

    // Started once it lists the sandbox's first reader.
    bool start()
    {
        const QStringList command = QString::fromLocal8Bit(qgetenv("DRVP_PCSCD_CMD")).split(' ');
        m_process.start(command.first(), command.mid(1));
        return m_process.waitForStarted() && QTest::qWaitFor([] { return listsReader(); }, generousMs);
    }

    // Killed and reaped.
    bool kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        m_process.kill();
        return m_process.waitForFinished(generousMs);
    }

private:
    static bool listsReader()
    {
        Pcsc::SCARDCONTEXT context = 0;
        if (Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context) != 0)
            return false;
        QStringList readers;
        const bool listed = Pcsc::SCardListReadersW(context, &readers) == 0
            && readers.contains(VirtualCardProcess::readerName(0));
        Pcsc::SCardReleaseContext(context);
        return listed;
    }

    QProcess m_process;
};
