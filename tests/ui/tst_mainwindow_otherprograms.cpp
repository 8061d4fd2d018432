// Another program holds the card around our own work: the row shows the card
// in use only while someone holds it, whichever ends first, and a card that
// another program holds exclusively ends our read or diagnosis after the
// bounded wait, with the reason in the log; so does a card whose transaction
// another program holds, unless the user cancels the wait.

#include "tests/app/IconHistory.h"
#include "tests/app/ProgramDriver.h"
#include "tests/readers/CardDump.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/VirtualCardProcess.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace ProgramDriver;

namespace {

constexpr int operationMs = 60000;
const QString heldLine = QStringLiteral(
    ": Не удалось подключиться к карте: она занята другой программой. Дождитесь, когда программа освободит "
    "карту, и повторите операцию.");

} // namespace

class TestMainWindowOtherPrograms : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    const QString reader0 = VirtualCardProcess::readerName(0);

private slots:
    void initTestCase() { QVERIFY(useHome(home)); }

    void cleanup()
    {
        QTest::qWait(200);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The other program asks for the card during our identification or
    // takes it while the card shows free, and lets go while our work holds a
    // command ("before") or once our work is over ("after"). An exclusive
    // hold refuses our read or diagnosis once the wait for the card is over.
    void freeOnceNobodyHoldsIt_data()
    {
        QTest::addColumn<QString>("start"); // empty: the identification at insertion
        QTest::addColumn<quint32>("share");
        QTest::addColumn<bool>("releasedAfter");
        QTest::newRow("identification, shared, let go after") << "" << Pcsc::SCARD_SHARE_SHARED << true;
        for (const char* start : {"ReadCardsBtn", "CheckingCardBtn"}) {
            QTest::addRow("%s, shared, let go after", start) << start << Pcsc::SCARD_SHARE_SHARED << true;
            QTest::addRow("%s, shared, let go before", start) << start << Pcsc::SCARD_SHARE_SHARED << false;
            QTest::addRow("%s, exclusive", start) << start << Pcsc::SCARD_SHARE_EXCLUSIVE << true;
        }
    }

    void freeOnceNobodyHoldsIt()
    {
        QFETCH(QString, start);
        QFETCH(quint32, share);
        QFETCH(bool, releasedAfter);
        RunningProgram rig;
        MainWindow* window = rig.window;
        IconHistory history(rig, reader0);
        VirtualCardProcess card(0);
        OtherProgram other;
        const bool exclusive = share == Pcsc::SCARD_SHARE_EXCLUSIVE;
        int linesBefore = 0;
        // Slow answers keep the identification going once the other program is in.
        const QStringList slow{"--delay-ms", "40"};
        QVERIFY(card.insert("driver-estr", QStringList{"--pause"} + (start.isEmpty() ? slow : QStringList()))
                && card.waitUntilPaused());
        if (start.isEmpty()) {
            // The service lets the other program in only once our
            // identification has let the card go.
            std::atomic<bool> connected{false};
            std::thread connecting([&] { connected = other.connect(reader0, share); });
            card.resume();
            connecting.join();
            QVERIFY(connected);
        } else {
            card.resume();
            QVERIFY(selectCardReader(window, reader0));
            QTRY_COMPARE_WITH_TIMEOUT(history.ends(), 1, operationMs);
            linesBefore = logLines().size();
            QVERIFY(other.connect(reader0, share));
            if (!exclusive)
                card.pauseNextCommand();
            QVERIFY(click(window, start));
            if (!exclusive) {
                QVERIFY(card.waitUntilPaused());
                if (!releasedAfter)
                    other.release();
                card.resume();
            }
        }
        const int ends = start.isEmpty() ? 0 : 1;
        QTRY_COMPARE_WITH_TIMEOUT(history.ends(), ends + 1, operationMs);
        if (releasedAfter) {
            // Our own end shows the hold of a program that was in before it;
            // one let in by that end shows with the monitor's next look.
            if (start.isEmpty())
                QTRY_COMPARE_WITH_TIMEOUT(readerIcon(window, reader0), 3, operationMs);
            QCOMPARE(readerIcon(window, reader0), 3);
            other.release();
        }
        QTRY_COMPARE_WITH_TIMEOUT(readerIcon(window, reader0), 2, operationMs);

        // Refused: one line names the cause, and no step that never ran says anything.
        const QStringList crit = logLines().mid(linesBefore).filter("[Crit] - " + reader0);
        QCOMPARE(crit.filter("занята другой программой").size(), exclusive ? 1 : 0);
        if (exclusive) {
            QVERIFY2(crit.size() == 1, qPrintable(crit.join('\n')));
            QVERIFY2(crit.first().endsWith("[Crit] - " + reader0 + heldLine), qPrintable(crit.first()));
            const QString label = start == "ReadCardsBtn" ? "ReadPrgLbl" : "CheckingPrgLbl";
            QCOMPARE(text(window, label), QString("Карта занята другой программой"));
            QCOMPARE(window->findChild<QTableWidget*>("CmdCheckTbl")->rowCount(), 0);
        }

        QVERIFY(card.remove());
        QTRY_COMPARE_WITH_TIMEOUT(readerIcon(window, reader0), 0, operationMs);
        QVERIFY(logLines().filter("Отключение карты в процессе ее использования").isEmpty());
    }

    // Another program holds the card's transaction through the whole row;
    // the card's download date was 13.09.2020 12:26:40 UTC.
    void readWaitsForAHeldCard_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("left alone: gives up") << false;
        QTest::newRow("cancelled, read again once let go") << true;
    }

    void readWaitsForAHeldCard()
    {
        QFETCH(bool, cancel);
        RunningProgram rig;
        MainWindow* window = rig.window;
        QTemporaryDir dump;
        VirtualCardProcess card(0);
        OtherProgram other;
        QVERIFY(card.insert("driver-estr", {"--stamps", "--patch", "050E:0:5F5E1000", "--dump", dump.path()}));
        QVERIFY(selectCardReader(window, reader0));
        QTRY_COMPARE_WITH_TIMEOUT(readerIcon(window, reader0), 2, operationMs);
        QVERIFY(other.connect(reader0, Pcsc::SCARD_SHARE_SHARED) && other.begin());
        card.outputLines();
        const int linesBefore = logLines().size();
        QVERIFY(click(window, "ReadCardsBtn"));
        QTRY_COMPARE_WITH_TIMEOUT(text(window, "ReadPrgLbl"), QString("Карта занята другой программой, ожидание…"),
                                  operationMs);
        // The window answers the user meanwhile.
        QVERIFY(click(window, "AboutBtn") && rig.program.aboutWindow().isVisible());
        rig.program.aboutWindow().close();
        QVERIFY(rig.finished.isEmpty());
        if (cancel)
            QVERIFY(click(window, "CancelBtn"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"read "}, operationMs);
        const QStringList lines = logLines().mid(linesBefore);
        QCOMPARE(lines.filter(reader0 + heldLine).size(), cancel ? 0 : 1);
        QCOMPARE(lines.filter(reader0 + ": Операция прервана пользователем.").size(), cancel ? 1 : 0);
        if (cancel)
            QCOMPARE(page(window, "MainFrame"), 0);
        else
            QCOMPARE(text(window, "ReadPrgLbl"), QString("Карта занята другой программой"));
        QCOMPARE(QDir(rig.ddd.path()).entryList({"*.ddd"}).size(), 0);
        QCOMPARE(card.outputLines().filter("answered"), QStringList()); // no command reached the card

        other.release();
        if (cancel) {
            QVERIFY(click(window, "ReadCardsBtn"));
            QTRY_COMPARE_WITH_TIMEOUT(rig.finished.size(), 2, operationMs);
            QCOMPARE(QDir(rig.ddd.path()).entryList({"*.ddd"}).size(), 1);
        }
        QVERIFY(card.remove());
        // Only a saved read stamps the download date.
        QCOMPARE(readCardDump(dump.path()).value(0x050E) == QByteArray::fromHex("5F5E1000"), !cancel);
    }
};

QTEST_MAIN(TestMainWindowOtherPrograms)
#include "tst_mainwindow_otherprograms.moc"
