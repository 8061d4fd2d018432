// The main window with real cards in the sandbox's readers: what each card
// kind and type shows and offers, the busy rule with closing and cancelling,
// and what a card removal or a late finish does to a running operation.

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
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("infoRows");
    QTest::addColumn<QString>("typeRow"); // the caption of the row the card type adds
    // A kind-3 card takes the kind-2 roads.
    const auto row = [](const char* profile, const char* buttons, const char* number, int infoRows,
                        const char* typeRow) {
        QTest::newRow(profile) << profile << buttons << number << infoRows << QString(typeRow);
    };
    row("driver-rfskzi", "111110", "RUD0000012345600", 23, "Номер ВУ");
    row("workshop-rfskzi", "111110", "RUW0000000456700", 21, "Мастерская");
    row("control-rfskzi", "111110", "RUC0000000007800", 14, "Контрольно-надзорный орган");
    row("company-rfskzi", "110110", "RUE0000000099900", 14, "Предприятие");
    row("driver-estr", "110100", "RUD0000001100200", 31, "Номер ВУ");
    row("workshop-estr", "110100", "RUW1000000020100", 29, "Мастерская");
    row("control-estr", "110100", "RUC0000000300100", 22, "Контрольно-надзорный орган");
    row("company-estr", "110100", "RUE0000004000100", 22, "Предприятие");
    QTest::newRow("no card") << "" << "100000" << "" << 0 << "";
}

void TestMainWindowCards::buttonsFollowTheCard()
{
    QFETCH(QString, profile);
    QFETCH(QString, number);
    QFETCH(QString, typeRow);
    AppRig rig;
    QVERIFY(rig.wired);
    VirtualCardProcess card(0);
    QVERIFY(profile.isEmpty() ? rig.selectReader(reader0) : rig.showCard(card, profile));
    QTEST(rig.commandButtons(), "buttons");
    if (!profile.isEmpty()) {
        const auto* readers = rig.widget<QTableWidget>("ReaderListTbl");
        QCOMPARE(readers->item(readers->currentRow(), 1)->text(), number);
        QVERIFY(!readers->item(readers->currentRow(), 3)->text().isEmpty());
        QVERIFY(!readers->item(readers->currentRow(), 4)->text().isEmpty());
        QCOMPARE(rig.viewPage(), 0);
        QVERIFY(rig.enabled("CardInfo2XLSBtn"));
        const auto* info = rig.widget<QTableWidget>("CardInfoTbl");
        QStringList captions;
        for (int row = 0; row < info->rowCount(); ++row) {
            captions << info->item(row, 0)->text();
            QVERIFY(info->item(row, 0)->font().bold());
        }
        QTEST(captions.size(), "infoRows");
        QCOMPARE(captions.first(), QStringLiteral("Вид карты"));
        QCOMPARE(captions.at(3), QStringLiteral("Номер карты"));
        QCOMPARE(info->item(3, 1)->text(), number);
        QCOMPARE(captions.at(4), QStringLiteral("Номер СКЗИ"));
        QCOMPARE(info->item(4, 1)->text() == QStringLiteral("Неприменимо"), !profile.endsWith("rfskzi"));
        QCOMPARE(captions.last(), QStringLiteral("ATR"));
        QVERIFY(captions.contains(typeRow));
        QCOMPARE(captions.contains("Идентификатор ИС"), !profile.endsWith("rfskzi"));
        if (typeRow == "Номер ВУ")
            QVERIFY(captions.indexOf("Дата последней выгрузки") > captions.indexOf("Номер ВУ"));
        QVERIFY(rig.logged(reader0 + ": В картридере обнаружена карта тахографа."));
    }

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
    const ReaderState gone = rig.manager->readerState(reader0);
    QVERIFY(gone.cardNumber.isEmpty() && gone.cardInfo.isEmpty());
    QTRY_COMPARE(rig.commandButtons(), QStringLiteral("100000"));
    QCOMPARE(rig.viewPage(), 2);
}

void TestMainWindowCards::closeRefusedWhileBusyThenAllowedAfterCancel()
{
    AppRig rig;
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, "driver-estr", slowCard));
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
    QVERIFY(rig.showCard(other, "company-estr"));
    QVERIFY(rig.showCard(slow, "driver-estr", {"--delay-ms", "150"}));
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
    QVERIFY(rig.showCard(card, "driver-estr", slowCard));
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
