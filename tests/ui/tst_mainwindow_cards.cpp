// The main window with real cards in the sandbox's readers: which commands
// a card offers, the busy rule with closing and cancelling, and what a card
// removal or a late finish does to a running operation.

#include "tests/support/VirtualCardProcess.h"
#include "tests/ui/AppRig.h"
#include "tests/support/ModalBoxes.h"

#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

namespace {

// Each command of a slow card waits this long, so a read or a diagnosis
// runs long enough to be interrupted.
const QStringList slowCard{"--delay-ms", "40"};

} // namespace

class TestMainWindowCards : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buttonsFollowTheCard_data();
    void buttonsFollowTheCard();
    void closeRefusedWhileBusyThenAllowedAfterCancel();
    void removalFromAnotherReaderInterrupts();
    void lateCheckFinishedAfterCancelChangesNothing();
    void readerRemovalSkipsUnknownNamesAndDropsSelection();

private:
    QString reader0 = VirtualCardProcess::readerName(0);
    QString reader1 = VirtualCardProcess::readerName(1);
};

void TestMainWindowCards::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toUtf8() + "/mainwindow-cards-config");
    qputenv("XDG_DATA_HOME", QDir::tempPath().toUtf8() + "/mainwindow-cards-data");
}

void TestMainWindowCards::buttonsFollowTheCard_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("buttons"); // Upload Read AutoUnblock Checking UnblockCard Cancel
    QTest::newRow("kind 1, company card") << "company-rfskzi" << "110110";
    QTest::newRow("kind 1, driver card") << "driver-rfskzi" << "111110";
    QTest::newRow("kind 2, driver card") << "driver-estr" << "110100";
    QTest::newRow("no card") << "" << "100000";
}

void TestMainWindowCards::buttonsFollowTheCard()
{
    QFETCH(QString, profile);
    AppRig rig;
    QVERIFY(rig.wired);
    VirtualCardProcess card(0);
    if (!profile.isEmpty()) {
        QVERIFY(card.insert(profile));
        QVERIFY(rig.waitForCardRow(reader0));
    }
    QVERIFY(rig.selectReader(reader0));
    QTEST(rig.commandButtons(), "buttons");

    // An open page leaves only Cancel; cancel restores the card's buttons.
    QVERIFY(rig.click("UploadBtn"));
    QCOMPARE(rig.mainPage(), 5);
    QCOMPARE(rig.commandButtons(), QStringLiteral("000001"));
    QVERIFY(rig.click("CancelBtn"));
    QCOMPARE(rig.mainPage(), 0);
    QTEST(rig.commandButtons(), "buttons");
    if (profile.isEmpty())
        return;

    // A removed card leaves only Upload, also once the manager has caught up.
    QVERIFY(card.remove());
    QTRY_VERIFY(!rig.manager->readerState(reader0).cardPresent);
    QTRY_COMPARE(rig.commandButtons(), QStringLiteral("100000"));
    QCOMPARE(rig.viewPage(), 2);
}

void TestMainWindowCards::closeRefusedWhileBusyThenAllowedAfterCancel()
{
    AppRig rig;
    VirtualCardProcess card(0);
    QVERIFY(card.insert("driver-estr", slowCard));
    QVERIFY(rig.waitForCardRow(reader0));
    QVERIFY(rig.selectReader(reader0));
    QVERIFY(rig.click("ReadCardsBtn")); // kind 2: the read starts at once

    QCOMPARE(boxesShownBy([&] { QVERIFY(!rig.window->close()); }),
             QStringList{"Ошибка закрытия Дравека Про|Дравек Про не может быть закрыт в процессе "
                                "взаимодействия с картой тахографа."});
    QVERIFY(rig.window->isVisible());

    QVERIFY(rig.click("CancelBtn"));
    QVERIFY(rig.logged(reader0 + ": Операция прервана пользователем."));
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"read "}, 30000); // interrupted: nothing saved
    QVERIFY(rig.window->close());
    QVERIFY(!rig.window->isVisible());
}

void TestMainWindowCards::removalFromAnotherReaderInterrupts()
{
    AppRig rig;
    VirtualCardProcess slow(0);
    VirtualCardProcess other(1);
    // Slower still: the removal must be seen while the read runs.
    QVERIFY(slow.insert("driver-estr", {"--delay-ms", "150"}));
    QVERIFY(other.insert("company-estr"));
    QVERIFY(rig.waitForCardRow(reader0));
    QVERIFY(rig.waitForCardRow(reader1));
    QVERIFY(rig.selectReader(reader0));
    QVERIFY(rig.click("ReadCardsBtn"));

    QVERIFY(other.remove());
    QTRY_VERIFY_WITH_TIMEOUT(rig.logged(reader1 + ": Операция прервана пользователем."), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"read "}, 30000);
    QVERIFY(rig.text("ReadPrgLbl").startsWith(QStringLiteral("Не удалось")));
    // The read page stays, nothing runs: the window may close.
    QCOMPARE(rig.mainPage(), 1);
    QVERIFY(rig.window->close());
}

void TestMainWindowCards::lateCheckFinishedAfterCancelChangesNothing()
{
    AppRig rig;
    VirtualCardProcess card(0);
    QVERIFY(card.insert("driver-estr", slowCard));
    QVERIFY(rig.waitForCardRow(reader0));
    QVERIFY(rig.selectReader(reader0));
    QCOMPARE(rig.viewPage(), 0);
    QVERIFY(rig.click("CheckingCardBtn")); // kind 2: the diagnosis starts at once
    QVERIFY(rig.click("CancelBtn"));
    QCOMPARE(rig.mainPage(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"check"}, 60000);
    QCOMPARE(rig.viewPage(), 0);
    QCOMPARE(rig.widget<QTableWidget>("CmdCheckTbl")->rowCount(), 0);
    QVERIFY(!rig.enabled("Checking2XLSBtn"));
    QVERIFY(rig.text("CheckingPrgLbl") != QStringLiteral("Диагностика выполнена"));
    QCOMPARE(rig.commandButtons(), QStringLiteral("110100"));
}

void TestMainWindowCards::readerRemovalSkipsUnknownNamesAndDropsSelection()
{
    AppRig rig;
    VirtualCardProcess card(0);
    QVERIFY(card.insert("driver-estr"));
    QVERIFY(rig.waitForCardRow(reader0));
    rig.window->on_FoundCardReaders({reader0, reader1, "Spare reader"});
    auto* table = rig.widget<QTableWidget>("ReaderListTbl");
    QCOMPARE(table->rowCount(), 3);
    QVERIFY(rig.selectReader(reader0));

    // An unknown name does not stop the list; another reader's removal
    // leaves the selected card as it was.
    rig.window->on_UnmountCardReader({"Unknown reader", "Spare reader"});
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->currentRow(), 0);
    QCOMPARE(rig.commandButtons(), QStringLiteral("110100"));
    QCOMPARE(rig.viewPage(), 0);

    // The selected reader gone, the next one is not silently selected.
    rig.window->on_UnmountCardReader({reader0});
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->currentRow(), -1);
    QCOMPARE(rig.commandButtons(), QStringLiteral("100000"));
    QCOMPARE(rig.viewPage(), 2);
    QVERIFY(!rig.enabled("CardInfo2XLSBtn"));

    // The command bar's dialogs are reached whatever the readers do.
    QVERIFY(rig.click("AboutBtn"));
    QVERIFY(rig.aboutWindow.isVisible());
    QVERIFY(rig.click("ConfigBtn"));
    QVERIFY(rig.configWindow.isVisible());
}

QTEST_MAIN(TestMainWindowCards)
#include "tst_mainwindow_cards.moc"
