#pragma once

#include <QString>
#include <QVector>

#include <atomic>
#include <mutex>
#include <thread>

// A second PC/SC client on the same pcscd that asks the service for one
// reader's state every millisecond, so it learns of a card that came and of
// a card let go as soon as the service itself knows: a wait would not do, as
// pcsc-lite wakes no wait for a hold, and for a release only at its next
// event of another kind.
class ServiceWatcher
{
public:
    explicit ServiceWatcher(const QString &reader);
    ~ServiceWatcher();
    ServiceWatcher(const ServiceWatcher &) = delete;
    ServiceWatcher &operator=(const ServiceWatcher &) = delete;

    // Monotonic milliseconds at which this client learnt of each.
    QVector<double> arrivals() const;
    QVector<double> releases() const;

private:
    void run();

    QString m_reader;
    std::atomic<bool> m_stop{false};
    quint64 m_context = 0;
    mutable std::mutex m_mutex;
    QVector<double> m_arrivals;
    QVector<double> m_releases;
    std::thread m_thread;
};
