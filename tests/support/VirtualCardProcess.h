#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The virtual tachograph card as a separate process, inserted into one of the
// sandbox's virtual readers. Stopping the process is removing the card.
class VirtualCardProcess
{
public:
    // reader 0 or 1 of the sandbox
    explicit VirtualCardProcess(int reader = 0);
    ~VirtualCardProcess();

    static QString readerName(int reader);

    // Starts the card with a built-in profile and waits until the reader
    // reports it present (false after a generous limit).
    bool insert(const QString &profile, const QStringList &options = {});
    // Starts the card without waiting for the reader.
    bool start(const QString &profile, const QStringList &options = {});
    // Ends the card process and waits until the reader reports it absent.
    bool remove();
    // Waits for the card process to end by itself (e.g. removal after n commands).
    bool waitForExit();

    QString name() const { return readerName(m_reader); }
    QString output() const;

private:
    bool waitForPresence(bool present);

    int m_reader = 0;
    QProcess m_process;
};
