// The main window of the running program beside real cards, the unblock
// server and the web-service doubles: what each card shows and offers, the
// busy rule, what a removal or a late finish does, and what the whole-program
// test cannot show of the uploads.

#include "tests/app/ProgramDriver.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/CellEdits.h"
#include "tests/support/StepIcons.h"
#include "tests/support/ToolTips.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/VirtualCardProcess.h"
#include "tests/support/WebServiceProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace ProgramDriver;

namespace {

// Each command of a slow card waits this long, so a read or a diagnosis
// runs long enough to be interrupted.
const QStringList slowCard{"--delay-ms", "40"};
constexpr int operationMs = 60000;
// The label shows the step text without the line break that opens it in the log.
const QString uploaded = QStringLiteral("Файл успешно отправлен ...");
const QStringList closeRefused{"Ошибка закрытия Дравека Про|Дравек Про не может быть закрыт в процессе "
                               "взаимодействия с картой тахографа."};

QString certPath(const QString& name)
{
    return UnblockServerProcess::certPath(name);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "10110": Upload, Read, AutoUnblock, Checking, UnblockCard, Cancel.
QString commandButtons(QWidget* window)
{
    QString states;
    for (const char* name :
         {"UploadBtn", "ReadCardsBtn", "AutoUnblockBtn", "CheckingCardBtn", "UnblockCardBtn", "CancelBtn"})
        states += enabled(window, name) ? QLatin1Char('1') : QLatin1Char('0');
    return states;
}

// The icons the diagnosis tabs show, by identity.
QList<qint64> tabIcons(QWidget* window)
{
    const auto* tabs = window->findChild<QTabWidget*>("CheckingTabs");
    QList<qint64> icons;
    for (int tab = 0; tab < tabs->count(); ++tab)
        icons << tabs->tabIcon(tab).cacheKey();
    return icons;
}

// Both services, each a double of its own, known to the running program.
struct Services
{
    explicit Services(RunningProgram& rig)
    {
        QMap<QString, QString>& services = rig.program.settings().services;
        services["KvarnolServer"] = kvarnol.host();
        services["LotvarskServer"] = lotvarsk.host();
    }
    WebServiceProcess kvarnol;
    WebServiceProcess lotvarsk;
};

} // namespace

class TestMainWindowCards : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    UnblockServerProcess server;
    const QString reader0 = VirtualCardProcess::readerName(0);
    const QString reader1 = VirtualCardProcess::readerName(1);

private slots:
    void initTestCase()
    {
        QVERIFY(useHome(home) && server.port != 0);
        storeCardTestSettings(server.port);
    }

    void cleanup()
    {
        // See tst_program_startup: fades of the line edits end, then go.
        QTest::qWait(200);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void buttonsFollowTheCard_data()
    {
        QTest::addColumn<QString>("buttons"); // Upload Read AutoUnblock Checking UnblockCard Cancel
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("infoRows");
        QTest::addColumn<QString>("typeRow"); // the caption of the row the card type adds
        // The upload page's service (a driver card goes to Kvarnol, a workshop
        // card to Lotvarsk) and whether it asks for the PIN.
        QTest::addColumn<QString>("upload");
        // One card of each type; a kind-1 company card is never unblocked through the server.
        QTest::newRow("driver-rfskzi") << "111110" << "RUD0000012345600" << 23 << "Номер ВУ" << "KvarnolRBtn PIN";
        QTest::newRow("workshop-estr") << "110100" << "RUW1000000020100" << 29 << "Мастерская" << "LotvarskRBtn ";
        QTest::newRow("control-estr") << "110100" << "RUC0000000300100" << 22 << "Контрольно-надзорный орган" << " ";
        QTest::newRow("company-rfskzi") << "110110" << "RUE0000000099900" << 14 << "Предприятие" << " PIN";
        // Only kind 1 asks for the PIN; kinds 3 and 0 take the kind-2 roads.
        QTest::newRow("workshop-rfskzi") << "111110" << "RUW0000000456700" << 21 << "Мастерская" << "LotvarskRBtn PIN";
        QTest::newRow("company-rf") << "110100" << "RUE1000000456700" << 22 << "Предприятие" << " ";
        QTest::newRow("driver-unknown") << "110100" << "RUD0000007700100" << 23 << "Номер ВУ" << "KvarnolRBtn ";
    }

    void buttonsFollowTheCard()
    {
        QFETCH(QString, number);
        QFETCH(QString, typeRow);
        const QString profile = QTest::currentDataTag();
        RunningProgram rig;
        QVERIFY(rig.started && rig.boxesAtStart.isEmpty());
        QWidget* window = rig.window;
        VirtualCardProcess card(0);
        QVERIFY(card.insert(profile) && selectCardReader(window, reader0));
        QTEST(commandButtons(window), "buttons");
        const auto* readers = window->findChild<QTableWidget*>("ReaderListTbl");
        QCOMPARE(readers->item(readers->currentRow(), 1)->text(), number);
        // Cut by a narrow column, the card's number shows whole in its tool tip.
        readers->horizontalHeader()->resizeSection(1, 40);
        const QRect numberCell = readers->visualItemRect(readers->item(readers->currentRow(), 1));
        QCOMPARE(toolTipAt(readers->viewport(), numberCell.center()), number);
        QCOMPARE(page(window, "ViewFrame"), 0);
        QVERIFY(enabled(window, "CardInfo2XLSBtn"));
        const auto* info = window->findChild<QTableWidget*>("CardInfoTbl");
        QTEST(info->rowCount(), "infoRows");
        QVERIFY(!info->findItems(typeRow, Qt::MatchExactly).isEmpty());
        QCOMPARE(info->item(3, 1)->text(), number);
        // Kinds 2 and 3 carry no crypto module.
        QCOMPARE(info->item(4, 1)->text() == QStringLiteral("Неприменимо"),
                 profile.endsWith("estr") || profile.endsWith("-rf"));
        // Captions in bold and in the view's order, whatever the card holds.
        QStringList captions;
        for (int row = 0; row < info->rowCount(); ++row) {
            captions << info->item(row, 0)->text();
            QVERIFY(info->item(row, 0)->font().bold());
        }
        QCOMPARE(captions.first(), QStringLiteral("Вид карты"));
        QCOMPARE(captions.at(3), QStringLiteral("Номер карты"));
        QCOMPARE(captions.at(4), QStringLiteral("Номер СКЗИ"));
        QCOMPARE(captions.last(), QStringLiteral("ATR"));
        if (typeRow == "Номер ВУ")
            QVERIFY(captions.indexOf("Дата последней выгрузки") > captions.indexOf("Номер ВУ"));
        QVERIFY(rig.logged(reader0 + ": В картридере обнаружена карта тахографа."));

        // An open page leaves only Cancel; cancel restores the card's buttons.
        QVERIFY(click(window, "UploadBtn"));
        QCOMPARE(page(window, "MainFrame"), 5);
        QCOMPARE(commandButtons(window), QStringLiteral("000001"));
        QString upload;
        for (const char* service : {"KvarnolRBtn", "LotvarskRBtn"})
            upload += window->findChild<QAbstractButton*>(service)->isChecked() ? service : "";
        QTEST(upload + (enabled(window, "LKReadPINEdt") ? " PIN" : " "), "upload");
        QVERIFY(click(window, "CancelBtn"));
        QCOMPARE(page(window, "MainFrame"), 0);
        QTEST(commandButtons(window), "buttons");

        // A removed card leaves only Upload, also once the manager has caught up.
        QVERIFY(card.remove());
        QTRY_VERIFY(!rig.program.readerManager().readerState(reader0).cardPresent);
        const ReaderState gone = rig.program.readerManager().readerState(reader0);
        QVERIFY(gone.cardNumber.isEmpty() && gone.cardInfo.isEmpty());
        QTRY_COMPARE(commandButtons(window), QStringLiteral("100000"));
        QCOMPARE(page(window, "ViewFrame"), 2);
    }

    // A kind-1 card at the keyboard: each command's key opens its page and F10
    // gives it back; a code edit keeps only its digits, no more of them than
    // the code has, and hides them once left; Ctrl+Return starts the
    // diagnosis. No table takes typed text; F11 and F12 open their windows.
    void keyboardOnAKind1Card()
    {
        RunningProgram rig;
        MainWindow* window = rig.window;
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi") && selectCardReader(window, reader0));
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        const auto unchangedByTyping = [](QTableWidget* table) {
            QTableWidgetItem* item = table->item(0, table->columnCount() - 1);
            const QString before = item->text();
            tryToEditCell(table, item);
            return item->text() == before;
        };
        // A reader's row is selected whole, and never with another one.
        auto* readers = window->findChild<QTableWidget*>("ReaderListTbl");
        const QRect other = readers->visualItemRect(readers->findItems(reader1, Qt::MatchExactly).value(0));
        QTest::mouseClick(readers->viewport(), Qt::LeftButton, Qt::ShiftModifier, other.center());
        QCOMPARE(readers->selectedItems().size(), 5);
        QVERIFY(selectCardReader(window, reader0));
        QCOMPARE(readers->selectedItems().size(), 5);
        for (const char* name : {"ReaderListTbl", "CardInfoTbl"})
            QVERIFY2(unchangedByTyping(window->findChild<QTableWidget*>(name)), name);

        const struct
        {
            Qt::Key key;
            int page;
            QStringList edits;
        } commands[] = {{Qt::Key_F1, 5, {"LKReadPINEdt"}},
                        {Qt::Key_F2, 1, {"ReadPINEdt"}},
                        {Qt::Key_F3, 4, {"ANewPINEdt"}},
                        {Qt::Key_F5, 3, {"PUKEdt", "UnblockPinEdt"}},
                        {Qt::Key_F4, 2, {"CheckingPinEdt"}}};
        for (const auto& command : commands) {
            QTest::keyClick(window, command.key);
            QTRY_COMPARE(page(window, "MainFrame"), command.page);
            for (const QString& name : command.edits) {
                auto* edit = window->findChild<QLineEdit*>(name);
                QTest::mouseClick(edit, Qt::LeftButton);
                QTest::keyClicks(edit, "12a3b456789");
                QTest::keyClick(edit, Qt::Key_Tab);
                QCOMPARE(edit->text(), QString(name == "PUKEdt" ? "12345678" : "1234"));
                QCOMPARE(edit->displayText().size(), edit->text().size());
                QVERIFY2(!edit->displayText().contains(QRegularExpression("[0-9]")), qPrintable(name));
            }
            if (command.key == Qt::Key_F4)
                break; // its page stays for the start
            QTest::keyClick(window, Qt::Key_F10);
            QTRY_COMPARE(page(window, "MainFrame"), 0);
            QCOMPARE(commandButtons(window), QStringLiteral("111110"));
        }

        // The PIN the edit kept is the card's own.
        QTest::keySequence(window, QKeySequence("Ctrl+Return"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"check"}, operationMs);
        auto* tabs = window->findChild<QTabWidget*>("CheckingTabs");
        auto* tabBar = tabs->findChild<QTabBar*>();
        for (int tab = 0; tab < tabs->count(); ++tab) {
            QTest::mouseClick(tabBar, Qt::LeftButton, {}, tabBar->tabRect(tab).center());
            auto* table = tabs->widget(tab)->findChild<QTableWidget*>();
            QVERIFY2(table->rowCount() > 0 && unchangedByTyping(table), qPrintable(table->objectName()));
        }

        // Both dialogs are modal: each is closed before the next key.
        QTest::keyClick(window, Qt::Key_F11);
        QTRY_VERIFY(rig.program.configWindow().isVisible());
        QTest::keyClick(&rig.program.configWindow(), Qt::Key_Escape);
        QTRY_VERIFY(!rig.program.configWindow().isVisible());
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_F12);
        QTRY_VERIFY(rig.program.aboutWindow().isVisible());
        QVERIFY(click(&rig.program.aboutWindow(), "AboutOKBtn"));
    }

    // One operation at a time. A kind-1 card's diagnosis page offers Start;
    // an automatic unblock the server answers late gives its page back after
    // cancel, and the late answer shows nothing on it. The next card's diagnosis, which starts at once, must not offer
    // Start, and its finish after a cancel changes nothing. Cancel and read
    // again at once: the first read's late finish leaves the second one busy,
    // so the window stays open and a second cancel reaches it.
    void oneOperationAtATime()
    {
        UnblockServerProcess slow("server", {"--reply", "<RUD0000012345600/><123-40000/><12345678/><None/><С/><7/>",
                                              "--chunk", "8", "--pause", "150"});
        RunningProgram rig;
        MainWindow* window = rig.window;
        rig.program.settings().unblockServer["Port"] = QString::number(slow.port);
        rig.program.settings().auth["PKeyUser"] = certPath("user-pkcs8.pem");
        QFile phrase(certPath("passphrase.txt"));
        QVERIFY(phrase.open(QIODevice::ReadOnly));
        VirtualCardProcess pinCard(1);
        QVERIFY(pinCard.insert("driver-rfskzi", {"--pin-tries", "0"}) && selectCardReader(window, reader1));
        QVERIFY(click(window, "CheckingCardBtn"));
        QVERIFY(enabled(window, "StartCheckingBtn"));
        const QList<qint64> idleTabs = tabIcons(window);
        QVERIFY(click(window, "CancelBtn") && click(window, "AutoUnblockBtn"));
        QVERIFY(type(window, "ANewPINEdt", "5678"));
        dialogsShownBy([&] { QVERIFY(click(window, "AUnblockBtn")); },
                       {typeText(QString::fromUtf8(phrase.readAll()).trimmed())});
        QVERIFY(!enabled(window, "ANewPINEdt"));
        QTRY_VERIFY_WITH_TIMEOUT(!slow.requests().isEmpty(), operationMs); // the request is out
        QVERIFY(click(window, "CancelBtn") && click(window, "AutoUnblockBtn"));
        QVERIFY(type(window, "ANewPINEdt", "5678"));
        QVERIFY(enabled(window, "AUnblockBtn"));
        QTRY_VERIFY_WITH_TIMEOUT(!logLines().filter("на запрос \"findPUK\"").isEmpty(), operationMs);
        QCOMPARE(text(window, "AutoUBlckPrgLbl"), QStringLiteral("Ввод нового ПИН-кода"));
        QVERIFY(click(window, "CancelBtn"));

        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-estr", slowCard) && selectCardReader(window, reader0));
        QVERIFY(click(window, "CheckingCardBtn")); // kind 2: the diagnosis starts at once
        QVERIFY(!enabled(window, "StartCheckingBtn"));
        // Each diagnosis shows the idle tabs with the same icons, not new ones
        // for the pixmap cache to keep.
        QCOMPARE(tabIcons(window), idleTabs);
        QVERIFY(click(window, "CancelBtn"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"check"}, operationMs);
        QCOMPARE(page(window, "ViewFrame"), 0);
        QCOMPARE(window->findChild<QTableWidget*>("CmdCheckTbl")->rowCount(), 0);
        QVERIFY(!enabled(window, "Checking2XLSBtn"));
        QVERIFY(text(window, "CheckingPrgLbl") != QStringLiteral("Диагностика выполнена"));
        QCOMPARE(commandButtons(window), QStringLiteral("110100"));

        QVERIFY(click(window, "ReadCardsBtn")); // kind 2: the read starts at once
        QCOMPARE(boxesShownBy([&] { QVERIFY(!window->close()); }), closeRefused);
        QVERIFY(click(window, "CancelBtn") && click(window, "ReadCardsBtn"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, (QStringList{"check", "read "}), 30000); // interrupted: nothing saved
        QCOMPARE(boxesShownBy([&] { QVERIFY(!window->close()); }), closeRefused);
        QVERIFY(click(window, "CancelBtn"));
        // The diagnosis and both reads.
        QCOMPARE(logLines().filter(reader0 + ": Операция прервана пользователем.").size(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, (QStringList{"check", "read ", "read "}), 30000);
        QVERIFY(window->close());
    }

    // A code typed on a page leaves with the page, by Cancel or by the card
    // pulled: no page keeps one hidden for whoever opens it next.
    void codesLeaveWithTheirPage()
    {
        RunningProgram rig;
        QWidget* window = rig.window;
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi") && selectCardReader(window, reader0));
        const QStringList codeEdits{"PUKEdt", "UnblockPinEdt", "ANewPINEdt", "ReadPINEdt", "CheckingPinEdt",
                                    "LKReadPINEdt", "LKPassWordEdt"};
        const struct { const char* button; QStringList edits; } pages[] = {
            {"UnblockCardBtn", {"PUKEdt", "UnblockPinEdt"}}, {"AutoUnblockBtn", {"ANewPINEdt"}},
            {"ReadCardsBtn", {"ReadPINEdt"}},                {"CheckingCardBtn", {"CheckingPinEdt"}},
            {"UploadBtn", {"LKReadPINEdt", "LKPassWordEdt"}},
        };
        for (const bool pull : {false, true}) {
            for (const auto& opened : pages) {
                const QString way = QString("%1 %2").arg(opened.button, pull ? "pull" : "cancel");
                QVERIFY2(click(window, opened.button), qPrintable(way));
                for (const QString& edit : opened.edits)
                    QVERIFY2(type(window, edit, edit == "PUKEdt" ? "12345678" : "5678"), qPrintable(way));
                if (pull) {
                    QVERIFY(card.remove());
                    QTRY_COMPARE(page(window, "MainFrame"), 0);
                    QVERIFY(card.insert("driver-rfskzi") && selectCardReader(window, reader0));
                } else {
                    QVERIFY(click(window, "CancelBtn"));
                }
                for (const QString& edit : codeEdits)
                    QVERIFY2(text(window, edit).isEmpty(), qPrintable(way + ": " + edit));
            }
        }
        QCOMPARE(logLines().filter("findPUK"), QStringList()); // nothing typed was sent
        QVERIFY(window->close());
    }

    // A removal while the key's pass phrase is asked leaves the page: the
    // phrase accepted then sends nothing, and the window takes the next
    // operation at once.
    void cardGoneWhilePassPhraseAsked()
    {
        UnblockServerProcess silent("server", {"--silent"});
        RunningProgram rig;
        QWidget* window = rig.window;
        rig.program.settings().unblockServer["Port"] = QString::number(silent.port);
        rig.program.settings().auth["PKeyUser"] = certPath("user-pkcs8.pem");
        auto card = std::make_unique<VirtualCardProcess>(0);
        QVERIFY(card->insert("driver-rfskzi", {"--pin-tries", "0"}) && selectCardReader(window, reader0));
        QVERIFY(click(window, "AutoUnblockBtn") && type(window, "ANewPINEdt", "5678"));
        bool pageLeft = false;
        const ModalAnswer pullThenType = [&](QDialog* dialog) {
            pageLeft = card->remove() && QTest::qWaitFor([&] { return page(window, "MainFrame") == 0; }, operationMs);
            typeText(UnblockServerProcess::passPhrase())(dialog);
        };
        QCOMPARE(dialogsShownBy([&] { QVERIFY(click(window, "AUnblockBtn")); }, {pullThenType}),
                 QStringList{"input:Пароль закрытого ключа"});
        QVERIFY(pageLeft);
        QCOMPARE(page(window, "MainFrame"), 0);
        QCOMPARE(commandButtons(window), QStringLiteral("100000"));

        card = std::make_unique<VirtualCardProcess>(0);
        QVERIFY(card->insert("driver-rfskzi") && selectCardReader(window, reader0));
        QVERIFY(click(window, "ReadCardsBtn") && type(window, "ReadPINEdt", "1234\n"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished.size(), 1, operationMs);
        QVERIFY(rig.finished.first().endsWith(".ddd"));
        QVERIFY(logLines().filter("findPUK").isEmpty());
        QCOMPARE(silent.requests().size(), 0);
    }

    // Until the finish of an operation comes in, no other may start: not
    // after a removal in another reader interrupted it (the upload's send
    // stays off), nor after a second cancel while the requests before it
    // still wait their turn (the second read never starts).
    void nothingStartsBeforeTheFinish()
    {
        RunningProgram rig;
        QWidget* window = rig.window;
        VirtualCardProcess card(0);
        VirtualCardProcess other(1);
        QVERIFY(card.insert("driver-estr", {"--delay-ms", "150", "--pause"}) && other.insert("company-estr"));
        QVERIFY(card.waitUntilPaused()); // the identification's first command
        card.resume();
        QVERIFY(selectCardReader(window, reader0));
        QVERIFY(click(window, "UploadBtn") && click(window, "KvarnolRBtn"));
        QVERIFY(type(window, "LKPassWordEdt", "secret") && click(window, "LKSendBtn"));
        // Looked at as soon as the interrupt went out, before the finish can come.
        QString seen;
        QMetaObject::Connection look;
        look = connect(&rig.program.readerManager(), &ReaderManager::interruptAllOperation, window, [&] {
            disconnect(look);
            QTest::keyClicks(window->findChild<QLineEdit*>("LKPassWordEdt"), "!");
            seen = QString("finished %1, send %2").arg(rig.finished.size()).arg(enabled(window, "LKSendBtn"));
        }, Qt::QueuedConnection);
        QVERIFY(other.remove());
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), operationMs);
        QCOMPARE(seen, QStringLiteral("finished 0, send 0"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"read "}, operationMs);
        QVERIFY(enabled(window, "LKSendBtn")); // the page is the user's again

        card.pauseNextCommand();
        QVERIFY(click(window, "CancelBtn") && click(window, "ReadCardsBtn"));
        QTRY_COMPARE_WITH_TIMEOUT(logLines().filter(reader0 + ": Чтение карты").size(), 2, operationMs);
        // The first read cannot end before both cancels are in.
        QVERIFY(card.waitUntilPaused());
        QVERIFY(click(window, "CancelBtn") && click(window, "ReadCardsBtn") && click(window, "CancelBtn"));
        card.resume();
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, (QStringList{"read ", "read ", "read "}), operationMs);
        QCOMPARE(logLines().filter(reader0 + ": Чтение карты").size(), 2); // the upload's and the first
        QCOMPARE(QDir(rig.ddd.path()).entryList({"*.ddd"}), QStringList());
        QVERIFY(window->close());
    }

    // Reader removals skip unknown names and never leave another reader
    // selected; a card removed from another reader interrupts the running read.
    void removals()
    {
        RunningProgram rig;
        MainWindow* window = rig.window;
        VirtualCardProcess slow(0);
        VirtualCardProcess other(1);
        // Slow: the removal must be seen while the read runs.
        QVERIFY(slow.insert("driver-estr", {"--delay-ms", "150"}) && other.insert("company-estr"));
        QVERIFY(selectCardReader(window, reader0) && selectCardReader(window, reader1));
        window->on_FoundCardReaders({reader0, reader1, "Spare reader"});
        auto* table = window->findChild<QTableWidget*>("ReaderListTbl");
        QCOMPARE(table->rowCount(), 3);
        // An unknown name does not stop the list; another reader's removal
        // leaves the selected card as it was.
        window->on_UnmountCardReader({"Unknown reader", "Spare reader"});
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->currentRow(), 1);
        QCOMPARE(commandButtons(window), QStringLiteral("110100"));
        QCOMPARE(page(window, "ViewFrame"), 0);
        // The selected reader gone, the next one is not silently selected.
        window->on_UnmountCardReader({reader1});
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->currentRow(), -1);
        QCOMPARE(commandButtons(window), QStringLiteral("100000"));
        QCOMPARE(page(window, "ViewFrame"), 2);
        QVERIFY(!enabled(window, "CardInfo2XLSBtn"));

        QVERIFY(selectCardReader(window, reader0) && click(window, "ReadCardsBtn"));
        QVERIFY(other.remove());
        QTRY_VERIFY_WITH_TIMEOUT(rig.logged(reader1 + ": Операция прервана пользователем."), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"read "}, 30000);
        QVERIFY(text(window, "ReadPrgLbl").startsWith(QStringLiteral("Не удалось")));
        // The read page stays, nothing runs: the window may close.
        QCOMPARE(page(window, "MainFrame"), 1);
        QVERIFY(window->close());
        // The command bar's dialogs are reached whatever the readers do.
        window->show();
        QVERIFY(click(window, "AboutBtn") && rig.program.aboutWindow().isVisible());
        QVERIFY(click(window, "ConfigBtn") && rig.program.configWindow().isVisible());
    }

    // The read for an upload saves its file, but the user cancels before the
    // window hears of it and opens the upload page again: that file is not sent.
    // Then a kind-2 card is read without a PIN and sent to Lotvarsk (the
    // whole-program test uploads a picked file to Kvarnol).
    void lateReadFinishThenKind2UploadToLotvarsk()
    {
        RunningProgram rig;
        QWidget* window = rig.window;
        Services services(rig);
        rig.program.settings().services["KvarnolLogin"] = "other";
        VirtualCardProcess card(0);
        QVERIFY(card.insert("workshop-estr") && selectCardReader(window, reader0));
        QVERIFY(click(window, "UploadBtn"));
        QVERIFY(type(window, "LKPassWordEdt", "secret"));
        QVERIFY(click(window, "LKSendBtn"));
        // Without running this thread's events, so the finish waits in its queue.
        QDeadlineTimer deadline(operationMs);
        while (QDir(rig.ddd.path()).entryList({"*.ddd"}).isEmpty() && !deadline.hasExpired())
            QThread::msleep(20);
        QVERIFY(click(window, "CancelBtn"));
        QCOMPARE(text(window, "LKPassWordEdt"), QString()); // nothing is sent with it now
        QVERIFY(click(window, "UploadBtn"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished.size(), 1, operationMs);
        QVERIFY(rig.finished.first().endsWith(".ddd"));
        QCOMPARE(text(window, "LKFileEdt"), QString());
        QCOMPARE(services.lotvarsk.requests().size(), 0);

        // Each service shows its own login, also when picked by hand.
        QCOMPARE(text(window, "LKLoginEdt"), QStringLiteral("driver"));
        QVERIFY(click(window, "KvarnolRBtn"));
        QCOMPARE(text(window, "LKLoginEdt"), QStringLiteral("other"));
        QVERIFY(click(window, "LotvarskRBtn"));
        QCOMPARE(text(window, "LKLoginEdt"), QStringLiteral("driver"));
        QVERIFY(!enabled(window, "LKSendBtn"));
        QVERIFY(type(window, "LKPassWordEdt", "secret"));
        QVERIFY(click(window, "LKSendBtn"));
        // The card is read once: nothing on the page starts a second read.
        for (const char* control : {"LKSendBtn", "LKSelectFileBtn", "LKFileEdt"})
            QVERIFY2(!enabled(window, control), control);

        QTRY_COMPARE_WITH_TIMEOUT(text(window, "LKReadingProgressLbl"), uploaded, operationMs);
        QCOMPARE(text(window, "LKPassWordEdt"), QString()); // handed over, then gone from the page
        QCOMPARE(rig.finished.size(), 2);
        const QString saved = rig.finished.last().mid(5);
        QCOMPARE(text(window, "LKFileEdt"), saved);
        QCOMPARE(services.lotvarsk.uploadedNames(), QStringList{QFileInfo(saved).fileName()});
        QCOMPARE(services.lotvarsk.uploaded(QFileInfo(saved).fileName()), fileBytes(saved));
        QCOMPARE(services.kvarnol.requests().size(), 0);
        // The upload went on from the read's save step.
        QCOMPARE(stepState(window->findChild<QLabel*>("LKReading0"), "card"), 2);
        QCOMPARE(stepState(window->findChild<QLabel*>("LKReading2"), "save"), 2);

        // The page opens again without the file sent.
        QVERIFY(click(window, "CancelBtn") && click(window, "UploadBtn"));
        QCOMPARE(text(window, "LKFileEdt"), QString());
    }

    // A path typed into the file field that names no card data ends the
    // upload at once: the window answers, nothing reaches the service, the
    // log says why. (Each kind of file in detail: tst_sender.)
    void uploadOfNoCardData()
    {
        RunningProgram rig;
        QWidget* window = rig.window;
        Services services(rig);
        // Not named after the application: typed keys are ASCII.
        QTemporaryDir files(QDir::tempPath() + "/upload-XXXXXX");
        QFile empty(files.filePath("empty.ddd"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        const QString pipe = makeFifo(files.filePath("pipe.ddd"));
        QVERIFY(!pipe.isEmpty());
        for (const QString& path : {pipe, QString("/dev/zero"), empty.fileName()}) {
            QVERIFY(click(window, "UploadBtn") && type(window, "LKFileEdt", path) && click(window, "KvarnolRBtn"));
            QVERIFY(type(window, "LKPassWordEdt", "secret") && click(window, "LKSendBtn"));
            QTRY_COMPARE(text(window, "LKReadingProgressLbl"), QStringLiteral("Ошибка чтения ddd-файла"));
            QTRY_VERIFY2(rig.logged(QStringLiteral("Не удалось прочитать файл %1. ").arg(path)), qPrintable(path));
            QVERIFY(click(window, "CancelBtn"));
        }
        QCOMPARE(services.kvarnol.requests().size(), 0);
        QVERIFY(window->close());
    }

    // Sent again while the upload runs, as the page allows once the password
    // is typed again: refused, and the running upload keeps its progress row.
    void secondSendWhileUploading()
    {
        RunningProgram rig;
        QWidget* window = rig.window;
        WebServiceProcess stalled({"--stall", "create"});
        rig.program.settings().services["KvarnolServer"] = stalled.host();
        QTemporaryDir files(QDir::tempPath() + "/upload-XXXXXX");
        QFile file(files.filePath("card.ddd"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("card data") == 9);
        file.close();
        QVERIFY(click(window, "UploadBtn") && type(window, "LKFileEdt", file.fileName()) && click(window, "KvarnolRBtn"));
        QVERIFY(type(window, "LKPassWordEdt", "secret") && click(window, "LKSendBtn"));
        const QString sending = QStringLiteral("Отправка ddd-файла");
        QTRY_COMPARE_WITH_TIMEOUT(text(window, "LKReadingProgressLbl"), sending, operationMs);
        QVERIFY(type(window, "LKPassWordEdt", "secret") && click(window, "LKSendBtn"));
        QCOMPARE(text(window, "LKReadingProgressLbl"), sending);
        QTRY_VERIFY(rig.logged(QStringLiteral("Предыдущая отправка файла ещё не завершена.")));
        QTRY_COMPARE(stalled.requests().size(), 3); // login page, login, the one create
        QVERIFY(window->close());
    }

    // A read for the upload that fails at the PIN sends nothing; another PIN may be tried.
    void wrongPinUploadsNothing()
    {
        RunningProgram rig;
        QWidget* window = rig.window;
        Services services(rig);
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi") && selectCardReader(window, reader0));
        QVERIFY(click(window, "UploadBtn"));
        QVERIFY(type(window, "LKPassWordEdt", "secret"));
        QVERIFY(type(window, "LKReadPINEdt", "99"));
        QVERIFY(!enabled(window, "LKSendBtn")); // a short PIN would spend one of the card's tries
        QVERIFY(type(window, "LKReadPINEdt", "99"));
        QVERIFY(!enabled(window, "LKFileEdt")); // a PIN means this card, not a file
        QVERIFY(click(window, "LKSendBtn"));
        for (const char* control : {"LKSendBtn", "LKSelectFileBtn", "LKFileEdt", "LKReadPINEdt"})
            QVERIFY2(!enabled(window, control), control);
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, QStringList{"read "}, operationMs);
        QCOMPARE(text(window, "LKReadingProgressLbl"), QStringLiteral("Не корректный ПИН-код"));
        QCOMPARE(text(window, "LKFileEdt"), QString());
        QCOMPARE(services.kvarnol.requests().size(), 0);
        QVERIFY(enabled(window, "LKReadPINEdt"));
        QVERIFY(window->close());
    }
};

QTEST_MAIN(TestMainWindowCards)
#include "tst_mainwindow_cards.moc"
