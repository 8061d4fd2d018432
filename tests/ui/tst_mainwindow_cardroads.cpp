// The card roads of the main window, driven through its widgets against a
// virtual card, the reader manager and the local unblock server: diagnosis,
// manual and automatic unblock, each unblock proven by a read with the new PIN.

#include "tests/support/VirtualCardProcess.h"
#include "tests/ui/AppRig.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/ui/WindowAnswers.h"

#include <QFileInfo>
#include <QLCDNumber>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

const QString driverCard = QStringLiteral("driver-rfskzi");
const QStringList pinBlocked{"--pin-tries", "0"};
constexpr int operationMs = 60000;

bool hasRedRow(const QTableWidget* table)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->foreground().color() == QColor(255, 127, 127))
            return true;
    }
    return false;
}

} // namespace

class TestMainWindowCardRoads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void diagnosesKind1Card();
    void unblocksByHand();
    void unblocksAutomatically();

private:
    // Reads the card in reader 0 with the PIN from the read page.
    void readWithPin(AppRig& rig, const QString& pin, const QString& outcome);

    QString reader0 = VirtualCardProcess::readerName(0);
    std::unique_ptr<UnblockServerProcess> server;
};

void TestMainWindowCardRoads::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toUtf8() + "/mainwindow-cardroads-config");
    qputenv("XDG_DATA_HOME", QDir::tempPath().toUtf8() + "/mainwindow-cardroads-data");
    server = std::make_unique<UnblockServerProcess>();
    QVERIFY(server->port != 0);
}

void TestMainWindowCardRoads::readWithPin(AppRig& rig, const QString& pin, const QString& outcome)
{
    QVERIFY(rig.click("ReadCardsBtn"));
    QCOMPARE(rig.mainPage(), 1);
    QCOMPARE(rig.text("ReadPrgLbl"), QStringLiteral("Ввод ПИН-кода"));
    // The edit takes digits only; Return sends a complete PIN only.
    QVERIFY(rig.type("ReadPINEdt", "x" + pin.left(3) + '\n'));
    QVERIFY(!rig.enabled("SubmitPINBtn"));
    QCOMPARE(rig.text("ReadPINEdt"), pin.left(3));
    QVERIFY(rig.type("ReadPINEdt", pin.mid(3) + '\n'));
    QTRY_COMPARE(rig.text("ReadPINEdt"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("ReadPrgLbl"), outcome, operationMs);
    QTRY_VERIFY(rig.enabled("ReadPINEdt")); // ready for another read
}

void TestMainWindowCardRoads::diagnosesKind1Card()
{
    AppRig rig;
    VirtualCardProcess card(0);
    // One refused hash gives the command check a failed row.
    QVERIFY(rig.showCard(card, driverCard, {"--fail", "hash:1:6985"}));

    QVERIFY(rig.click("CheckingCardBtn"));
    QCOMPARE(rig.mainPage(), 2);
    QCOMPARE(rig.text("CheckingPrgLbl"), QStringLiteral("Ввод ПИН-кода"));
    auto* tabs = rig.widget<QTabWidget>("CheckingTabs");
    QVERIFY(rig.enabled("StartCheckingBtn")); // a diagnosis may run without a PIN
    QVERIFY(rig.type("CheckingPinEdt", "12"));
    QVERIFY(!rig.enabled("StartCheckingBtn"));
    QVERIFY(rig.type("CheckingPinEdt", "34\n"));
    QTRY_COMPARE(rig.text("CheckingPinEdt"), QString());

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("CheckingPrgLbl"), QStringLiteral("Диагностика выполнена"), operationMs);
    QCOMPARE(rig.viewPage(), 1);
    QVERIFY(rig.enabled("Checking2XLSBtn"));
    QVERIFY(rig.enabled("CheckingToCSVBtn"));
    // Each tab's picture tells whether its table has a failed (red) row.
    const QStringList tables{"CmdCheckTbl", "DataCheckTbl", "FaultEventTbl"};
    const QStringList kinds{"card", "data", "enf"};
    for (int tab = 0; tab < 3; ++tab) {
        const auto* table = rig.widget<QTableWidget>(tables.at(tab));
        QVERIFY(table->rowCount() > 0 && table->item(0, table->columnCount() - 1));
        QCOMPARE(iconState(tabs->tabIcon(tab), kinds.at(tab)), hasRedRow(table) ? 3 : 2);
    }
    QVERIFY(hasRedRow(rig.widget<QTableWidget>("CmdCheckTbl")));
    QVERIFY(AppRig::quiet());
}

void TestMainWindowCardRoads::unblocksByHand()
{
    AppRig rig;
    QVERIFY(rig.wired);
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, driverCard, pinBlocked));

    QVERIFY(rig.click("UnblockCardBtn"));
    QCOMPARE(rig.mainPage(), 3);
    QVERIFY(!rig.enabled("ClearPUKPIN"));
    // Return in the PUK moves on to the new PIN once the PUK is complete;
    // Return in the new PIN unblocks.
    QVERIFY(rig.type("PUKEdt", "1234567\n"));
    QCOMPARE(rig.window->focusWidget(), rig.widget<QWidget>("PUKEdt"));
    QVERIFY(rig.type("UnblockPinEdt", "4321"));
    QVERIFY(rig.enabled("ClearPUKPIN"));
    QVERIFY(!rig.enabled("UnblockBtn"));
    QVERIFY(rig.type("PUKEdt", "8\n"));
    QCOMPARE(rig.window->focusWidget(), rig.widget<QWidget>("UnblockPinEdt"));
    QVERIFY(rig.enabled("UnblockBtn"));
    QVERIFY(rig.type("UnblockPinEdt", "\n"));
    QTRY_COMPARE(rig.text("PUKEdt"), QString());
    QCOMPARE(rig.text("UnblockPinEdt"), QString());

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("UBlckPrgLbl"), QStringLiteral("Карта разблокирована"), operationMs);
    QTRY_VERIFY(rig.enabled("PUKEdt"));
    QVERIFY(rig.enabled("UnblockPinEdt"));

    // The new PIN opens the card; the saved file waits on the upload page,
    // the read page sends nothing.
    QVERIFY(rig.click("CancelBtn"));
    readWithPin(rig, "4321", QStringLiteral("Карта успешно считана"));
    QCOMPARE(rig.finished.size(), 1);
    const QString saved = rig.finished.first().mid(5);
    QCOMPARE(QFileInfo(saved).absolutePath(), rig.dddFolder());
    QVERIFY(saved.endsWith(".ddd") && QFileInfo(saved).size() > 0);
    QCOMPARE(rig.text("LKFileEdt"), saved);
    QVERIFY(!rig.sender.isBusy());
    QCOMPARE(rig.mainPage(), 1);
    QVERIFY(AppRig::quiet());
}

void TestMainWindowCardRoads::unblocksAutomatically()
{
    AppRig rig;
    rig.useUnblockServer(server->port);
    rig.useKeyFile();
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, driverCard, pinBlocked));

    QVERIFY(rig.click("AutoUnblockBtn"));
    QCOMPARE(rig.mainPage(), 4);
    QCOMPARE(rig.text("AutoUBlckPrgLbl"), QStringLiteral("Ввод нового ПИН-кода"));
    QVERIFY(rig.type("ANewPINEdt", "432"));
    QVERIFY(!rig.enabled("AUnblockBtn"));
    QString left = "untouched";
    const auto pressReturn = [&] {
        QVERIFY(rig.type("ANewPINEdt", "1\n"));
        QTRY_COMPARE(rig.text("ANewPINEdt"), QString());
    };
    QCOMPARE(dialogsShownBy(pressReturn, {typePassPhrase(keyPassPhrase(), true, &left)}),
             QStringList{"input:Пароль закрытого ключа"});
    QCOMPARE(left, QString()); // the pass phrase does not stay in the dialog

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("AutoUBlckPrgLbl"), QStringLiteral("Карта разблокирована"), operationMs);
    // The request and the counter are checked by the whole-program test too.
    QCOMPARE(rig.widget<QLCDNumber>("UnblockCounterLcd")->intValue(), 42);
    QTRY_VERIFY(rig.enabled("ANewPINEdt"));
    QVERIFY(server->requests().last().endsWith("findPUK('RUD0000012345600','A23501000123456')"));

    QVERIFY(rig.click("CancelBtn"));
    readWithPin(rig, "4321", QStringLiteral("Карта успешно считана"));
    QVERIFY(AppRig::quiet());
}

QTEST_MAIN(TestMainWindowCardRoads)
#include "tst_mainwindow_cardroads.moc"
