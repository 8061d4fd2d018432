// The card roads of the main window, driven through its widgets against a
// virtual card, the reader manager and the local unblock server: read,
// diagnosis, manual and automatic unblock.

#include "tests/support/VirtualCardProcess.h"
#include "tests/ui/AppRig.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/ui/WindowAnswers.h"

#include <QFileInfo>
#include <QLCDNumber>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

const QString driverCard = QStringLiteral("driver-rfskzi");
const QStringList pinBlocked{"--pin-tries", "0"};
constexpr int operationMs = 60000;

QString passPhrase()
{
    QFile file(UnblockServerProcess::certPath("passphrase.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

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
    void readsKind1CardWithPin();
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
    QVERIFY(rig.type("ReadPINEdt", pin.left(3)));
    QVERIFY(!rig.enabled("SubmitPINBtn"));
    QVERIFY(rig.type("ReadPINEdt", pin.mid(3)));
    QVERIFY(rig.click("SubmitPINBtn"));
    QCOMPARE(rig.text("ReadPINEdt"), QString());
    QVERIFY(!rig.enabled("ReadPINEdt"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("ReadPrgLbl"), outcome, operationMs);
    QTRY_VERIFY(rig.enabled("ReadPINEdt")); // ready for another read
}

void TestMainWindowCardRoads::readsKind1CardWithPin()
{
    AppRig rig;
    QVERIFY(rig.wired);
    VirtualCardProcess card(0);
    QVERIFY(card.insert(driverCard));
    QVERIFY(rig.waitForCardRow(reader0));
    QVERIFY(rig.selectReader(reader0));

    readWithPin(rig, "1234", QStringLiteral("Карта успешно считана"));

    QCOMPARE(rig.finished.size(), 1);
    const QString saved = rig.finished.first().mid(5);
    QCOMPARE(QFileInfo(saved).absolutePath(), rig.dddFolder());
    QVERIFY(saved.endsWith(".ddd"));
    QVERIFY(QFileInfo(saved).size() > 0);
    // The saved file waits on the upload page; the read page sends nothing.
    QCOMPARE(rig.text("LKFileEdt"), saved);
    QVERIFY(!rig.sender.isBusy());
    QCOMPARE(rig.mainPage(), 1);
    QVERIFY(AppRig::quiet());
}

void TestMainWindowCardRoads::diagnosesKind1Card()
{
    AppRig rig;
    VirtualCardProcess card(0);
    // One refused hash gives the command check a failed row.
    QVERIFY(card.insert(driverCard, {"--fail", "hash:1:6985"}));
    QVERIFY(rig.waitForCardRow(reader0));
    QVERIFY(rig.selectReader(reader0));

    QVERIFY(rig.click("CheckingCardBtn"));
    QCOMPARE(rig.mainPage(), 2);
    QCOMPARE(rig.text("CheckingPrgLbl"), QStringLiteral("Ввод ПИН-кода"));
    auto* tabs = rig.widget<QTabWidget>("CheckingTabs");
    QCOMPARE(iconState(tabs->tabIcon(0), "card"), 0);
    QCOMPARE(iconState(tabs->tabIcon(1), "data"), 0);
    QCOMPARE(iconState(tabs->tabIcon(2), "enf"), 0);
    QVERIFY(rig.enabled("StartCheckingBtn")); // a diagnosis may run without a PIN
    QVERIFY(rig.type("CheckingPinEdt", "12"));
    QVERIFY(!rig.enabled("StartCheckingBtn"));
    QVERIFY(rig.type("CheckingPinEdt", "34"));
    QVERIFY(rig.click("StartCheckingBtn"));
    QCOMPARE(rig.text("CheckingPinEdt"), QString());

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("CheckingPrgLbl"), QStringLiteral("Диагностика выполнена"), operationMs);
    QCOMPARE(rig.viewPage(), 1);
    QVERIFY(rig.enabled("Checking2XLSBtn"));
    QVERIFY(rig.enabled("CheckingToCSVBtn"));
    const struct
    {
        const char* table;
        int tab;
        const char* kind;
        int columns;
    } views[] = {{"CmdCheckTbl", 0, "card", 5}, {"DataCheckTbl", 1, "data", 4}, {"FaultEventTbl", 2, "enf", 5}};
    for (const auto& view : views) {
        const auto* table = rig.widget<QTableWidget>(view.table);
        QVERIFY2(table->rowCount() > 0, view.table);
        QVERIFY(table->item(0, view.columns - 1));
        QCOMPARE(iconState(tabs->tabIcon(view.tab), view.kind), hasRedRow(table) ? 3 : 2);
    }
    QVERIFY(hasRedRow(rig.widget<QTableWidget>("CmdCheckTbl")));
    QVERIFY(AppRig::quiet());
}

void TestMainWindowCardRoads::unblocksByHand()
{
    AppRig rig;
    VirtualCardProcess card(0);
    QVERIFY(card.insert(driverCard, pinBlocked));
    QVERIFY(rig.waitForCardRow(reader0));
    QVERIFY(rig.selectReader(reader0));

    QVERIFY(rig.click("UnblockCardBtn"));
    QCOMPARE(rig.mainPage(), 3);
    QVERIFY(!rig.enabled("ClearPUKPIN"));
    QVERIFY(rig.type("PUKEdt", "1234567"));
    QVERIFY(rig.type("UnblockPinEdt", "4321"));
    QVERIFY(rig.enabled("ClearPUKPIN"));
    QVERIFY(!rig.enabled("UnblockBtn"));
    QVERIFY(rig.type("PUKEdt", "8"));
    QVERIFY(rig.enabled("UnblockBtn"));
    QVERIFY(rig.click("UnblockBtn"));
    QCOMPARE(rig.text("PUKEdt"), QString());
    QCOMPARE(rig.text("UnblockPinEdt"), QString());

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("UBlckPrgLbl"), QStringLiteral("Карта разблокирована"), operationMs);
    QTRY_VERIFY(rig.enabled("PUKEdt"));
    QVERIFY(rig.enabled("UnblockPinEdt"));

    // The new PIN opens the card.
    QVERIFY(rig.click("CancelBtn"));
    readWithPin(rig, "4321", QStringLiteral("Карта успешно считана"));
}

void TestMainWindowCardRoads::unblocksAutomatically()
{
    AppRig rig;
    rig.useUnblockServer(server->port);
    rig.useKeyFile();
    VirtualCardProcess card(0);
    QVERIFY(card.insert(driverCard, pinBlocked));
    QVERIFY(rig.waitForCardRow(reader0));
    QVERIFY(rig.selectReader(reader0));

    QVERIFY(rig.click("AutoUnblockBtn"));
    QCOMPARE(rig.mainPage(), 4);
    QCOMPARE(rig.text("AutoUBlckPrgLbl"), QStringLiteral("Ввод нового ПИН-кода"));
    QVERIFY(rig.type("ANewPINEdt", "432"));
    QVERIFY(!rig.enabled("AUnblockBtn"));
    QVERIFY(rig.type("ANewPINEdt", "1"));
    QString left = "untouched";
    QCOMPARE(dialogsShownBy([&] { QVERIFY(rig.click("AUnblockBtn")); }, {typePassPhrase(passPhrase(), true, &left)}),
             QStringList{"input:Пароль закрытого ключа"});
    QCOMPARE(left, QString()); // the pass phrase does not stay in the dialog
    QCOMPARE(rig.text("ANewPINEdt"), QString());

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("AutoUBlckPrgLbl"), QStringLiteral("Карта разблокирована"), operationMs);
    QCOMPARE(rig.widget<QLCDNumber>("AUnblockCounterLcd")->intValue(), 42);
    QCOMPARE(rig.widget<QLCDNumber>("UnblockCounterLcd")->intValue(), 42);
    QTRY_VERIFY(rig.enabled("ANewPINEdt"));
    QVERIFY(server->requests().last().endsWith("findPUK('RUD0000012345600','A23501000123456')"));

    QVERIFY(rig.click("CancelBtn"));
    readWithPin(rig, "4321", QStringLiteral("Карта успешно считана"));
    QVERIFY(AppRig::quiet());
}

QTEST_MAIN(TestMainWindowCardRoads)
#include "tst_mainwindow_cardroads.moc"
