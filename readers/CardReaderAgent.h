#pragma once

#include "platform/Pcsc.h"
#include "readers/CardWork.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QWaitCondition>

#include <atomic>
#include <vector>

// Watches the PC/SC service for readers and cards and reports what it sees by
// signals. Runs its loop in the PC/SC thread (CRAController); only stop() is
// called from another thread.
class CardReaderAgent : public QObject
{
    Q_OBJECT

public:
    explicit CardReaderAgent(QObject *parent = nullptr);
    ~CardReaderAgent() override;

    // Ends runMonitor() from any thread, whatever the loop is doing.
    void stop();
    void runMonitor();
    // Any thread. After our own card work the window takes the service's
    // word on the card, which this monitor may never see change: its next
    // look then reports whether each card is held, changed or not.
    void on_CardWork(const QString &reader_name, CardWork work);

    static QString scardErrorText(qint32 code);

signals:
    void contextEstablished(qulonglong context);
    // Each receiver gets its own copy of the names as they were listed.
    void foundCardReaders(QStringList readers_list);
    void unmountedCardReader(QStringList readers_list);
    void mountedCard(QString reader_name);
    void unmountedCard(QString reader_name);
    void errorCardReader(QString msg, QString reader_name = QString());
    void cardUsing(QString reader_name, bool is_card_using = true);

private:
    bool establishContext();
    bool listReaders();
    void buildReaderStates();
    bool waitForChanges();

    // Returns true when the readers must be listed again.
    bool applyReaderChange(Pcsc::SCARD_READERSTATEW &entry);
    bool pnpReportsChange(Pcsc::SCARD_READERSTATEW &entry);
    bool readerListChanged();
    void restateHolds();
    void takeListing(const QStringList &now);
    void reportFreeFailure(qint32 rc);
    void reportRetry(const QString &text, int attempt, const QString &advice);
    // Sleeps between retries; returns false when stop() ended the sleep.
    bool sleepBeforeRetry();
    bool sleepFor(qint64 ms);

    std::atomic<Pcsc::SCARDCONTEXT> context{0};
    QStringList readers;
    // Readers the wait reported gone since the last listing.
    QStringList reportedGone;
    QElapsedTimer lastListing;
    std::vector<Pcsc::SCARD_READERSTATEW> states;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> restateRequested{false};
    QMutex sleepMutex;
    QWaitCondition sleepCondition;
};
