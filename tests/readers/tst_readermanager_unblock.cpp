#include "tests/readers/CardCounters.h"
#include "tests/readers/ReaderManagerRig.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/VirtualCardProcess.h"

#include <QDeadlineTimer>
#include <QSemaphore>
#include <QtTest>

#include <atomic>

namespace {

const QString oldPin = QStringLiteral("31323334FFFFFFFF"); // "1234", the card's own
const QString newPin = QStringLiteral("35363738FFFFFFFF"); // "5678"
const QString blockedInfo = QStringLiteral(
    "При выполнении предыдущих разблокировок карта была окончательно заблокирована. Разблокировка не может быть "
    "выполнена.<br><span style=\"color:#FF7F7F\"><b>Карту необходимо перевыпустить</b></span>.");

// Polls without running the test thread's event loop, so nothing queued to
// it (the unblock-server client's work) happens meanwhile.
template <typename Condition> bool holdUntil(Condition condition)
{
    QDeadlineTimer deadline(ReaderManagerRig::generousMs);
    while (!condition() && !deadline.hasExpired())
        QThread::msleep(20);
    return condition();
}

} // namespace

// Manual and automatic unblocks through the manager, pcscd and the virtual
// card; the automatic ones through the unblock-server client and the local
// server, or with the server's answer handed to the manager directly.
class TestReaderManagerUnblock : public QObject
{
    Q_OBJECT

private slots:
    void manualUnblock_data();
    void manualUnblock();
    void automaticUnblock_data();
    void automaticUnblock();
    void cardSwappedDuringRequest();
    void cancelReachesOnlyEarlierRequests();
    void lateAnswerFindsItsOwnRequest();
};

void TestReaderManagerUnblock::manualUnblock_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("puk");
    QTest::addColumn<bool>("cancelBefore");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("pinAfter");
    QTest::addColumn<QString>("pukTriesAfter");
    QTest::addColumn<bool>("box");

    const QStringList blockedPin{"--pin-tries", "0"};
    // The plain right PUK is the whole-program test's; a cancel before must not stick.
    QTest::newRow("right PUK after a cancel") << blockedPin << QByteArray("12345678") << true
                                              << "2|Карта разблокирована" << newPin << "3" << false;
    QTest::newRow("wrong PUK") << blockedPin << QByteArray("87654321") << false << "3|Карта не разблокирована"
                               << oldPin << "2" << false;
    QTest::newRow("blocked PUK") << QStringList{"--pin-tries", "0", "--puk-tries", "0"} << QByteArray("12345678")
                                 << false << "3|Карта не разблокирована" << oldPin << "0" << true;
}

void TestReaderManagerUnblock::manualUnblock()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, puk);
    QFETCH(bool, cancelBefore);
    QFETCH(QString, shown);
    QFETCH(bool, box);
    ReaderManagerRig rig;
    QTemporaryDir dump;
    VirtualCardProcess card(0);
    QVERIFY(card.insert("driver-rfskzi", options + QStringList{"--dump", dump.path()}));
    QVERIFY(rig.waitForCard(card.name()));
    if (cancelBefore)
        rig.manager->on_InterruptAllOperation();

    const SecretBytes typedPuk(puk), typedPin(QByteArray("5678"));
    const QByteArray heldPuk = typedPuk.bytes(), heldPin = typedPin.bytes(); // the buffers themselves
    const QString reader = card.name();
    rig.request([&rig, reader, typedPuk, typedPin] {
        rig.manager->on_UnblockCard(reader, &rig.progress.element, typedPuk, typedPin);
    });
    QCOMPARE(rig.takeFinish(), QString("unblock"));
    QCOMPARE(heldPuk + heldPin, QByteArray(12, '\0'));
    QTRY_COMPARE(rig.progress.shown(), shown);
    const QString numbers = QStringLiteral("RUD0000012345600 / A23501000123456");
    QTRY_VERIFY(rig.logged(shown.startsWith('2')
                               ? QStringLiteral("0|%1: Карта %2 успешно разблокирована.").arg(card.name(), numbers)
                               : QStringLiteral("2|%1: Не удалось выполнить разблокировку в ручном режиме карты %2.")
                                     .arg(card.name(), numbers)));
    if (box) {
        QCOMPARE(rig.boxes.size(), 1);
        QVERIFY(rig.boxes.first().startsWith("3|Не удалось разблокировать карту.|" + blockedInfo + "|"));
        QVERIFY(rig.boxes.first().contains("6983"));
    } else {
        QVERIFY(rig.boxes.isEmpty());
    }

    // A refused request sends nothing: the last answer's status word must not show again.
    rig.unblock(card.name(), QByteArray(), "5678");
    QCOMPARE(rig.takeFinish(), QString("unblock"));
    QTRY_COMPARE(rig.progress.shown(), QString("3|Карта не разблокирована"));
    QCOMPARE(rig.boxes.size(), box ? 1 : 0);

    QVERIFY(card.remove());
    const QMap<QString, QString> counters = readCardCounters(dump.path());
    QTEST(counters.value("pin"), "pinAfter");
    QTEST(counters.value("puk-tries"), "pukTriesAfter");
}

void TestReaderManagerUnblock::automaticUnblock_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("reply");       // through the client and the local server
    QTest::addColumn<QStringList>("answer");  // or handed to the manager directly
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("finish");
    QTest::addColumn<QString>("pinAfter");
    QTest::addColumn<QString>("logLine"); // empty: not checked

    const auto served = [](const char *name, const QString &reply, const QString &shown, const QString &finish,
                           const QString &pin, const QString &log) {
        QTest::newRow(name) << "driver-rfskzi" << reply << QStringList() << shown << finish << pin << log;
    };
    served("accepted", "<RUD0000012345600/><123-40000/><12345678/><None/><Сервер/><7/>", "2|Карта разблокирована",
           "auto:7", newPin, "0|%1: Карта RUD0000012345600 / 123-40000 успешно разблокирована.");
    served("another card", "<RUD0000000000001/><123-40000/><12345678/><None/><Сервер/><7/>",
           "3|Карта не разблокирована", "auto:7", oldPin,
           "2|%1: Сервер разблокировки предоставли ПАК-код карты RUD0000000000001 / 123-40000. В картридере "
           "находится карта RUD0000012345600 / A23501000123456. Разблокировка не может быть выполнена.");
    served("no PUK", "<RUD0000012345600/><123-40000/><None/><PUK карты не найден/><Архив/><6/>", "3|ПАК-код не найден",
           "auto:6", oldPin,
           "2|%1: Не найден ПАК-код карты RUD0000012345600 / 123-40000. Разблокировка прервана. Ответ сервера "
           "разблокировки: PUK карты не найден");
    served("nine-digit PUK refused by the client", "<RUD0000012345600/><123-40000/><123456789/><None/><Сервер/><7/>",
           "3|ПАК-код не найден", "auto:-9999", oldPin,
           "2|%1: Не найден ПАК-код карты RUD0000012345600 / A23501000123456. Разблокировка не может быть выполнена.");

    // The manager's own checks of an answer, whatever the client lets through.
    const QString module = QStringLiteral("A23501000123456");
    QTest::newRow("kind 1 by module") << "driver-rfskzi" << ""
                                      << QStringList{"RUD0000000000001", module, "12345678", "None", "", "3"}
                                      << "2|Карта разблокирована" << "auto:3" << newPin << "";
    QTest::newRow("kind 2 echoed not applicable")
        << "driver-estr" << "" << QStringList{"RUD0000000000001", "Неприменимо", "12345678", "None", "", "3"}
        << "3|Карта не разблокирована" << "auto:3" << oldPin << "";
    QTest::newRow("missing elements read as empty")
        << "driver-rfskzi" << "" << QStringList{"", "", "12345678"} << "3|Карта не разблокирована" << "auto:0"
        << oldPin << "";
    QTest::newRow("nine-digit PUK") << "driver-rfskzi" << ""
                                    << QStringList{"RUD0000012345600", module, "123456789", "None", "", "4"}
                                    << "3|Некорректный ПАК-код" << "auto:4" << oldPin << "";
}

void TestReaderManagerUnblock::automaticUnblock()
{
    QFETCH(QString, profile);
    QFETCH(QString, reply);
    QFETCH(QStringList, answer);
    QFETCH(QString, shown);
    QFETCH(QString, logLine);
    std::unique_ptr<UnblockServerProcess> server;
    if (!reply.isEmpty()) {
        server = std::make_unique<UnblockServerProcess>("server", QStringList{"--reply", reply});
        QVERIFY(server->port != 0);
    }
    ReaderManagerRig rig(server != nullptr);
    if (server)
        rig.useServer(server->port);
    QTemporaryDir dump;
    VirtualCardProcess card(1);
    QVERIFY(card.insert(profile, {"--pin-tries", "0", "--dump", dump.path()}));
    QVERIFY(rig.waitForCard(card.name()));

    rig.autoUnblock(card.name(), "5678");
    QTRY_COMPARE(rig.commands.size(), 1);
    if (!server) {
        rig.answer("getStatus", true, {"42", ""}); // not the manager's
        rig.answer("findPUK", true, answer);
    }
    QTEST(rig.takeFinish(), "finish");
    QTRY_COMPARE(rig.progress.shown(), shown);
    if (server) {
        QCOMPARE(rig.commands, QStringList{"findPUK|RUD0000012345600|A23501000123456"});
        QTRY_VERIFY2(rig.logged(logLine.arg(card.name())), qPrintable(rig.log.join('\n')));
    } else {
        rig.answer("findPUK", true, answer); // answered already: ignored
        QVERIFY(!QTest::qWaitFor([&] { return !rig.finishes.isEmpty(); }, 300));
    }
    for (const QString &line : qAsConst(rig.log))
        QVERIFY2(!line.contains("5678") && !line.contains("12345678"), qPrintable(line));

    QVERIFY(card.remove());
    QTEST(readCardCounters(dump.path()).value("pin"), "pinAfter");
}

void TestReaderManagerUnblock::cardSwappedDuringRequest()
{
    UnblockServerProcess server("server",
                                {"--reply", "<RUD0000012345600/><123-40000/><12345678/><None/><Сервер/><7/>"});
    QVERIFY(server.port != 0);
    ReaderManagerRig rig;
    rig.useServer(server.port);
    std::atomic<bool> asked{false};
    QObject::connect(rig.manager, &ReaderManager::makeCommand, rig.manager, [&] { asked = true; },
                     Qt::DirectConnection);
    VirtualCardProcess first(0);
    QVERIFY(first.insert("driver-rfskzi", {"--pin-tries", "0"}));
    QVERIFY(rig.waitForCard(first.name()));

    rig.autoUnblock(first.name(), "5678");
    // The client sends the request only once this thread runs its events again.
    QVERIFY(holdUntil([&] { return asked.load(); }));
    QVERIFY(first.remove());
    QTemporaryDir dump;
    VirtualCardProcess second(0);
    QVERIFY(second.insert("workshop-rfskzi", {"--pin-tries", "0", "--dump", dump.path()}));
    QVERIFY(holdUntil(
        [&] { return rig.manager->readerState(second.name()).cardNumber == QLatin1String("RUW0000000456700"); }));

    QCOMPARE(rig.takeFinish(), QString("auto:7"));
    QTRY_COMPARE(rig.progress.shown(), QString("3|Карта не разблокирована"));
    QTRY_VERIFY(rig.logged(QStringLiteral("2|%1: Сервер разблокировки предоставли ПАК-код карты RUD0000012345600 / "
                                          "123-40000. В картридере находится карта RUW0000000456700 / "
                                          "A23501000234567. Разблокировка не может быть выполнена.")
                               .arg(second.name())));
    QVERIFY(second.remove());
    QCOMPARE(readCardCounters(dump.path()).value("pin"), oldPin);
}

// A cancel reaches the requests made before it, also one still waiting in
// the queue, and none made after it.
void TestReaderManagerUnblock::cancelReachesOnlyEarlierRequests()
{
    ReaderManagerRig rig;
    QTemporaryDir dump;
    VirtualCardProcess card(0);
    QVERIFY(card.insert("driver-rfskzi", {"--pin-tries", "0", "--dump", dump.path()}));
    QVERIFY(rig.waitForCard(card.name()));
    QSemaphore holding, released;
    rig.request([&] {
        holding.release();
        released.acquire();
    });
    QVERIFY(holding.tryAcquire(1, ReaderManagerRig::generousMs));

    rig.unblock(card.name(), "87654321", "5678");
    rig.manager->on_InterruptAllOperation();
    rig.read(card.name(), "1234");
    released.release();
    QCOMPARE(rig.takeFinish(), QString("unblock"));
    QCOMPARE(rig.takeFinish(), QString("read:"));
    // The read ran, up to the card's refusal of the blocked PIN.
    QTRY_COMPARE(rig.progress.shown(), QString("3|Не корректный ПИН-код"));

    QVERIFY(card.remove());
    QCOMPARE(readCardCounters(dump.path()).value("puk-tries"), QString("3")); // the PUK never reached the card
}

// Card A's request cancelled, then card B's made: A's late answer neither
// finishes B's request nor reaches a card, and B's own answer unblocks B.
void TestReaderManagerUnblock::lateAnswerFindsItsOwnRequest()
{
    ReaderManagerRig rig(false);
    QTemporaryDir dumpA, dumpB;
    VirtualCardProcess a(0), b(1);
    QVERIFY(a.insert("driver-rfskzi", {"--pin-tries", "0", "--dump", dumpA.path()}));
    QVERIFY(b.insert("workshop-rfskzi", {"--pin-tries", "0", "--dump", dumpB.path()}));
    QVERIFY(rig.waitForCard(a.name()) && rig.waitForCard(b.name()));

    rig.autoUnblock(a.name(), "5678");
    QTRY_COMPARE(rig.commands.size(), 1);
    rig.manager->on_InterruptAllOperation();
    QCOMPARE(rig.takeFinish(), QString("auto:-9999")); // at once, not at the answer
    rig.autoUnblock(b.name(), "5678");
    QTRY_COMPARE(rig.commands.size(), 2);
    rig.answer("findPUK", true, {"RUD0000012345600", "A23501000123456", "12345678", "None", "Сервер", "7"});
    rig.answer("findPUK", true, {"RUW0000000456700", "A23501000234567", "12345678", "None", "Сервер", "6"});
    QCOMPARE(rig.takeFinish(), QString("auto:6"));
    QTRY_COMPARE(rig.progress.shown(), QString("2|Карта разблокирована"));

    // Any other operation ends a request still waiting for the server at once.
    rig.autoUnblock(a.name(), "5678");
    QTRY_COMPARE(rig.commands.size(), 3);
    rig.read("no such reader");
    QCOMPARE(rig.takeFinish(), QString("auto:-9999"));
    QCOMPARE(rig.takeFinish(), QString("read:"));
    rig.answer("findPUK", true, {"RUD0000012345600", "A23501000123456", "12345678", "None", "Сервер", "5"});
    QVERIFY(!QTest::qWaitFor([&] { return !rig.finishes.isEmpty(); }, 300));

    QVERIFY(a.remove() && b.remove());
    QCOMPARE(readCardCounters(dumpA.path()).value("pin"), oldPin);
    QCOMPARE(readCardCounters(dumpB.path()).value("pin"), newPin);
}

QTEST_MAIN(TestReaderManagerUnblock)
#include "tst_readermanager_unblock.moc"
