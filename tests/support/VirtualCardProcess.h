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
    explicit VirtualCardProcess(int reader = 0) : m_reader(reader) {}
    ~VirtualCardProcess();

    static QString readerName(int reader);

    // Starts the card with a built-in profile and waits until the reader
    // reports it present (false after a generous limit).
    bool insert(const QString &profile, const QStringList &options = {});
    // Ends the card process and waits until the reader reports it absent.
    bool remove();
    // Waits for the card process to end by itself (e.g. removal after n
    // commands) and for the reader to see it gone.
    bool waitForExit();
    // Waits for the card process to end by itself when no reader can see it
    // go, the service being gone.
    bool waitForProcessEnd();

    QString name() const { return readerName(m_reader); }

    // For a card started with "--pause", which holds its first APDU: waits,
    // processing events, until the card holds an APDU (false after a
    // generous limit); lets the held APDU through; holds the next one to come.
    bool waitUntilPaused();
    void resume();
    void pauseNextCommand();
    // The whole lines the card printed since the last call ("--stamps").
    QStringList outputLines();

private:
    bool waitForPresence();
    bool waitForAbsence();
    // Polls the reader until accept(state) holds or a generous limit passes.
    template <typename Accept> bool waitForReader(Accept accept);

    int m_reader = 0;
    // pcscd's card event count when the card was seen present.
    quint32 m_insertedEvents = 0;
    bool m_seenPresent = false;
    QProcess m_process;
};
