#include "tools/soak/ManagerSoak.h"

#include "readers/CRAController.h"
#include "readers/ReaderManager.h"
#include "tests/support/VirtualCardProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTextStream>

namespace {

constexpr int generousMs = 30000;
const QStringList profiles{QStringLiteral("driver-estr"), QStringLiteral("workshop-rfskzi"),
                           QStringLiteral("control-rf"), QStringLiteral("driver-rfskzi")};

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

} // namespace

ManagerSoak::ManagerSoak()
{
    config.setPath(QStringLiteral("dddPath"), folder.path());
    manager = new ReaderManager;
    manager->setConfig(&config);
    manager->moveToThread(&worker);
    QObject::connect(manager, &ReaderManager::logginMessage, manager, [this](uchar type, const QString &msg) {
        readersFound += msg.startsWith(QStringLiteral("Обнаружен картридер"));
        readersGone += msg.startsWith(QStringLiteral("Отключен картридер"));
        errorLines += type == 2;
    }, Qt::DirectConnection);
    worker.start();

    monitor = std::make_unique<CRAController>();
    CardReaderAgent &agent = monitor->agent();
    QObject::connect(&agent, &CardReaderAgent::contextEstablished, manager, &ReaderManager::on_ContextEstablished);
    QObject::connect(&agent, &CardReaderAgent::foundCardReaders, manager, &ReaderManager::on_FoundCardReaders);
    QObject::connect(&agent, &CardReaderAgent::unmountedCardReader, manager,
                     &ReaderManager::on_UnmountedCardReader);
    QObject::connect(&agent, &CardReaderAgent::mountedCard, manager, &ReaderManager::on_MountedCard);
    QObject::connect(&agent, &CardReaderAgent::unmountedCard, manager, &ReaderManager::on_UnmountedCard);
    QObject::connect(&agent, &CardReaderAgent::cardUsing, manager, &ReaderManager::on_CardUsing);
}

ManagerSoak::~ManagerSoak()
{
    monitor.reset();
    worker.quit();
    worker.wait();
    delete manager;
    stopService();
}

bool ManagerSoak::runCardCycles(int cycles)
{
    if (!startService())
        return false;
    monitor->start();
    if (!waitFor([this] { return manager->readerNames().size() == 2; }))
        return false;
    sample(QStringLiteral("start"));
    for (int done = 0; done < cycles; done += 2) {
        VirtualCardProcess first(0);
        VirtualCardProcess second(1);
        const QString profile = profiles.at((done / 2) % profiles.size());
        if (!first.insert(profile) || !second.insert(profiles.at((done / 2 + 1) % profiles.size()))
            || !cardShown(first.name(), true) || !cardShown(second.name(), true) || !first.remove()
            || !second.remove() || !cardShown(first.name(), false) || !cardShown(second.name(), false)) {
            out() << "card cycle " << done << " did not complete\n";
            return false;
        }
        if ((done + 2) % 100 == 0)
            sample(QStringLiteral("after %1 card cycles").arg(done + 2));
    }
    return true;
}

// Each restart of the service takes both readers away and brings them back.
bool ManagerSoak::runReaderCycles(int arrivals)
{
    const int foundBefore = readersFound;
    for (int restart = 0; readersFound - foundBefore < arrivals; ++restart) {
        if (!stopService() || !waitFor([this] { return manager->readerNames().isEmpty(); }) || !startService()
            || !waitFor([this] { return manager->readerNames().size() == 2; })) {
            out() << "service restart " << restart << " did not complete\n";
            return false;
        }
        if ((restart + 1) % 10 == 0)
            sample(QStringLiteral("after %1 reader arrivals").arg(readersFound - foundBefore));
    }
    return true;
}

void ManagerSoak::report() const
{
    out() << "resident memory (kB):\n";
    for (const QString &line : samples)
        out() << "  " << line << '\n';
    out() << "readers found " << readersFound << ", removed " << readersGone << ", error lines " << errorLines
          << '\n';
    out() << "reader map at the end:\n";
    for (const QString &name : manager->readerNames()) {
        const ReaderState state = manager->readerState(name);
        out() << "  " << name << (state.cardPresent ? " card " + state.cardNumber : QStringLiteral(" no card"))
              << '\n';
    }
    out().flush();
}

bool ManagerSoak::startService()
{
    const QStringList command = QString::fromLocal8Bit(qgetenv("DRVP_PCSCD_CMD")).split(QLatin1Char(' '));
    service.start(command.first(), command.mid(1));
    return service.waitForStarted(generousMs);
}

bool ManagerSoak::stopService()
{
    if (service.state() == QProcess::NotRunning)
        return true;
    service.terminate();
    return service.waitForFinished(generousMs);
}

bool ManagerSoak::waitFor(const std::function<bool()> &condition) const
{
    QDeadlineTimer deadline(generousMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

bool ManagerSoak::cardShown(const QString &reader, bool present) const
{
    return waitFor([=] {
        const ReaderState state = manager->readerState(reader);
        return state.cardPresent == present && (!present || !state.cardNumber.isEmpty());
    });
}

void ManagerSoak::sample(const QString &label)
{
    samples << QStringLiteral("%1: %2").arg(label).arg(residentKb());
    out() << samples.last() << '\n';
    out().flush();
}

qint64 ManagerSoak::residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
