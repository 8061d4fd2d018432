// One working session of the whole program, started by the same code as
// main(), against the sandbox's pcscd with a virtual card, the local unblock
// server over TLS and the local web-service double: the status at start,
// diagnosis, unblock by PUK and automatically, read with the new PIN, upload,
// export, close. Run on an X server (xvfb-run): each page is saved as a
// picture for a person to look at, in the build folder's screenshots/app.

#include "tests/app/ProgramDriver.h"
#include "tests/readers/CardCounters.h"
#include "tests/support/StepIcons.h"
#include "tests/support/VirtualCardProcess.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/WebServiceProcess.h"
#include "ui/app/Program.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QLCDNumber>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

using namespace ProgramDriver;

namespace {

const QString driverCard = QStringLiteral("driver-rfskzi");
const QStringList pinBlocked{"--pin-tries", "0"};
constexpr int operationMs = 60000;

QString certPath(const QString& name)
{
    return UnblockServerProcess::certPath(name);
}

int lcd(QWidget* window, const char* name)
{
    return window->findChild<QLCDNumber*>(name)->intValue();
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void shot(QWidget* widget, const QString& name)
{
    QCoreApplication::processEvents();
    const QString folder = QStringLiteral(DRVP_SCREENSHOT_DIR);
    QVERIFY2(QDir().mkpath(folder) && widget->grab().save(QStringLiteral("%1/%2.png").arg(folder, name)),
             qPrintable(name));
}

// Rows drawn red, the failed ones.
int redRows(const QTableWidget* table)
{
    int red = 0;
    for (int row = 0; row < table->rowCount(); ++row)
        red += table->item(row, 0)->foreground().color() == QColor(255, 127, 127) ? 1 : 0;
    return red;
}

} // namespace

class TestProgramSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(useHome(home));
        QVERIFY(server.port != 0);
        QVERIFY(web.port != 0);
        const auto settings = store();
        const QList<QPair<QString, QString>> values{
            {"Server", "127.0.0.1"},
            {"Port", QString::number(server.port)},
            {"Timeout", "15000"},
            {"CertCA", certPath("ca.pem")},
            {"CertUser", certPath("user.pem")},
            {"PKeyUser", certPath("user-pkcs8.pem")},
            {"Protocol", "http"},
            {"KvarnolServer", web.host()},
            {"KvarnolLogin", "driver"},
            {"dddPath", home.filePath("ddd")},
            {"ExportPath", home.filePath("exports")},
        };
        for (const auto& value : values)
            settings->setValue(value.first, value.second);
    }

    void cleanup()
    {
        // See tst_program_startup: fades of the line edits end, then go.
        QTest::qWait(200);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void wholeSession();

private:
    // Start-up, the roads and the close; false at the first failure.
    bool session();
    void read(QWidget* window);
    void diagnose(QWidget* window);
    void unblockByPuk(QWidget* window);
    void unblockAutomatically(QWidget* window);
    void upload(QWidget* window);
    void exportTable(QWidget* window);
    // The same card again, its PIN blocked, once the window saw it go; the
    // card leaves its counters in dump.
    bool reinsertBlocked(QWidget* window, const QString& dump);

    QTemporaryDir home;
    UnblockServerProcess server;
    WebServiceProcess web;
    VirtualCardProcess card{0};
    QTemporaryDir pukDump;
    QString saved;
};

void TestProgramSession::wholeSession()
{
    // One refused hash gives the diagnosis's command check a failed row.
    QVERIFY(card.insert(driverCard, {"--fail", "hash:1:6985"}));
    // The pass phrase of the key at start, the .ddd file for the upload, the
    // name of the exported table.
    const QList<ModalAnswer> answers{typeText(UnblockServerProcess::passPhrase()), [this](QDialog* d) { chooseFile(saved)(d); },
                                     chooseFile(home.filePath("exports/readers.csv"))};
    bool done = false;
    const QStringList shown = dialogsShownBy([&] { done = session(); }, answers);
    QVERIFY(done);
    QCOMPARE(shown, (QStringList{"input:Пароль закрытого ключа", "files:Все CRT файлы (*.ddd *.DDD)",
                                 "files:Все CSV файлы (*.csv *.CSV)"}));

    const QStringList log = logLines();
    QVERIFY(log.first().endsWith(" [Info] - === Дравек Про запущен ==="));
    QVERIFY(log.last().endsWith(" [Info] - =x= Дравек Про закрыт =x="));
}

bool TestProgramSession::session()
{
    Program program(new DRVPEventLogger);
    shot(&program.splashScreen(), "splash");
    if (!program.start())
        return false;
    QWidget* window = &program.mainWindow();
    shot(window, "main-0-Main");
    // The status asked for at start, once the key's pass phrase was typed.
    if (!QTest::qWaitFor([&] { return lcd(window, "UnblockCounterLcd") == 42; }, operationMs)
        || server.requests() != QByteArrayList{"[SIZE]:11;\r\n[BODY]:getStatus()"}
        || window->findChild<QTableWidget*>("LastAUBTbl")->rowCount() != 2
        || !window->windowTitle().contains(QStringLiteral("Иванов Иван Иванович")))
        return false;
    // The log view starts after the log's opening line, which reaches the file only.
    const QString shownLog = window->findChild<QTextEdit*>("ConsoleTEdt")->toPlainText();
    if (shownLog.contains(QStringLiteral("Дравек Про запущен"))
        || !shownLog.contains(QStringLiteral("Обновление статуса клиента.")))
        return false;

    for (void (TestProgramSession::*step)(QWidget*) :
         {&TestProgramSession::diagnose, &TestProgramSession::unblockByPuk,
          &TestProgramSession::unblockAutomatically, &TestProgramSession::read, &TestProgramSession::upload,
          &TestProgramSession::exportTable}) {
        (this->*step)(window);
        if (QTest::currentTestFailed())
            return false;
    }
    program.configWindow().on_Show();
    for (int page = 0; page < 4; ++page) {
        program.configWindow().findChild<QListWidget*>("ConfigList")->setCurrentRow(page);
        shot(&program.configWindow(), QStringLiteral("configwindow-%1").arg(page));
    }
    program.configWindow().hide();
    program.aboutWindow().on_ShowAbout();
    shot(&program.aboutWindow(), "aboutwindow");
    program.aboutWindow().hide();
    if (!click(window, "CancelBtn") || !program.mainWindow().close())
        return false;
    program.shutDown();
    return true;
}

void TestProgramSession::read(QWidget* window)
{
    QVERIFY(selectCardReader(window, card.name()));
    QVERIFY(click(window, "ReadCardsBtn"));
    QCOMPARE(page(window, "MainFrame"), 1);
    // The edit takes digits only; Return sends a complete PIN only. The new
    // PIN of the automatic unblock opens the card.
    QVERIFY(type(window, "ReadPINEdt", "x432\n"));
    QCOMPARE(text(window, "ReadPINEdt"), QStringLiteral("432"));
    QVERIFY(!enabled(window, "SubmitPINBtn"));
    QVERIFY(type(window, "ReadPINEdt", "1\n"));
    QTRY_COMPARE(text(window, "ReadPINEdt"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text(window, "ReadPrgLbl"), QStringLiteral("Карта успешно считана"), operationMs);
    shot(window, "main-1-ReadCards");
    const QStringList files = QDir(home.filePath("ddd")).entryList({"*.ddd"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY2(files.first().startsWith(QStringLiteral("РФСКЗИ_RUD0000012345600-")), qPrintable(files.first()));
    QVERIFY(files.first().endsWith(".ddd"));
    saved = home.filePath("ddd/" + files.first());
    QVERIFY(QFileInfo(saved).size() > 1000);
    QCOMPARE(text(window, "LKFileEdt"), saved); // waits on the upload page
    QVERIFY(web.requests().isEmpty()); // the read page sends nothing
    QTRY_VERIFY(window->findChild<QLineEdit*>("ReadPINEdt")->isEnabled());
    QVERIFY(click(window, "CancelBtn"));
}

void TestProgramSession::diagnose(QWidget* window)
{
    QVERIFY(selectCardReader(window, card.name()));
    QVERIFY(click(window, "CheckingCardBtn"));
    QCOMPARE(page(window, "MainFrame"), 2);
    QVERIFY(enabled(window, "StartCheckingBtn")); // a diagnosis may run without a PIN
    QVERIFY(type(window, "CheckingPinEdt", "12"));
    QVERIFY(!enabled(window, "StartCheckingBtn"));
    QVERIFY(type(window, "CheckingPinEdt", "34\n"));
    QTRY_COMPARE(text(window, "CheckingPinEdt"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text(window, "CheckingPrgLbl"), QStringLiteral("Диагностика выполнена"), operationMs);
    QCOMPARE(page(window, "ViewFrame"), 1);
    QVERIFY(enabled(window, "Checking2XLSBtn"));
    // The refused hash fails its hash row and the signature after it, the
    // card holds three events; each tab's picture tells whether its table has
    // a failed (red) row.
    const auto* tabs = window->findChild<QTabWidget*>("CheckingTabs");
    const QList<std::tuple<const char*, const char*, int, int>> expected{
        {"CmdCheckTbl", "card", 2, 3}, {"DataCheckTbl", "data", 0, 2}, {"FaultEventTbl", "enf", 3, 3}};
    for (int tab = 0; tab < 3; ++tab) {
        window->findChild<QTabWidget*>("CheckingTabs")->setCurrentIndex(tab);
        shot(window, QStringLiteral("main-2-CardDiagnostic-tab%1").arg(tab));
        const auto [name, kind, red, state] = expected.at(tab);
        const auto* table = window->findChild<QTableWidget*>(name);
        QVERIFY2(table->rowCount() > 0 && table->item(0, table->columnCount() - 1), name);
        QCOMPARE(redRows(table), red);
        QCOMPARE(iconState(tabs->tabIcon(tab), kind), state);
    }
    QVERIFY(click(window, "CancelBtn"));
}

bool TestProgramSession::reinsertBlocked(QWidget* window, const QString& dump)
{
    auto* table = window->findChild<QTableWidget*>("ReaderListTbl");
    const auto cardNumber = [&] {
        const QList<QTableWidgetItem*> found = table->findItems(card.name(), Qt::MatchExactly);
        const QTableWidgetItem* number = found.isEmpty() ? nullptr : table->item(found.first()->row(), 1);
        return number ? number->text() : QString();
    };
    return card.remove() && QTest::qWaitFor([&] { return cardNumber().isEmpty(); }, 15000)
        && card.insert(driverCard, pinBlocked + QStringList{"--dump", dump}) && selectCardReader(window, card.name());
}

void TestProgramSession::unblockByPuk(QWidget* window)
{
    QVERIFY(reinsertBlocked(window, pukDump.path()));
    QVERIFY(click(window, "UnblockCardBtn"));
    QCOMPARE(page(window, "MainFrame"), 3);
    // Return in the PUK moves on to the new PIN once the PUK is complete;
    // Return in the new PIN unblocks.
    QVERIFY(type(window, "PUKEdt", "1234567\n"));
    QCOMPARE(window->focusWidget()->objectName(), QStringLiteral("PUKEdt"));
    QVERIFY(type(window, "UnblockPinEdt", "5678"));
    QVERIFY(!enabled(window, "UnblockBtn"));
    QVERIFY(type(window, "PUKEdt", "8\n"));
    QCOMPARE(window->focusWidget()->objectName(), QStringLiteral("UnblockPinEdt"));
    QVERIFY(type(window, "UnblockPinEdt", "\n"));
    QTRY_COMPARE(text(window, "PUKEdt"), QString());
    QCOMPARE(text(window, "UnblockPinEdt"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text(window, "UBlckPrgLbl"), QStringLiteral("Карта разблокирована"), operationMs);
    shot(window, "main-3-UnblockCard");
    QTRY_VERIFY(window->findChild<QLineEdit*>("PUKEdt")->isEnabled());
    QVERIFY(click(window, "CancelBtn"));
}

void TestProgramSession::unblockAutomatically(QWidget* window)
{
    QTemporaryDir dump;
    QVERIFY(reinsertBlocked(window, dump.path()));
    // The card that left had the new PIN of the unblock by PUK, "5678".
    const QMap<QString, QString> counters = readCardCounters(pukDump.path());
    QCOMPARE(counters.value("pin"), QStringLiteral("35363738FFFFFFFF"));
    QCOMPARE(counters.value("puk-tries"), QStringLiteral("3"));

    QVERIFY(click(window, "AutoUnblockBtn"));
    QCOMPARE(page(window, "MainFrame"), 4);
    QVERIFY(type(window, "ANewPINEdt", "432"));
    QVERIFY(!enabled(window, "AUnblockBtn"));
    QVERIFY(type(window, "ANewPINEdt", "1\n"));
    QTRY_COMPARE_WITH_TIMEOUT(text(window, "AutoUBlckPrgLbl"), QStringLiteral("Карта разблокирована"), operationMs);
    shot(window, "main-4-AutoUnblock");
    QCOMPARE(lcd(window, "AUnblockCounterLcd"), 42);
    QVERIFY(server.requests().last().endsWith("findPUK('RUD0000012345600','A23501000123456')"));
    QTRY_VERIFY(window->findChild<QLineEdit*>("ANewPINEdt")->isEnabled());
    QVERIFY(click(window, "CancelBtn"));
}

void TestProgramSession::upload(QWidget* window)
{
    QVERIFY(click(window, "UploadBtn"));
    QVERIFY(click(window, "LKSelectFileBtn"));
    QCOMPARE(text(window, "LKFileEdt"), saved);
    QVERIFY(type(window, "LKPassWordEdt", "secret"));
    QVERIFY(click(window, "LKSendBtn"));
    QTRY_COMPARE_WITH_TIMEOUT(text(window, "LKReadingProgressLbl"), QStringLiteral("Файл успешно отправлен ..."),
                              operationMs);
    shot(window, "main-5-Upload2Server");
    QCOMPARE(web.uploadedNames(), QStringList{QFileInfo(saved).fileName()});
    QCOMPARE(web.uploaded(QFileInfo(saved).fileName()), fileBytes(saved));
}

void TestProgramSession::exportTable(QWidget* window)
{
    QVERIFY(click(window, "ReadersTable2CSVBtn"));
    QFile csv(home.filePath("exports/readers.csv"));
    QTRY_VERIFY(csv.exists());
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n");
    QCOMPARE(lines.first(), QStringLiteral("Картридер,Номер карты,Номер СКЗИ,Вид,Тип"));
    const QString cardRow =
        QStringLiteral("\"%1\",\"RUD0000012345600\",\"A23501000123456\",\"РФСКЗИ\",\"Карта водителя\"");
    QVERIFY(lines.contains(cardRow.arg(card.name())));
}

QTEST_MAIN(TestProgramSession)
#include "tst_program_session.moc"
