// What the reader's row tells of its card while the running program and
// other programs work with it: in use from our first card command to our
// last, free as soon as nobody holds it, the warning for a card pulled while
// in use, and the exports of a card that changed while the save dialog was open.

#include "tests/app/IconHistory.h"
#include "tests/app/ProgramDriver.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/VirtualCardProcess.h"
#include "tests/support/WebServiceProcess.h"

#include <QtTest>

using namespace ProgramDriver;

namespace {

constexpr int operationMs = 60000;
const QString pulledInUse = QStringLiteral(
    ": Отключение карты в процессе ее использования. Данное действие могло вывести карту "
    "тахографа из строя, т. е. привести к поломке карты.");

} // namespace

class TestMainWindowCardPicture : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    UnblockServerProcess server;
    const QString reader0 = VirtualCardProcess::readerName(0);

    // Holds the card's next command and says what the row shows while the
    // card has not answered it.
    int iconWhileHeld(VirtualCardProcess& card, QWidget* window)
    {
        if (!card.waitUntilPaused())
            return -2;
        // Whatever the program posted before sending the command is taken in.
        QCoreApplication::processEvents();
        return readerIcon(window, reader0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(useHome(home) && server.port != 0);
        storeCardTestSettings(server.port);
    }

    void cleanup()
    {
        QTest::qWait(200);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The card holds the first command of each of our card works, so the
    // row is looked at before the card has answered anything; slow answers
    // and resets leave gaps between connections, when the service sees
    // nobody hold the card. However the work ends, the card keeps its number.
    void inUseFromFirstCommandToLast_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("start"); // the button, then "edit=text" typed
        QTest::addColumn<bool>("cancel");
        const QStringList slow{"--delay-ms", "30", "--slow", "atr:300"};
        const QStringList blocked{"--pin-tries", "0"};
        QTest::newRow("identification") << "driver-estr" << slow << "" << false;
        QTest::newRow("read") << "driver-estr" << slow << "ReadCardsBtn" << false;
        QTest::newRow("diagnosis") << "workshop-estr" << slow << "CheckingCardBtn" << false;
        QTest::newRow("cancelled read") << "driver-estr" << slow << "ReadCardsBtn" << true;
        QTest::newRow("cancelled diagnosis") << "driver-estr" << slow << "CheckingCardBtn" << true;
        QTest::newRow("read with PIN") << "driver-rfskzi" << slow << "ReadCardsBtn ReadPINEdt=1234\n" << false;
        QTest::newRow("upload's PIN check")
            << "driver-rfskzi" << slow << "UploadBtn KvarnolRBtn LKPassWordEdt=secret LKReadPINEdt=1234 LKSendBtn"
            << false;
        QTest::newRow("manual unblock") << "driver-rfskzi" << blocked
                                        << "UnblockCardBtn PUKEdt=12345678 UnblockPinEdt=5678\n" << false;
        QTest::newRow("automatic unblock") << "driver-rfskzi" << blocked << "AutoUnblockBtn ANewPINEdt=5678 AUnblockBtn"
                                           << false;
    }

    void inUseFromFirstCommandToLast()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(QString, start);
        QFETCH(bool, cancel);
        RunningProgram rig;
        MainWindow* window = rig.window;
        rig.program.settings().auth["PKeyUser"] = UnblockServerProcess::certPath("user-pkcs8.pem");
        WebServiceProcess kvarnol;
        rig.program.settings().services["KvarnolServer"] = kvarnol.host();
        IconHistory history(rig, reader0);
        VirtualCardProcess card(0);
        QVERIFY(card.insert(profile, options + QStringList{"--pause"}));
        QCOMPARE(iconWhileHeld(card, window), 3);
        card.resume();
        QTRY_COMPARE_WITH_TIMEOUT(history.ends(), 1, operationMs);
        QCOMPARE(history.seen, (QStringList{"2", "3", "2", "end"})); // inserted, identified
        QVERIFY(selectCardReader(window, reader0));
        const auto* readers = window->findChild<QTableWidget*>("ReaderListTbl");
        const QString number = readers->item(readers->currentRow(), 1)->text();
        if (start.isEmpty())
            return;

        history.seen.clear();
        card.pauseNextCommand();
        for (const QString& step : start.split(' ')) {
            const int equals = step.indexOf('=');
            if (equals < 0 && step == "AUnblockBtn") {
                QCOMPARE(dialogsShownBy([&] { QVERIFY(click(window, step)); }, {typeText(UnblockServerProcess::passPhrase())}),
                         QStringList{"input:Пароль закрытого ключа"});
            } else if (equals < 0) {
                QVERIFY2(click(window, step), qPrintable(step));
            } else {
                QVERIFY2(type(window, step.left(equals), step.mid(equals + 1)), qPrintable(step));
            }
        }
        QCOMPARE(iconWhileHeld(card, window), 3);
        card.resume();
        if (cancel)
            QVERIFY(click(window, "CancelBtn"));
        QTRY_COMPARE_WITH_TIMEOUT(history.ends(), 1, operationMs);
        QCOMPARE(history.seen, (QStringList{"3", "2", "end"}));
        QCOMPARE(readers->item(readers->currentRow(), 1)->text(), number);
    }

    // A card pulled while our work holds it or between two of its
    // connections is warned about once; a card pulled once it may be is not.
    void pulledWhileInWork_data()
    {
        QTest::addColumn<QString>("start");
        QTest::newRow("identification") << "";
        QTest::newRow("read") << "ReadCardsBtn";
        QTest::newRow("diagnosis") << "CheckingCardBtn";
    }

    void pulledWhileInWork()
    {
        QFETCH(QString, start);
        RunningProgram rig;
        MainWindow* window = rig.window;
        IconHistory history(rig, reader0);
        auto card = std::make_unique<VirtualCardProcess>(0);
        QVERIFY(card->insert("driver-estr", {"--pause"}));
        if (!start.isEmpty()) {
            QVERIFY(card->waitUntilPaused());
            card->resume();
            QVERIFY(selectCardReader(window, reader0));
            QTRY_COMPARE_WITH_TIMEOUT(readerIcon(window, reader0), 2, operationMs);
            card->pauseNextCommand();
            QVERIFY(click(window, start));
        }
        QCOMPARE(iconWhileHeld(*card, window), 3);
        QVERIFY(card->remove());
        QTRY_COMPARE_WITH_TIMEOUT(history.ends(), start.isEmpty() ? 1 : 2, operationMs);
        QTRY_COMPARE_WITH_TIMEOUT(logLines().filter(reader0 + pulledInUse).size(), 1, operationMs);
        QCOMPARE(readerIcon(window, reader0), -1);

        // Pulled once its identification is over, and only then.
        const int ends = history.ends();
        card = std::make_unique<VirtualCardProcess>(0);
        QVERIFY(card->insert("driver-estr"));
        QTRY_COMPARE_WITH_TIMEOUT(history.ends(), ends + 1, operationMs);
        QCOMPARE(readerIcon(window, reader0), 2);
        QVERIFY(card->remove());
        QTRY_COMPARE_WITH_TIMEOUT(readerIcon(window, reader0), 0, operationMs);
        QCOMPARE(logLines().filter(reader0 + pulledInUse).size(), 1);
    }

    // Another program's hold shows once the monitor sees it, and a card it
    // holds is reported gone like any other when pulled.
    void heldByAnotherProgram_data()
    {
        QTest::addColumn<quint32>("share");
        QTest::newRow("shared") << Pcsc::SCARD_SHARE_SHARED;
        QTest::newRow("exclusive") << Pcsc::SCARD_SHARE_EXCLUSIVE;
    }

    void heldByAnotherProgram()
    {
        QFETCH(quint32, share);
        RunningProgram rig;
        MainWindow* window = rig.window;
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-estr") && selectCardReader(window, reader0));
        QTRY_COMPARE_WITH_TIMEOUT(readerIcon(window, reader0), 2, operationMs);
        OtherProgram other;
        QVERIFY(other.connect(reader0, share));
        QTRY_COMPARE_WITH_TIMEOUT(readerIcon(window, reader0), 3, operationMs);
        QVERIFY(card.remove());
        const auto* readers = window->findChild<QTableWidget*>("ReaderListTbl");
        QTRY_COMPARE_WITH_TIMEOUT(readers->item(0, 1)->text(), QString(), operationMs);
        QCOMPARE(readerIcon(window, reader0), -1);
        QCOMPARE(logLines().filter(reader0 + pulledInUse).size(), 1);
        for (const char* button : {"ReadCardsBtn", "CheckingCardBtn", "UnblockCardBtn", "AutoUnblockBtn"})
            QVERIFY2(!enabled(window, button), button);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.program.readerManager().readerState(reader0).cardPresent, operationMs);
    }

    // The export writes the card that was shown when it was asked for, not
    // the one in the reader once the file is chosen.
    void exportKeepsTheCardAskedFor()
    {
        RunningProgram rig;
        MainWindow* window = rig.window;
        QTemporaryDir folder;
        auto card = std::make_unique<VirtualCardProcess>(0);
        QVERIFY(card->insert("driver-estr") && selectCardReader(window, reader0));
        const auto* readers = window->findChild<QTableWidget*>("ReaderListTbl");
        const QString path = folder.filePath("card.csv");
        const ModalAnswer swapThenSave = [&](QDialog* dialog) {
            card = std::make_unique<VirtualCardProcess>(0);
            QVERIFY(card->insert("workshop-estr"));
            QVERIFY(QTest::qWaitFor([&] { return readers->item(0, 1)->text() == "RUW1000000020100"; }, operationMs));
            chooseFile(path)(dialog);
        };
        dialogsShownBy([&] { QVERIFY(click(window, "CardInfo2CSVBtn")); }, {swapThenSave});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(file.readAll());
        QVERIFY2(written.contains("\"RUD0000001100200\""), qPrintable(written));
        QVERIFY(!written.contains("RUW1000000020100"));
    }
};

QTEST_MAIN(TestMainWindowCardPicture)
#include "tst_mainwindow_cardpicture.moc"
