// The card an operation is for proves itself in each hold, whatever pcscd's
// count of insertions says: another card put in between our look and our
// connect, after a restart of pcscd, or inside our hold and then reset by
// another program, gets nothing meant for the first card, with the same PIN
// and PUK or with others. The card left in place, or the same card pulled
// and put back, goes through. And a wait for another program's transaction
// ends at a cancel or at its limit. Through the monitor, the reader manager
// in its thread, a pcscd of the test's own and the virtual cards.

#include "readers/ClaimRunner.h"
#include "tests/readers/CardCounters.h"
#include "tests/readers/CardDump.h"
#include "tests/readers/OwnPcscd.h"
#include "tests/readers/PcscCallHold.h"
#include "tests/readers/ReaderManagerRig.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/VirtualCardProcess.h"

#include <QtTest>

namespace {

constexpr int generousMs = ReaderManagerRig::generousMs;
const QByteArray ownDate = QByteArray::fromHex("5E0BE100");
const QStringList dated{"--patch", "050E:0:5E0BE100"};

enum Road {
    // Stopped inside our connect.
    AtConnect,
    // pcscd killed and started again between two holds of the read, or while
    // the PUK is fetched.
    ServiceRestart,
    // Stopped before the command that changes the card; the card put in then
    // is reset by another program,
    InHoldThenReset,
    // or kept by its transaction: our command is refused at once.
    InHoldThenKept,
};

enum Second { SamePin, OtherPin, LeftInPlace, PutBack };

// Where the proof is stopped, and what the test does there.
enum ProofStep { NumberRead, ResetStep, ChipRead };
enum World { AnotherCard, Pulled, PutBackInTime, Restarted };

} // namespace

class TestCardProof : public QObject
{
    Q_OBJECT

private slots:
    void provenInEveryHold_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("road");
        QTest::addColumn<int>("second");
        const char *roads[] = {"at the connect", "pcscd started again", "in the hold, then reset",
                               "in the hold, then kept"};
        const char *seconds[] = {"same PIN", "other PIN", "left in place", "put back"};
        for (const char *operation : {"read", "diagnosis", "unblock", "automatic unblock"}) {
            for (const int road : {AtConnect, ServiceRestart, InHoldThenReset, InHoldThenKept}) {
                // A diagnosis and a manual unblock make one hold; pcscd's
                // restart leaves no card in place.
                const bool twoHolds = QByteArray(operation) == "read" || QByteArray(operation) == "automatic unblock";
                for (const int second : {SamePin, OtherPin, LeftInPlace, PutBack}) {
                    if (road == ServiceRestart && (!twoHolds || second == LeftInPlace))
                        continue;
                    // A diagnosis goes on with its other files.
                    if (road == InHoldThenKept && (second != SamePin || QByteArray(operation) == "diagnosis"))
                        continue;
                    QTest::addRow("%s, %s, %s", operation, roads[road], seconds[second])
                        << operation << road << second;
                }
            }
        }
    }

    void provenInEveryHold()
    {
        QFETCH(QString, operation);
        QFETCH(int, road);
        QFETCH(int, second);
        const bool unblocks = operation.endsWith("unblock");
        const QStringList blocked = unblocks ? QStringList{"--pin-tries", "0"} : QStringList();
        OwnPcscd pcscd;
        QVERIFY(pcscd.start());
        ReaderManagerRig rig;
        QTemporaryDir firstDump, secondDump;
        VirtualCardProcess first(0), other(0);
        QVERIFY(first.insert("driver-rfskzi", blocked + dated + QStringList{"--dump", firstDump.path()}));
        const QString reader = first.name();
        QVERIFY(rig.waitForCard(reader));

        const bool swapped = second == SamePin || second == OtherPin;
        const QStringList otherPin = second == OtherPin ? QStringList{"--pin", "4321", "--puk", "87654321"}
                                                        : QStringList();
        const auto putOther = [&] {
            return second == PutBack
                ? other.insert("driver-rfskzi", blocked + dated + QStringList{"--dump", secondDump.path()})
                : other.insert("driver-estr", blocked + dated + otherPin + QStringList{"--dump", secondDump.path()});
        };
        const auto start = [&] {
            if (operation == "read")
                rig.read(reader, "1234");
            else if (operation == "diagnosis")
                rig.check(reader, "1234");
            else if (operation == "unblock")
                rig.unblock(reader, "12345678", "5678");
            else
                rig.autoUnblock(reader, "5678");
        };
        const auto answer = [&] {
            rig.answer("findPUK", {"RUD0000012345600", "A23501000123456", "12345678", "None", "Сервер", "7"});
        };

        OtherProgram keeping;
        if (operation == "automatic unblock" && road == ServiceRestart) {
            start();
            QVERIFY(rig.waitForCommands(1));
            QVERIFY(pcscd.kill() && first.waitForProcessEnd() && pcscd.start() && putOther());
            // The answer comes once the reader and its card are back.
            QTRY_COMPARE_WITH_TIMEOUT(rig.log.filter("Считаны общие сведения с карты").size(), 2, generousMs);
            answer();
        } else {
            const PcscCallHold::Call call = road == AtConnect ? PcscCallHold::Call::Connect
                : road == ServiceRestart                      ? PcscCallHold::Call::Disconnect
                : unblocks                                    ? PcscCallHold::Call::Unblock
                                                              : PcscCallHold::Call::Update;
            if (operation == "automatic unblock") {
                start();
                QVERIFY(rig.waitForCommands(1));
                PcscCallHold::arm(call);
                answer();
            } else {
                PcscCallHold::arm(call);
                start();
            }
            QVERIFY(PcscCallHold::waitUntilHeld(generousMs));
            if (road == ServiceRestart) {
                QVERIFY(pcscd.kill() && first.waitForProcessEnd() && pcscd.start() && putOther());
            } else {
                QVERIFY(second == LeftInPlace || (first.remove() && putOther()));
                if (road == InHoldThenReset && second != LeftInPlace) {
                    OtherProgram resetting;
                    QVERIFY(resetting.connect(reader, Pcsc::SCARD_SHARE_SHARED));
                    resetting.release(Pcsc::SCARD_RESET_CARD);
                }
                if (road == InHoldThenKept)
                    QVERIFY(keeping.connect(reader, Pcsc::SCARD_SHARE_SHARED) && keeping.begin());
            }
            PcscCallHold::letGo();
        }
        // Ends while the other program still keeps the card.
        QVERIFY(rig.takeFinish() != "none");
        keeping.release();

        const QString unblocked = "0|%1: Карта RUD0000012345600 / A23501000123456 успешно разблокирована.";
        const QString success = operation == "read" ? "0|%1 - Сформированный ddd-файл успешно сохранен: "
            : operation == "diagnosis" ? "0|%1: Завершено диагностирование карты RUD0000012345600 / A23501000123456."
                                       : unblocked;
        QVERIFY2(rig.log.filter(success.arg(reader)).isEmpty() == swapped, qPrintable(rig.log.join('\n')));
        QCOMPARE(QDir(rig.folder.path()).entryList({"*.ddd"}).size(), !swapped && operation == "read" ? 1 : 0);
        VirtualCardProcess &inReader = second == LeftInPlace ? first : other;
        QVERIFY(inReader.remove());
        const QString dump = second == LeftInPlace ? firstDump.path() : secondDump.path();
        const QMap<QString, QString> counters = readCardCounters(dump);
        if (!swapped) {
            if (unblocks)
                QCOMPARE(counters.value("pin"), QString("35363738FFFFFFFF")); // 5678
            return;
        }
        // Our command refused, nothing proven. The server's answer is checked
        // against the card the manager has identified in the reader since:
        // the card's proof is not reached.
        if (road == InHoldThenKept) {
            QTRY_COMPARE(rig.progress.shown(), operation == "read" ? QString("3|Не удалось сохранить ddd-файл")
                                                                   : QString("3|Команда не выполнена, ПИН-код не изменен"));
        } else if (operation == "automatic unblock" && road == ServiceRestart) {
            QTRY_COMPARE(rig.progress.shown(), QString("3|Карта не разблокирована"));
        } else {
            QTRY_COMPARE(rig.progress.shown(), QString("3|Карта была заменена"));
            QVERIFY2(rig.logged(QStringLiteral("2|%1: Карта была заменена: в картридере карта RUD0000001100200, а "
                                               "операция начата для карты RUD0000012345600. Операция прервана, на "
                                               "карту ничего не записано.")
                                    .arg(reader)),
                     qPrintable(rig.log.join('\n')));
        }
        QCOMPARE(counters.value("pin"), second == OtherPin ? QString("34333231FFFFFFFF") : QString("31323334FFFFFFFF"));
        QCOMPARE(counters.value("pin-tries"), unblocks ? QString("0") : QString("3"));
        QCOMPARE(counters.value("puk-tries"), QString("3"));
        QCOMPARE(readCardDump(dump).value(0x050E), ownDate);
    }

    // The card changes while it proves itself at the start of the hold: at
    // its number's read, the reset or its chip file's read. Only a card whose
    // own bytes were read and differ is another card, and it gets nothing; a
    // card gone is told by its reason. The same card put back in time for the
    // reset proves itself as any card does.
    void proofTellsWhatItSaw_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("world");
        const char *steps[] = {"number", "reset", "chip"};
        const char *worlds[] = {"another card", "pulled", "put back", "pcscd started again"};
        for (const char *operation : {"read", "unblock"}) {
            for (int step = NumberRead; step <= ChipRead; ++step) {
                for (int world = AnotherCard; world <= Restarted; ++world)
                    QTest::addRow("%s, %s, %s", operation, steps[step], worlds[world]) << operation << step << world;
            }
        }
    }

    void proofTellsWhatItSaw()
    {
        QFETCH(QString, operation);
        QFETCH(int, step);
        QFETCH(int, world);
        const bool unblocks = operation == "unblock";
        const QStringList blocked = unblocks ? QStringList{"--pin-tries", "0"} : QStringList();
        OwnPcscd pcscd;
        QVERIFY(pcscd.start());
        ReaderManagerRig rig;
        QTemporaryDir firstDump, secondDump;
        VirtualCardProcess first(0), second(0);
        QVERIFY(first.insert("driver-rfskzi", blocked + dated + QStringList{"--dump", firstDump.path()}));
        const QString reader = first.name();
        QVERIFY(rig.waitForCard(reader));

        const PcscCallHold::Call calls[] = {PcscCallHold::Call::NumberRead, PcscCallHold::Call::Reset,
                                            PcscCallHold::Call::ChipRead};
        PcscCallHold::arm(calls[step]);
        if (unblocks)
            rig.unblock(reader, "12345678", "5678");
        else
            rig.read(reader, "1234");
        QVERIFY(PcscCallHold::waitUntilHeld(generousMs));
        if (world == Restarted)
            QVERIFY(pcscd.kill() && first.waitForProcessEnd() && pcscd.start());
        else
            QVERIFY(first.remove());
        const QStringList options = blocked + dated + QStringList{"--dump", secondDump.path()};
        if (world != Pulled)
            QVERIFY(second.insert(world == AnotherCard ? "driver-estr" : "driver-rfskzi", options));
        PcscCallHold::letGo();
        QVERIFY(rig.takeFinish() != "none");

        const bool replaced = step == ResetStep && world == AnotherCard;
        const bool goesThrough = step == ResetStep && world == PutBackInTime;
        const QString swapLine = QStringLiteral("2|%1: Карта была заменена: в картридере карта RUD0000001100200, а "
                                                "операция начата для карты RUD0000012345600. Операция прервана, на "
                                                "карту ничего не записано.")
                                     .arg(reader);
        QCOMPARE(rig.log.filter("Карта была заменена"), replaced ? QStringList{swapLine} : QStringList());
        const QString failed = unblocks ? "3|Карта не разблокирована" : "3|Не удалось подключиться к карте";
        const QString done = unblocks ? "2|Карта разблокирована" : "2|Карта успешно считана";
        QTRY_COMPARE(rig.progress.shown(), replaced ? "3|Карта была заменена" : goesThrough ? done : failed);
        if (!replaced && !goesThrough) {
            const QString code = world == Restarted ? "(0x8010001D) SCARD_E_NO_SERVICE"
                : step == ResetStep                 ? "(0x8010000C) SCARD_E_NO_SMARTCARD"
                                                    : "(0x80100069) SCARD_W_REMOVED_CARD";
            QVERIFY2(rig.log.filter(code).size() == 1, qPrintable(rig.log.join('\n')));
        }
        QCOMPARE(QDir(rig.folder.path()).entryList({"*.ddd"}).size(), goesThrough && !unblocks ? 1 : 0);

        // Nothing reached the card that left, nor another card.
        QVERIFY(world == Pulled || second.remove());
        QCOMPARE(readCardCounters(firstDump.path()).value("pin"), QString("31323334FFFFFFFF"));
        QCOMPARE(readCardDump(firstDump.path()).value(0x050E), ownDate);
        if (world == Pulled || goesThrough)
            return;
        const QMap<QString, QString> counters = readCardCounters(secondDump.path());
        QCOMPARE(counters.value("pin"), QString("31323334FFFFFFFF"));
        QCOMPARE(counters.value("pin-tries"), unblocks ? QString("0") : QString("3"));
        QCOMPARE(counters.value("puk-tries"), QString("3"));
        QCOMPARE(readCardDump(secondDump.path()).value(0x050E), ownDate);
    }

    // Another program begins its transaction between our look at the reader
    // and our connect: the wait ends at a cancel, or at its limit, while
    // that program still keeps the card, and the claim it leaves inside
    // pcscd keeps no thread from ending.
    void waitForAnotherProgramEnds_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("shown");
        QTest::newRow("cancelled") << true << "3|Не удалось подключиться к карте";
        QTest::newRow("left alone") << false << "3|Карта занята другой программой";
    }

    void waitForAnotherProgramEnds()
    {
        QFETCH(bool, cancelled);
        OwnPcscd pcscd;
        QVERIFY(pcscd.start());
        ReaderManagerRig rig;
        QTemporaryDir dump;
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-estr", dated + QStringList{"--dump", dump.path()}));
        QVERIFY(rig.waitForCard(card.name()));

        PcscCallHold::arm(PcscCallHold::Call::Connect);
        rig.read(card.name());
        QVERIFY(PcscCallHold::waitUntilHeld(generousMs));
        OtherProgram other;
        QVERIFY(other.connect(card.name(), Pcsc::SCARD_SHARE_SHARED) && other.begin());
        PcscCallHold::letGo();
        QTRY_COMPARE_WITH_TIMEOUT(rig.progress.message.text(), QString("Карта занята другой программой, ожидание…"),
                                  generousMs);
        if (cancelled)
            rig.manager->on_InterruptAllOperation();
        QCOMPARE(rig.takeFinish(), QString("read:"));
        QFETCH(QString, shown);
        QTRY_COMPARE(rig.progress.shown(), shown);
        QVERIFY(!ClaimRunner::stopAll(300));
        other.release();
        QVERIFY(ClaimRunner::stopAll(generousMs));
        QVERIFY(card.remove());
        QCOMPARE(readCardDump(dump.path()).value(0x050E), ownDate);
    }
};

QTEST_MAIN(TestCardProof)
#include "tst_cardproof.moc"
