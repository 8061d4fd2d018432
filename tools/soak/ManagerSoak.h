#pragma once

#include "config/Config.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

class CRAController;
class ReaderManager;

// A running reader manager fed by the real monitor, put through many card
// insertions and removals and many reader arrivals and removals (the PC/SC
// service restarted), with its resident memory sampled along the way.
class ManagerSoak
{
public:
    ManagerSoak();
    ~ManagerSoak();

    // Output goes to stdout; false at the first step that does not happen.
    bool runCardCycles(int cycles);
    bool runReaderCycles(int arrivals);
    void report() const;

private:
    bool startService();
    bool stopService();
    bool waitFor(const std::function<bool()> &condition) const;
    bool cardShown(const QString &reader, bool present) const;
    void sample(const QString &label);
    static qint64 residentKb();

    QTemporaryDir folder;
    Config config;
    QThread worker;
    ReaderManager *manager = nullptr;
    std::unique_ptr<CRAController> monitor;
    QProcess service;
    QStringList samples;
    // Counted in the manager's thread.
    std::atomic<int> readersFound{0};
    std::atomic<int> readersGone{0};
    std::atomic<int> errorLines{0};
};
