#pragma once

#include "config/Config.h"
#include "readers/CRAController.h"
#include "readers/ReaderManager.h"
#include "tests/support/ProgressRow.h"
#include "tests/support/RealLog.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

// The real stack of a card operation: the monitor and the reader manager in
// a thread of its own, wired as start-up wires them. The test answers the
// manager's unblock-server requests itself, as the client hands them over
// (the client and the whole road are tested with the server). What the
// manager reports is recorded in the test's thread.
class ReaderManagerRig
{
public:
    static constexpr int generousMs = 20000;

    ReaderManagerRig()
    {
        config.setPath(QStringLiteral("dddPath"), folder.path());
        manager = new ReaderManager;
        manager->setConfig(&config);
        RealLog::open();
        manager->setDurableLog([this](uchar type, const QString &msg) {
            QMetaObject::invokeMethod(&receiver, [=] { log << QStringLiteral("%1|%2").arg(type).arg(msg); });
            return eventLogger->writeNow(type, msg);
        });
        manager->moveToThread(&worker);
        record();
        worker.start();

        CardReaderAgent &agent = monitor->agent();
        QObject::connect(&agent, &CardReaderAgent::contextEstablished, manager,
                         &ReaderManager::on_ContextEstablished);
        QObject::connect(&agent, &CardReaderAgent::foundCardReaders, manager, &ReaderManager::on_FoundCardReaders);
        QObject::connect(&agent, &CardReaderAgent::unmountedCardReader, manager,
                         &ReaderManager::on_UnmountedCardReader);
        QObject::connect(&agent, &CardReaderAgent::mountedCard, manager, &ReaderManager::on_MountedCard);
        QObject::connect(&agent, &CardReaderAgent::unmountedCard, manager, &ReaderManager::on_UnmountedCard);
        QObject::connect(&agent, &CardReaderAgent::cardUsing, manager, &ReaderManager::on_CardUsing);
        monitor->start();
    }

    ~ReaderManagerRig()
    {
        monitor.reset();
        worker.quit();
        worker.wait();
        delete manager;
    }

    ReaderManagerRig(const ReaderManagerRig &) = delete;
    ReaderManagerRig &operator=(const ReaderManagerRig &) = delete;

    // Runs `call` in the manager's thread, as a queued request does.
    template <typename Call> void request(Call call)
    {
        QMetaObject::invokeMethod(manager, call, Qt::QueuedConnection);
    }

    void read(const QString &reader, const QByteArray &pin = QByteArray())
    {
        request([=] { manager->on_ReadCard(reader, &progress.element, SecretBytes(pin)); });
    }
    void check(const QString &reader, const QByteArray &pin = QByteArray())
    {
        request([=] { manager->on_CheckCard(reader, &progress.element, SecretBytes(pin)); });
    }
    void unblock(const QString &reader, const QByteArray &puk, const QByteArray &pin)
    {
        request([=] { manager->on_UnblockCard(reader, &progress.element, SecretBytes(puk), SecretBytes(pin)); });
    }
    void autoUnblock(const QString &reader, const QByteArray &pin)
    {
        request([=] { manager->on_AutoUnblockCard(reader, &progress.element, SecretBytes(pin)); });
    }
    // An empty answer is a failed request. The PUK comes apart from the list.
    void answer(const QString &cmd, QStringList result)
    {
        SecretBytes puk;
        if (result.size() > 2 && result.at(2) != QLatin1String("None")) {
            puk = SecretBytes(result.at(2).toUtf8());
            result[2].clear();
        }
        request([=] { manager->on_commandResult(cmd, !result.isEmpty(), result, puk); });
    }

    // The next finish signal: "read:<path>", "check", "unblock" or "auto:<counter>".
    QString takeFinish()
    {
        if (!QTest::qWaitFor([this] { return !finishes.isEmpty(); }, 60000))
            return QStringLiteral("none");
        return finishes.takeFirst();
    }

    // Waits until the manager has read the card in the reader (or seen it go).
    bool waitForCard(const QString &reader, bool present = true)
    {
        return QTest::qWaitFor(
            [&] {
                const ReaderState state = manager->readerState(reader);
                return state.cardPresent == present && (!present || !state.cardNumber.isEmpty());
            },
            generousMs);
    }

    bool waitForCommands(int count)
    {
        return QTest::qWaitFor([&] { return commands.size() == count; }, generousMs);
    }

    bool logged(const QString &line) const { return log.contains(line); }

    QTemporaryDir folder;
    Config config;
    QThread worker;
    ReaderManager *manager = nullptr;
    std::unique_ptr<CRAController> monitor = std::make_unique<CRAController>();
    ProgressRow progress{folder.path()};
    // "type|text" of every log line; finish signals; message boxes as "type|text|informative|detail".
    QStringList log;
    QStringList finishes;
    QStringList boxes;
    // "cmd|param|param" of every request to the unblock server.
    QStringList commands;
    QObject receiver;

private:
    void record()
    {
        QObject::connect(manager, &ReaderManager::logginMessage, &receiver,
                         [this](uchar type, const QString &msg) { log << QStringLiteral("%1|%2").arg(type).arg(msg); });
        QObject::connect(manager, &ReaderManager::readFinished, &receiver,
                         [this](const QString &path) { finishes << QStringLiteral("read:") + path; });
        QObject::connect(manager, &ReaderManager::checkFinished, &receiver,
                         [this] { finishes << QStringLiteral("check"); });
        QObject::connect(manager, &ReaderManager::unblockFinished, &receiver,
                         [this] { finishes << QStringLiteral("unblock"); });
        QObject::connect(manager, &ReaderManager::autoUnblockFinished, &receiver,
                         [this](short counter) { finishes << QStringLiteral("auto:%1").arg(counter); });
        QObject::connect(manager, &ReaderManager::makeCommand, &receiver,
                         [this](MultiProgressElement *, const QString &cmd, const QStringList &params) {
                             commands << (QStringList{cmd} + params).join(QLatin1Char('|'));
                         });
        QObject::connect(manager, &ReaderManager::showErrMsg, &receiver,
                         [this](uchar type, const QString &text, const QString &info, const QString &detail) {
                             boxes << QStringLiteral("%1|%2|%3|%4").arg(type).arg(text, info, detail);
                         });
    }
};
