// The main window as start-up wires it, beside real cards, the unblock server
// and the web-service doubles: what each card shows and offers, the busy rule,
// what a removal or a late finish does, the status's pass phrase, and what the
// whole-program test cannot show of the uploads.

#include "tests/support/StepIcons.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/VirtualCardProcess.h"
#include "tests/support/WebServiceProcess.h"
#include "tests/ui/AppRig.h"
#include "tests/ui/WindowAnswers.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>
#include <QFileInfo>
#include <QLCDNumber>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

namespace {

// Each command of a slow card waits this long, so a read or a diagnosis
// runs long enough to be interrupted.
const QStringList slowCard{"--delay-ms", "40"};
constexpr int operationMs = 60000;
// The label shows the step text without the line break that opens it in the log.
const QString uploaded = QStringLiteral("Файл успешно отправлен ...");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Both services, each a double of its own, known to the rig.
struct Services
{
    explicit Services(AppRig& rig) { rig.useServices(kvarnol.host(), lotvarsk.host()); }
    WebServiceProcess kvarnol;
    WebServiceProcess lotvarsk;
};

} // namespace

class TestMainWindowCards : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buttonsFollowTheCard_data();
    void buttonsFollowTheCard();
    void lateFinishLeavesTheNextReadBusy();
    void removalFromAnotherReaderInterrupts();
    void diagnosisStartsOnceAndLateFinishChangesNothing();
    void cancelledAutoUnblockGivesThePageBack();
    void readerRemovalSkipsUnknownNamesAndDropsSelection();
    void clientStatus_data();
    void clientStatus();
    void uploadsKind2CardToLotvarsk();
    void failedReadUploadsNothing();
    void lateReadFinishStartsNoUpload();

private:
    QString reader0 = VirtualCardProcess::readerName(0);
    QString reader1 = VirtualCardProcess::readerName(1);
    UnblockServerProcess server;
};

void TestMainWindowCards::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toUtf8() + "/mainwindow-cards-config");
    qputenv("XDG_DATA_HOME", QDir::tempPath().toUtf8() + "/mainwindow-cards-data");
    QVERIFY(server.port != 0);
}

void TestMainWindowCards::buttonsFollowTheCard_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("buttons"); // Upload Read AutoUnblock Checking UnblockCard Cancel
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("infoRows");
    QTest::addColumn<QString>("typeRow"); // the caption of the row the card type adds
    // The upload page's service (a driver card goes to Kvarnol, a workshop
    // card to Lotvarsk) and whether it asks for the PIN.
    QTest::addColumn<QString>("upload");
    // A kind-3 card takes the kind-2 roads.
    const auto row = [](const char* profile, const char* buttons, const char* number, int infoRows,
                        const char* typeRow, const char* upload) {
        QTest::newRow(profile) << profile << buttons << number << infoRows << QString(typeRow) << QString(upload);
    };
    row("driver-rfskzi", "111110", "RUD0000012345600", 23, "Номер ВУ", "KvarnolRBtn PIN");
    row("workshop-rfskzi", "111110", "RUW0000000456700", 21, "Мастерская", "LotvarskRBtn PIN");
    row("control-rfskzi", "111110", "RUC0000000007800", 14, "Контрольно-надзорный орган", " PIN");
    row("company-rfskzi", "110110", "RUE0000000099900", 14, "Предприятие", " PIN");
    row("driver-estr", "110100", "RUD0000001100200", 31, "Номер ВУ", "KvarnolRBtn ");
    row("workshop-estr", "110100", "RUW1000000020100", 29, "Мастерская", "LotvarskRBtn ");
    row("control-estr", "110100", "RUC0000000300100", 22, "Контрольно-надзорный орган", " ");
    row("company-estr", "110100", "RUE0000004000100", 22, "Предприятие", " ");
    QTest::newRow("no card") << "" << "100000" << "" << 0 << "" << " ";
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
    QString upload;
    for (const char* service : {"KvarnolRBtn", "LotvarskRBtn"})
        upload += rig.widget<QAbstractButton>(service)->isChecked() ? service : "";
    QTEST(upload + (rig.enabled("LKReadPINEdt") ? " PIN" : " "), "upload");
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

// Cancel and read again at once: the first read's late finish leaves the
// second one busy, so the window stays open and a second cancel reaches it.
void TestMainWindowCards::lateFinishLeavesTheNextReadBusy()
{
    AppRig rig;
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, "driver-estr", slowCard));
    QVERIFY(rig.click("ReadCardsBtn")); // kind 2: the read starts at once
    const QStringList closeRefused{"Ошибка закрытия Дравека Про|Дравек Про не может быть закрыт в процессе "
                                   "взаимодействия с картой тахографа."};
    QCOMPARE(boxesShownBy([&] { QVERIFY(!rig.window->close()); }), closeRefused);
    QVERIFY(rig.window->isVisible());

    QVERIFY(rig.click("CancelBtn"));
    QVERIFY(rig.click("ReadCardsBtn"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"read "}, 30000); // interrupted: nothing saved
    QCOMPARE(boxesShownBy([&] { QVERIFY(!rig.window->close()); }), closeRefused);

    QVERIFY(rig.click("CancelBtn"));
    QCOMPARE(rig.log.filter(reader0 + ": Операция прервана пользователем.").size(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished, (QStringList{"read ", "read "}), 30000);
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

// A kind-1 card's page offers Start; the next card's diagnosis, which starts
// at once, must not offer it again. Its finish after a cancel changes nothing.
void TestMainWindowCards::diagnosisStartsOnceAndLateFinishChangesNothing()
{
    AppRig rig;
    VirtualCardProcess pinCard(1);
    QVERIFY(rig.showCard(pinCard, "driver-rfskzi"));
    QVERIFY(rig.click("CheckingCardBtn"));
    QVERIFY(rig.enabled("StartCheckingBtn"));
    QVERIFY(rig.click("CancelBtn"));

    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, "driver-estr", slowCard));
    QCOMPARE(rig.viewPage(), 0);
    QVERIFY(rig.click("CheckingCardBtn")); // kind 2: the diagnosis starts at once
    QVERIFY(!rig.enabled("StartCheckingBtn"));
    QVERIFY(rig.click("CancelBtn"));
    QCOMPARE(rig.mainPage(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"check"}, 60000);
    QCOMPARE(rig.viewPage(), 0);
    QCOMPARE(rig.widget<QTableWidget>("CmdCheckTbl")->rowCount(), 0);
    QVERIFY(!rig.enabled("Checking2XLSBtn"));
    QVERIFY(rig.text("CheckingPrgLbl") != QStringLiteral("Диагностика выполнена"));
    QCOMPARE(rig.commandButtons(), QStringLiteral("110100"));
}

// The server never answers; after cancel the page takes a new PIN again.
void TestMainWindowCards::cancelledAutoUnblockGivesThePageBack()
{
    UnblockServerProcess silent("server", {"--silent"});
    AppRig rig;
    rig.useUnblockServer(silent.port);
    rig.useKeyFile();
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, "driver-rfskzi", {"--pin-tries", "0"}));
    QVERIFY(rig.click("AutoUnblockBtn"));
    QVERIFY(rig.type("ANewPINEdt", "5678"));
    QString left;
    dialogsShownBy([&] { QVERIFY(rig.click("AUnblockBtn")); }, {typePassPhrase(keyPassPhrase(), true, &left)});
    QVERIFY(!rig.enabled("ANewPINEdt"));

    QVERIFY(rig.click("CancelBtn"));
    QVERIFY(rig.click("AutoUnblockBtn"));
    QVERIFY(rig.type("ANewPINEdt", "5678"));
    QVERIFY(rig.enabled("AUnblockBtn"));
    QVERIFY(rig.window->close());
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

void TestMainWindowCards::clientStatus_data()
{
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("logged");

    QTest::newRow("cancelled") << keyPassPhrase() << false << "Пользователь отменил загрузку ключа"
                               << "Пользователь отменил загрузку закрытого ключа.";
    QTest::newRow("wrong pass phrase") << "wrong" << true << "Не удалось загрузить закрытый ключ" << "";
    QTest::newRow("loaded") << keyPassPhrase() << true << "Cтатус обновлен"
                            << "Получен ответ сервера разблокировки на запрос";
}

void TestMainWindowCards::clientStatus()
{
    QFETCH(QString, phrase);
    QFETCH(bool, accept);
    QFETCH(QString, shown);
    QFETCH(QString, logged);
    AppRig rig;
    rig.useUnblockServer(server.port);
    rig.useKeyFile();
    QSignalSpy requests(rig.window.get(), &MainWindow::makeCommand);

    QString left = "untouched";
    QCOMPARE(dialogsShownBy([&] { QVERIFY(rig.click("RefreshStatusBtn")); }, {typePassPhrase(phrase, accept, &left)}),
             QStringList{"input:Пароль закрытого ключа"});
    QCOMPARE(left, QString()); // cleared on every path
    QCOMPARE(requests.size(), accept && phrase != "wrong" ? 1 : 0);
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("StatusPrgLbl"), shown, operationMs);
    QTRY_VERIFY(rig.enabled("RefreshStatusBtn"));
    if (!logged.isEmpty())
        QVERIFY(rig.logged(logged));

    // Nothing shows without a status; the whole-program test checks a loaded one.
    QCOMPARE(rig.widget<QTableWidget>("LastAUBTbl")->rowCount(), requests.isEmpty() ? 0 : 2);
    QCOMPARE(rig.widget<QLCDNumber>("UnblockCounterLcd")->intValue(), requests.isEmpty() ? 0 : 42);
    QCOMPARE(rig.enabled("lastAUB2xls"), !requests.isEmpty());
    if (!requests.isEmpty())
        QCOMPARE(rig.viewPage(), 2);
}

// The whole-program test uploads a picked file to Kvarnol; a kind-2 card is
// read without a PIN and sent to the other service.
void TestMainWindowCards::uploadsKind2CardToLotvarsk()
{
    AppRig rig;
    Services services(rig);
    VirtualCardProcess card(0);
    rig.config.services["KvarnolLogin"] = "other";
    QVERIFY(rig.showCard(card, "workshop-estr"));

    // Each service shows its own login, also when picked by hand.
    QVERIFY(rig.click("UploadBtn"));
    QCOMPARE(rig.text("LKLoginEdt"), QStringLiteral("driver"));
    QVERIFY(rig.click("KvarnolRBtn"));
    QCOMPARE(rig.text("LKLoginEdt"), QStringLiteral("other"));
    QVERIFY(rig.click("LotvarskRBtn"));
    QCOMPARE(rig.text("LKLoginEdt"), QStringLiteral("driver"));
    QVERIFY(!rig.enabled("LKSendBtn"));
    QVERIFY(rig.type("LKPassWordEdt", "secret"));
    QVERIFY(rig.click("LKSendBtn"));
    // The card is read once: nothing on the page starts a second read.
    for (const char* control : {"LKSendBtn", "LKSelectFileBtn", "LKFileEdt"})
        QVERIFY2(!rig.enabled(control), control);

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("LKReadingProgressLbl"), uploaded, operationMs);
    QCOMPARE(rig.finished.size(), 1);
    const QString saved = rig.finished.first().mid(5);
    QCOMPARE(rig.text("LKFileEdt"), saved);
    QCOMPARE(services.lotvarsk.uploadedNames(), QStringList{QFileInfo(saved).fileName()});
    QCOMPARE(services.lotvarsk.uploaded(QFileInfo(saved).fileName()), fileBytes(saved));
    QCOMPARE(services.kvarnol.requests().size(), 0);
    // The upload went on from the read's save step.
    QCOMPARE(stepState(rig.widget<QLabel>("LKReading0"), "card"), 2);
    QCOMPARE(stepState(rig.widget<QLabel>("LKReading2"), "save"), 2);
    QVERIFY(AppRig::quiet());
}

// A good read and upload, then a read that fails at the PIN: the first
// card's file is neither offered nor sent again.
void TestMainWindowCards::failedReadUploadsNothing()
{
    AppRig rig;
    Services services(rig);
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, "driver-rfskzi"));

    QVERIFY(rig.click("UploadBtn"));
    QVERIFY(rig.type("LKPassWordEdt", "secret"));
    QVERIFY(rig.type("LKReadPINEdt", "12"));
    QVERIFY(!rig.enabled("LKSendBtn")); // a short PIN would spend one of the card's tries
    QVERIFY(rig.type("LKReadPINEdt", "34"));
    QVERIFY(!rig.enabled("LKFileEdt")); // a PIN means this card, not a file
    QVERIFY(rig.click("LKSendBtn"));
    for (const char* control : {"LKSendBtn", "LKSelectFileBtn", "LKFileEdt", "LKReadPINEdt"})
        QVERIFY2(!rig.enabled(control), control);
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("LKReadingProgressLbl"), uploaded, operationMs);
    const QString saved = rig.finished.first().mid(5);
    QCOMPARE(services.kvarnol.uploaded(QFileInfo(saved).fileName()), fileBytes(saved));
    const int requestsBefore = services.kvarnol.requests().size();

    QVERIFY(rig.click("CancelBtn"));
    QVERIFY(rig.click("UploadBtn"));
    QCOMPARE(rig.text("LKFileEdt"), QString());
    QVERIFY(rig.type("LKPassWordEdt", "secret"));
    QVERIFY(rig.type("LKReadPINEdt", "9999"));
    QVERIFY(rig.click("LKSendBtn"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.size(), 2, operationMs);

    QCOMPARE(rig.finished.last(), QStringLiteral("read "));
    QCOMPARE(rig.text("LKReadingProgressLbl"), QStringLiteral("Не корректный ПИН-код"));
    QCOMPARE(rig.text("LKFileEdt"), QString());
    QVERIFY(!rig.sender.isBusy());
    QCOMPARE(services.kvarnol.requests().size(), requestsBefore);
    QCOMPARE(services.kvarnol.uploadedNames().size(), 1);
    QVERIFY(rig.enabled("LKReadPINEdt")); // another PIN may be tried
    QVERIFY(rig.window->close());
}

// The read for an upload saves its file, but the user cancels before the
// window hears of it and opens the upload page again: that file is not sent.
void TestMainWindowCards::lateReadFinishStartsNoUpload()
{
    AppRig rig;
    Services services(rig);
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, "workshop-estr"));
    QVERIFY(rig.click("UploadBtn"));
    QVERIFY(rig.type("LKPassWordEdt", "secret"));
    QVERIFY(rig.click("LKSendBtn"));
    // Without running this thread's events, so the finish waits in its queue.
    QDeadlineTimer deadline(operationMs);
    while (QDir(rig.ddd.path()).entryList({"*.ddd"}).isEmpty() && !deadline.hasExpired())
        QThread::msleep(20);
    QVERIFY(rig.click("CancelBtn"));
    QVERIFY(rig.click("UploadBtn"));

    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.size(), 1, operationMs);
    QVERIFY(rig.finished.first().endsWith(".ddd"));
    QCOMPARE(rig.text("LKFileEdt"), QString());
    QVERIFY(!rig.sender.isBusy());
    QCOMPARE(services.lotvarsk.requests().size(), 0);
}

QTEST_MAIN(TestMainWindowCards)
#include "tst_mainwindow_cards.moc"
