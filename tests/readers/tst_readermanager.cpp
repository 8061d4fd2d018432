// Reads, a diagnosis, manual and automatic unblocks, cancels and readers that
// come and go, through the monitor, the reader manager in its thread, pcscd
// and the virtual cards; the unblock server's answers handed to the manager
// as the client hands them over.

#include "tests/readers/CardCounters.h"
#include "tests/readers/CardDump.h"
#include "tests/readers/DiagnosisWrites.h"
#include "tests/readers/ReaderManagerRig.h"
#include "tests/support/OtherProgramAtWork.h"
#include "tests/support/VirtualCardProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
#include <ctime>

namespace {

const QString oldPin = QStringLiteral("31323334FFFFFFFF"); // "1234", the card's own
const QString newPin = QStringLiteral("35363738FFFFFFFF"); // "5678"
const QStringList pinBlocked{"--pin-tries", "0"};

} // namespace

class TestReaderManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The card information shows a driver card's last download as a local date.
        qputenv("TZ", "UTC");
        tzset();
    }

    void readRoad_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("pin");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("countAfter"); // empty: no file saved

        QTest::newRow("kind 1 wrong PIN") << "driver-rfskzi" << QStringList() << QByteArray("9999")
                                          << "3|Не корректный ПИН-код" << QByteArray();
        // The save presents the PIN again to zero the count: the manager keeps it until then.
        QTest::newRow("kind 1 workshop") << "workshop-rfskzi" << QStringList() << QByteArray("1234")
                                         << "2|Карта успешно считана" << QByteArray::fromHex("0000");
        QTest::newRow("count not reset") << "workshop-rfskzi" << QStringList{"--fail", "update:1:6581"}
                                         << QByteArray("1234") << "2|Карта считана, счетчик калибровок не обнулен"
                                         << QByteArray::fromHex("0003");
        QTest::newRow("card pulled mid-read") << "driver-estr" << QStringList{"--remove-after", "40"} << QByteArray()
                                              << "3|Не удалось считать карту" << QByteArray();
        // Identified again at the read, in vain.
        QTest::newRow("type never told") << "company-estr" << QStringList{"--patch", "0501:0:00"} << QByteArray()
                                         << "3|Тип карты не определен" << QByteArray();
    }

    void readRoad()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, pin);
        QFETCH(QString, shown);
        QFETCH(QByteArray, countAfter);
        ReaderManagerRig rig;
        QTemporaryDir dump;
        VirtualCardProcess card(0);
        QVERIFY(card.insert(profile, options + QStringList{"--dump", dump.path()}));
        // Shown once the insertion's identification is over, whatever it found.
        QTRY_VERIFY_WITH_TIMEOUT(rig.manager->readerState(card.name()).cardPresent, ReaderManagerRig::generousMs);
        rig.config.setLastDddPath(rig.folder.filePath("earlier card.ddd"));

        const SecretBytes typed(pin);
        const QByteArray held = typed.bytes(); // shares the buffer the window hands over
        const QString reader = card.name();
        rig.request([&rig, reader, typed] { rig.manager->on_ReadCard(reader, &rig.progress.element, typed); });
        const QString finish = rig.takeFinish();
        QCOMPARE(held, QByteArray(pin.size(), '\0')); // overwritten once used, for every holder
        QVERIFY2(finish.startsWith("read:"), qPrintable(finish));
        const QString path = finish.mid(5);
        QTRY_COMPARE(rig.progress.shown(), shown);
        QCOMPARE(rig.config.lastDddPath(), path);
        QCOMPARE(rig.logged("2|" + reader + ": Тип карты не определен, её файлы неизвестны. Чтение карты невозможно."),
                 shown.endsWith("Тип карты не определен"));
        QCOMPARE(QDir(rig.folder.path()).entryList({"*.ddd"}).size(), countAfter.isEmpty() ? 0 : 1);
        if (!countAfter.isEmpty()) {
            QVERIFY2(QFileInfo(path).fileName().startsWith("РФСКЗИ_RUW0000000456700-"), qPrintable(path));
            QVERIFY(QFileInfo(path).size() > 1000);
        }
        QVERIFY(card.remove());
        if (!countAfter.isEmpty())
            QCOMPARE(readCardDump(dump.path()).value(0x0509).left(2), countAfter);
    }

    // After a diagnosis the card information shows the card's own value,
    // written back after the test write, also when only the read of the
    // restored value failed; a card that left holding the test value brings
    // the box that it could not be put back, once.
    void diagnosisLeavesTheCardItsOwn_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<QString>("shown"); // empty: the card is gone
        for (const char *profile : {"workshop-estr", "driver-rfskzi"}) {
            const QString own = writableOf(profile).fid == 0x0509 ? "43981" : "01.01.2020";
            QTest::addRow("%s: sound", profile) << profile << "" << 0 << own;
            QTest::addRow("%s: read of the restored value refused", profile) << profile << "restored read" << 0 << own;
            QTest::addRow("%s: card gone before the test write's answer", profile) << profile << "leave" << 1 << "";
        }
    }

    void diagnosisLeavesTheCardItsOwn()
    {
        QFETCH(QString, profile);
        QFETCH(QString, trouble);
        QFETCH(QString, shown);
        const Writable writable = writableOf(profile);
        QStringList options{"--patch", writable.patch};
        if (trouble == "restored read")
            options << "--fail" << QStringLiteral("read:%1:6A82").arg(testWriteOf(profile, true).readBack + 1);
        else if (trouble == "leave")
            options << "--leave-on" << "update:1";
        ReaderManagerRig rig;
        QTemporaryDir dump;
        VirtualCardProcess card(0);
        QVERIFY(card.insert(profile, options + QStringList{"--dump", dump.path()}));
        QVERIFY(rig.waitForCard(card.name()));

        rig.check(card.name(), "1234");
        QCOMPARE(rig.takeFinish(), QString("check"));
        QTEST(int(rig.boxes.size()), "boxes");
        if (!shown.isEmpty()) {
            const ReaderState state = rig.manager->readerState(card.name());
            const QString key = writable.fid == 0x0509 ? "NoOfCalibrationsSinceDownload" : "LastCardDownload";
            QCOMPARE(state.cardInfo.value(key), shown);
            // The refused read is the one meant.
            int refused = 0;
            for (const CmdCheckRow &row : state.cmdCheckRows)
                refused += row.step == "Считывание востановленного значения из EFCardDownload" && row.failed;
            QCOMPARE(refused, trouble == "restored read" ? 1 : 0);
        }
        QVERIFY(card.remove());
        QCOMPARE(readCardDump(dump.path()).value(writable.fid) == writable.bytes, trouble != "leave");
    }

    // The interrupt arrives from the GUI thread at any moment, also while the
    // worker deletes readers (the sanitizer build catches a reader used after it
    // was deleted).
    void interruptWhileReadersComeAndGo()
    {
        ReaderManagerRig rig;
        QTRY_COMPARE_WITH_TIMEOUT(rig.manager->readerNames().size(), 2, ReaderManagerRig::generousMs);
        std::atomic<bool> done{false};
        rig.request([&] {
            for (int i = 0; i < 1000; ++i) {
                const QStringList names{QStringLiteral("ghost %1").arg(i % 5)};
                rig.manager->on_FoundCardReaders(names);
                rig.manager->on_UnmountedCardReader(names);
            }
            done = true;
        });
        QDeadlineTimer deadline(3 * ReaderManagerRig::generousMs);
        while (!done && !deadline.hasExpired()) {
            rig.manager->on_InterruptAllOperation();
            rig.manager->readerState(QStringLiteral("ghost 3"));
        }
        QVERIFY(done);
        QCOMPARE(rig.manager->readerNames().size(), 2);
    }

    void manualUnblock_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("puk");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("pinAfter");
        QTest::addColumn<QString>("pukTriesAfter");
        QTest::addColumn<bool>("box");
        QTest::addColumn<QString>("line");

        const QString done = QStringLiteral("0|%1: Карта %2 успешно разблокирована.");
        const QString failed = QStringLiteral("2|%1: Не удалось выполнить разблокировку в ручном режиме карты %2.");
        // The plain right PUK is the whole-program test's; a cancel before must not stick.
        QTest::newRow("right PUK after a cancel") << pinBlocked << QByteArray("12345678") << "2|Карта разблокирована"
                                                  << newPin << "3" << false << done;
        // Only a PUK the card has blocked brings the box that the card must be reissued.
        QTest::newRow("wrong PUK") << pinBlocked << QByteArray("87654321") << "3|Карта не разблокирована" << oldPin
                                   << "2" << false << failed;
        QTest::newRow("blocked PUK") << pinBlocked + QStringList{"--puk-tries", "0"} << QByteArray("12345678")
                                     << "3|Карта не разблокирована" << oldPin << "0" << true << failed;
        // The card carried the command out and left before answering.
        QTest::newRow("card gone before the answer")
            << pinBlocked + QStringList{"--leave-on", "unblock:1"} << QByteArray("12345678")
            << "3|Ответ карты не получен, ПИН-код мог стать новым" << newPin << "3" << false
            << "2|%1: Ответ карты %2 на команду разблокировки не получен. Возможно, карта уже разблокирована и ее "
               "ПИН-код — новый: прежде чем повторять разблокировку, попробуйте новый ПИН-код.";
        // Its reset waits for the end of our hold: the command goes through and is answered.
        QTest::newRow("another program resets while the command is held")
            << pinBlocked + QStringList{"--pause"} << QByteArray("12345678") << "2|Карта разблокирована" << newPin
            << "3" << false << done;
    }

    void manualUnblock()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, puk);
        QFETCH(QString, shown);
        QFETCH(bool, box);
        ReaderManagerRig rig;
        QTemporaryDir dump;
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi", options + QStringList{"--dump", dump.path()}));
        const bool otherResets = options.contains("--pause");
        if (otherResets) { // the insertion's first command
            QVERIFY(card.waitUntilPaused());
            card.resume();
        }
        QVERIFY(rig.waitForCard(card.name()));
        if (QTest::currentDataTag() == QLatin1String("right PUK after a cancel"))
            rig.manager->on_InterruptAllOperation();
        if (otherResets)
            card.pauseNextCommand();

        const SecretBytes typedPuk(puk), typedPin(QByteArray("5678"));
        const QByteArray heldPuk = typedPuk.bytes(), heldPin = typedPin.bytes(); // the buffers themselves
        const QString reader = card.name();
        rig.request([&rig, reader, typedPuk, typedPin] {
            rig.manager->on_UnblockCard(reader, &rig.progress.element, typedPuk, typedPin);
        });
        std::unique_ptr<OtherProgramAtWork> other;
        if (otherResets) {
            QVERIFY(card.waitUntilPaused());
            other = std::make_unique<OtherProgramAtWork>(reader, OtherProgramAtWork::Reset);
            card.resume();
        }
        QCOMPARE(rig.takeFinish(), QString("unblock"));
        if (other)
            QTRY_COMPARE(other->done.load(), 1);
        QCOMPARE(heldPuk + heldPin, QByteArray(12, '\0'));
        QTRY_COMPARE(rig.progress.shown(), shown);
        QFETCH(QString, line);
        QTRY_VERIFY2(rig.logged(line.arg(card.name(), QStringLiteral("RUD0000012345600 / A23501000123456"))),
                     qPrintable(rig.log.join('\n')));
        if (box) {
            QCOMPARE(rig.boxes.size(), 1);
            QVERIFY(rig.boxes.first().startsWith(
                "3|Не удалось разблокировать карту.|При выполнении предыдущих разблокировок карта была окончательно "
                "заблокирована. Разблокировка не может быть выполнена.<br><span style=\"color:#FF7F7F\"><b>Карту "
                "необходимо перевыпустить</b></span>.|"));
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

    // The manager's own checks of an answer, whatever the client lets through.
    void automaticUnblock_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("answer"); // empty: the request failed
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("finish");
        QTest::addColumn<QString>("pinAfter");
        QTest::addColumn<QString>("logLine"); // empty: not checked
        QTest::addColumn<QStringList>("options"); // of the card

        const QString module = QStringLiteral("A23501000123456");
        const auto row = [](const char *name, const QStringList &answer, const char *shown, const char *finish,
                            const QString &pin, const QString &log = QString(), const QStringList &options = {}) {
            QTest::newRow(name) << "driver-rfskzi" << answer << shown << finish << pin << log << options;
        };
        row("accepted", {"RUD0000012345600", "123-40000", "12345678", "None", "Сервер", "7"}, "2|Карта разблокирована",
            "auto:7", newPin, "0|%1: Карта RUD0000012345600 / 123-40000 успешно разблокирована.");
        row("another card", {"RUD0000000000001", "123-40000", "12345678", "None", "Сервер", "7"},
            "3|Карта не разблокирована", "auto:7", oldPin,
            "2|%1: Сервер разблокировки предоставли ПАК-код карты RUD0000000000001 / 123-40000. В картридере "
            "находится карта RUD0000012345600 / A23501000123456. Разблокировка не может быть выполнена.");
        row("no PUK", {"RUD0000012345600", "123-40000", "None", "PUK карты не найден", "Архив", "6"},
            "3|ПАК-код не найден", "auto:6", oldPin,
            "2|%1: Не найден ПАК-код карты RUD0000012345600 / 123-40000. Разблокировка прервана. Ответ сервера "
            "разблокировки: PUK карты не найден");
        // The server's texts are logged as their start and their length.
        row("no PUK, long error text",
            {"RUD0000012345600", "123-40000", "None", QString(200000, QChar(0x436)), "Архив", "6"},
            "3|ПАК-код не найден", "auto:6", oldPin,
            "2|%1: Не найден ПАК-код карты RUD0000012345600 / 123-40000. Разблокировка прервана. Ответ сервера "
            "разблокировки: " + QString(100, QChar(0x436)) + "… (всего символов: 200000)");
        row("another card, long source",
            {"RUD0000000000001", "123-40000", "12345678", "None", QString(200000, 'z'), "7"},
            "3|Карта не разблокирована", "auto:7", oldPin,
            "0|%1: Найден ПАК-код карты RUD0000000000001 / 123-40000. Источник ПАК-кода: " + QString(100, 'z')
                + "… (всего символов: 200000)");
        row("request failed", {}, "3|ПАК-код не найден", "auto:-9999", oldPin,
            "2|%1: Не найден ПАК-код карты RUD0000012345600 / A23501000123456. Разблокировка не может быть выполнена.");
        row("kind 1 by module", {"RUD0000000000001", module, "12345678", "None", "", "3"}, "2|Карта разблокирована",
            "auto:3", newPin);
        row("missing elements read as empty", {"", "", "12345678"}, "3|Карта не разблокирована", "auto:0", oldPin);
        row("nine-digit PUK", {"RUD0000012345600", module, "123456789", "None", "", "4"}, "3|Некорректный ПАК-код",
            "auto:4", oldPin);
        QTest::newRow("kind 2 echoed not applicable")
            << "driver-estr" << QStringList{"RUD0000000000001", "Неприменимо", "12345678", "None", "", "3"}
            << "3|Карта не разблокирована" << "auto:3" << oldPin << "" << QStringList();
        row("card gone before the answer", {"RUD0000012345600", "123-40000", "12345678", "None", "Сервер", "7"},
            "3|Ответ карты не получен, ПИН-код мог стать новым", "auto:7", newPin,
            "2|%1: Ответ карты RUD0000012345600 / 123-40000 на команду разблокировки не получен. Возможно, карта "
            "уже разблокирована и ее ПИН-код — новый: прежде чем повторять разблокировку, попробуйте новый ПИН-код.",
            {"--leave-on", "unblock:1"});
    }

    void automaticUnblock()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, answer);
        QFETCH(QString, shown);
        QFETCH(QString, logLine);
        QFETCH(QStringList, options);
        ReaderManagerRig rig;
        QTemporaryDir dump;
        VirtualCardProcess card(1);
        QVERIFY(card.insert(profile, pinBlocked + options + QStringList{"--dump", dump.path()}));
        QVERIFY(rig.waitForCard(card.name()));

        rig.autoUnblock(card.name(), "5678");
        QVERIFY(rig.waitForCommands(1));
        if (profile == "driver-rfskzi")
            QCOMPARE(rig.commands.first(), QString("findPUK|RUD0000012345600|A23501000123456"));
        rig.answer("getStatus", {"42", ""}); // not the manager's
        rig.answer("findPUK", answer);
        QTEST(rig.takeFinish(), "finish");
        QTRY_COMPARE(rig.progress.shown(), shown);
        if (!logLine.isEmpty())
            QTRY_VERIFY2(rig.logged(logLine.arg(card.name())), qPrintable(rig.log.join('\n')));
        for (const QString &line : qAsConst(rig.log))
            QVERIFY2(!line.contains("5678") && !line.contains("12345678"), qPrintable(line));

        QVERIFY(card.remove());
        QTEST(readCardCounters(dump.path()).value("pin"), "pinAfter");
    }

    // The answer names the card that was in the reader when it was asked for.
    void cardSwappedDuringRequest()
    {
        ReaderManagerRig rig;
        VirtualCardProcess first(0);
        QVERIFY(first.insert("driver-rfskzi", pinBlocked));
        QVERIFY(rig.waitForCard(first.name()));
        rig.autoUnblock(first.name(), "5678");
        QVERIFY(rig.waitForCommands(1));
        QVERIFY(first.remove());
        QTemporaryDir dump;
        VirtualCardProcess second(0);
        QVERIFY(second.insert("workshop-rfskzi", pinBlocked + QStringList{"--dump", dump.path()}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.manager->readerState(second.name()).cardNumber, QString("RUW0000000456700"),
                                  ReaderManagerRig::generousMs);

        rig.answer("findPUK", {"RUD0000012345600", "123-40000", "12345678", "None", "Сервер", "7"});
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
    void cancelReachesOnlyEarlierRequests()
    {
        ReaderManagerRig rig;
        QTemporaryDir dump;
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi", pinBlocked + QStringList{"--dump", dump.path()}));
        QVERIFY(rig.waitForCard(card.name()));
        QSemaphore holding, released;
        rig.request([&] {
            holding.release();
            released.acquire();
        });
        QVERIFY(holding.tryAcquire(1, ReaderManagerRig::generousMs));

        rig.unblock(card.name(), "87654321", "5678");
        rig.manager->on_InterruptAllOperation();
        rig.check(card.name());
        rig.read(card.name(), "1234");
        released.release();
        QCOMPARE(rig.takeFinish(), QString("unblock"));
        QCOMPARE(rig.takeFinish(), QString("check"));
        QCOMPARE(rig.takeFinish(), QString("read:"));
        // The unblock never started; the diagnosis ran to its end, the read up
        // to the card's refusal of the blocked PIN.
        QVERIFY(rig.log.filter("Разблокировка в ручном режиме").isEmpty());
        QVERIFY(rig.logged(QStringLiteral("0|%1: Завершено диагностирование карты RUD0000012345600 / A23501000123456.")
                               .arg(card.name())));
        QTRY_COMPARE(rig.progress.shown(), QString("3|Не корректный ПИН-код"));

        QVERIFY(card.remove());
        QCOMPARE(readCardCounters(dump.path()).value("puk-tries"), QString("3")); // the PUK never reached the card
    }

    // Card A's request cancelled, then card B's made: A's late answer neither
    // finishes B's request nor reaches a card, and B's own answer unblocks B.
    void lateAnswerFindsItsOwnRequest()
    {
        ReaderManagerRig rig;
        QTemporaryDir dumpA, dumpB;
        VirtualCardProcess a(0), b(1);
        QVERIFY(a.insert("driver-rfskzi", pinBlocked + QStringList{"--dump", dumpA.path()}));
        QVERIFY(b.insert("workshop-rfskzi", pinBlocked + QStringList{"--dump", dumpB.path()}));
        QVERIFY(rig.waitForCard(a.name()) && rig.waitForCard(b.name()));

        rig.autoUnblock(a.name(), "5678");
        QVERIFY(rig.waitForCommands(1));
        rig.manager->on_InterruptAllOperation();
        QCOMPARE(rig.takeFinish(), QString("auto:-9999")); // at once, not at the answer
        rig.autoUnblock(b.name(), "5678");
        QVERIFY(rig.waitForCommands(2));
        rig.answer("findPUK", {"RUD0000012345600", "A23501000123456", "12345678", "None", "Сервер", "7"});
        rig.answer("findPUK", {"RUW0000000456700", "A23501000234567", "12345678", "None", "Сервер", "6"});
        QCOMPARE(rig.takeFinish(), QString("auto:6"));
        QTRY_COMPARE(rig.progress.shown(), QString("2|Карта разблокирована"));

        // Any other operation ends a request still waiting for the server at once,
        // even one for a reader that is not there.
        rig.autoUnblock(a.name(), "5678");
        QVERIFY(rig.waitForCommands(3));
        rig.read("no such reader");
        QCOMPARE(rig.takeFinish(), QString("auto:-9999"));
        QCOMPARE(rig.takeFinish(), QString("read:"));
        QTRY_COMPARE(rig.progress.shown(), QString("3|Картридер не найден"));
        QVERIFY(rig.logged("2|Не найден картридер: no such reader."));
        rig.answer("findPUK", {"RUD0000012345600", "A23501000123456", "12345678", "None", "Сервер", "5"});
        QVERIFY(!QTest::qWaitFor([&] { return !rig.finishes.isEmpty(); }, 300));

        QVERIFY(a.remove() && b.remove());
        QCOMPARE(readCardCounters(dumpA.path()).value("pin"), oldPin);
        QCOMPARE(readCardCounters(dumpB.path()).value("pin"), newPin);
    }
};

QTEST_MAIN(TestReaderManager)
#include "tst_readermanager.moc"
