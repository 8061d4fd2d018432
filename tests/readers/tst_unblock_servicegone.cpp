// A manual unblock whose smart-card service goes away under it, through the
// monitor, the reader manager in its thread, a pcscd of the test's own
// ($DRVP_PCSCD_CMD) and the virtual card, whose dump tells what it did.

#include "tests/readers/CardCounters.h"
#include "tests/readers/OwnPcscd.h"
#include "tests/readers/PcscCallHold.h"
#include "tests/readers/ReaderManagerRig.h"
#include "tests/support/VirtualCardProcess.h"

#include <QtTest>

namespace {

constexpr int generousMs = 20000;
const QString oldPin = QStringLiteral("31323334FFFFFFFF"); // "1234", the card's own
const QString newPin = QStringLiteral("35363738FFFFFFFF"); // "5678"
const QStringList pinBlocked{"--pin-tries", "0"};

} // namespace

class TestUnblockServiceGone : public QObject
{
    Q_OBJECT

private slots:
    // pcscd killed and reaped after our connect: gone before the command, or
    // while the card works on it, which it carries out once let go.
    void serviceGone_data()
    {
        QTest::addColumn<bool>("cardHolds");
        QTest::addColumn<QString>("code"); // in the failed command's log line
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("pinAfter");

        QTest::newRow("gone before the command")
            << false << "0x8010001D" << "3|Команда не выполнена, ПИН-код не изменен"
            << "2|%1: Команда разблокировки не передана карте %2: служба смарт-карт ее отклонила или недоступна. "
               "Карта команду не выполнила, ПИН-код не изменен."
            << oldPin;
        QTest::newRow("gone while the card works")
            << true << "0x80100013" << "3|Ответ карты не получен, ПИН-код мог стать новым"
            << "2|%1: Ответ карты %2 на команду разблокировки не получен. Возможно, карта уже разблокирована и ее "
               "ПИН-код — новый: прежде чем повторять разблокировку, попробуйте новый ПИН-код."
            << newPin;
    }

    void serviceGone()
    {
        QFETCH(bool, cardHolds);
        OwnPcscd pcscd;
        QVERIFY(pcscd.start());
        ReaderManagerRig rig;
        QTemporaryDir dump;
        VirtualCardProcess card(0);
        QStringList options = pinBlocked + QStringList{"--dump", dump.path()};
        if (cardHolds)
            options << "--pause";
        QVERIFY(card.insert("driver-rfskzi", options));
        if (cardHolds) { // the insertion's first command
            QVERIFY(card.waitUntilPaused());
            card.resume();
        }
        QVERIFY(rig.waitForCard(card.name()));

        PcscCallHold::arm(PcscCallHold::Call::Unblock);
        rig.unblock(card.name(), "12345678", "5678");
        QVERIFY(PcscCallHold::waitUntilHeld(generousMs));
        if (cardHolds) { // the card gets the command and holds its answer
            card.pauseNextCommand();
            PcscCallHold::letGo();
            QVERIFY(card.waitUntilPaused());
        }
        QVERIFY(pcscd.kill());
        if (cardHolds)
            card.resume();
        else
            PcscCallHold::letGo();

        QCOMPARE(rig.takeFinish(), QString("unblock"));
        QFETCH(QString, code);
        QVERIFY2(rig.log.filter("Не удалось выполнить команду разблокировки карты").filter(code).size() == 1,
                 qPrintable(rig.log.join('\n')));
        QFETCH(QString, shown);
        QTRY_COMPARE(rig.progress.shown(), shown);
        QFETCH(QString, line);
        QTRY_VERIFY2(rig.logged(line.arg(card.name(), QStringLiteral("RUD0000012345600 / A23501000123456"))),
                     qPrintable(rig.log.join('\n')));

        QVERIFY(card.waitForProcessEnd());
        const QMap<QString, QString> counters = readCardCounters(dump.path());
        QTEST(counters.value("pin"), "pinAfter");
        QCOMPARE(counters.value("puk-tries"), QString("3")); // all of them: the PUK was right
    }
};

QTEST_MAIN(TestUnblockServiceGone)
#include "tst_unblock_servicegone.moc"
