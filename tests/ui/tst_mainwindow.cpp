// The main window alone: the test stands in for the unblock-server client
// and the monitor by calling the window's handlers, and reads what the
// widgets show. Also the rules the real-card tests cannot reach on their own:
// when an upload may be sent, and when typed codes are complete.

#include "config/Config.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowRules.h"
#include "ui/services/DRVPEventLogger.h"
#include "tests/support/CellEdits.h"
#include "tests/support/ModalBoxes.h"
#include "tests/support/ToolTips.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QLCDNumber>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

namespace {

QString certPath(const QString& name)
{
    return qEnvironmentVariable("DRVP_CERTS_DIR") + '/' + name;
}

// Every window made here binds its form's slots by name: a slot without its
// widget or signal shows only as this warning.
QStringList unboundSlots;
QtMessageHandler previousHandler = nullptr;
void recordUnboundSlots(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains("connectSlotsByName"))
        unboundSlots << text;
    if (previousHandler)
        previousHandler(type, context, text);
}

// "111" while the log view's clear, HTML and TXT buttons are enabled.
QString logButtons(const QWidget& window)
{
    QString states;
    for (const char* name : {"ClearConsoleBtn", "Console2HTMLBtn", "Console2TXTBtn"})
        states += window.findChild<QAbstractButton*>(name)->isEnabled() ? '1' : '0';
    return states;
}

bool clickButton(const QWidget& window, const char* name)
{
    auto* button = window.findChild<QAbstractButton*>(name);
    if (!button || !button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(recordUnboundSlots); }
    void cleanupTestCase() { QCOMPARE(unboundSlots, QStringList()); }

    void statusResultShown()
    {
        Config config;
        MainWindow window;
        window.setConfig(&config);
        auto* table = window.findChild<QTableWidget*>("LastAUBTbl");
        const auto* counter = window.findChild<QLCDNumber*>("UnblockCounterLcd");
        const auto* autoCounter = window.findChild<QLCDNumber*>("AUnblockCounterLcd");

        window.on_commandResult("getStatus", true,
                                {"-120", "'a@b.ru','RUD1','Сервер','01.06.2021','Выполнен'\r\n"
                                         "'c@d.ru','<b>RUM2</b>','Архив','02.06.2021','Отклонён'\r\n"
                                         "'e@f.ru','RUK3','Архив','03.06.2021','Выполнен'\r\n"});
        QCOMPARE(counter->intValue(), -99);
        QCOMPARE(autoCounter->intValue(), -99);
        QStringList rows;
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells << table->item(row, column)->text();
            rows << cells.join('|');
        }
        QCOMPARE(rows, (QStringList{"3|a@b.ru|RUD1|Сервер|01.06.2021|Выполнен",
                                    "2|c@d.ru|<b>RUM2</b>|Архив|02.06.2021|Отклонён",
                                    "1|e@f.ru|RUK3|Архив|03.06.2021|Выполнен"}));

        // A failed status and another command's result change nothing.
        window.on_commandResult("getStatus", false, {});
        window.on_commandResult("findPUK", true, {"RUD1", "123-45678", "12345678", "None", "", "7"});
        QCOMPARE(counter->intValue(), -99);
        QCOMPARE(table->rowCount(), 3);

        // The table's menu copies the selection and offers to select all.
        table->setCurrentCell(1, 2);
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu && menu->actions().size() == 2);
            QCOMPARE(menu->actions().at(1)->text(), QString("Выделить все"));
            menu->actions().at(0)->trigger();
            menu->close();
        });
        emit table->customContextMenuRequested(table->visualItemRect(table->item(1, 2)).center());
        QCOMPARE(QApplication::clipboard()->text(), QString("<b>RUM2</b>\t\r\n"));
    }

    // A status of thousands of rows, one holding a name of two million
    // characters: the name's cell shows its start and length, a copy carries
    // the whole name, and every row can be reached.
    void longStatusShown()
    {
        Config config;
        MainWindow window;
        window.setConfig(&config);
        window.resize(1280, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString name(2000000, QChar(0x436));
        QString status = "'" + name + "','RUD1','Сервер','01.06.2021','Выполнен'\r\n";
        const QString reason = QString("карта не найдена в базе ").repeated(10);
        for (int row = 1; row < 3000; ++row)
            status += "'a@b.ru','RUD2','Архив','02.06.2021','" + reason + "'\r\n";
        window.on_commandResult("getStatus", true, {"5", status});
        auto* table = window.findChild<QTableWidget*>("LastAUBTbl");
        QCOMPARE(table->rowCount(), 3000);
        const QPoint nameCell = table->visualItemRect(table->item(0, 1)).center();
        QCOMPARE(toolTipAt(table->viewport(), nameCell), QString(300, QChar(0x436)) + "… (всего символов: 2000000)");

        table->setCurrentCell(0, 1);
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            menu->actions().at(0)->trigger();
            menu->close();
        });
        emit table->customContextMenuRequested(nameCell);
        QCOMPARE(QApplication::clipboard()->text(), name + "\t\r\n");

        // Rows shown after a drag of the scroll bar, and the last ones, hold
        // their texts whole.
        table->verticalScrollBar()->setValue(1500);
        const QRect middleReason = table->visualItemRect(table->item(1500, 5));
        QCOMPARE(toolTipAt(table->viewport(), middleReason.center()), QString());
        QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
        const QRect lastReason = table->visualItemRect(table->item(2999, 5));
        QVERIFY(table->viewport()->rect().contains(lastReason));
        QCOMPARE(table->item(2999, 0)->text(), QString("1"));
        QCOMPARE(toolTipAt(table->viewport(), lastReason.center()), QString());
    }

    // The key's pass phrase asked for the status: cancelled or wrong, the server
    // is not asked. The dialog's edit is cleared whatever the answer.
    void statusPassPhrase()
    {
        QFile phraseFile(certPath("passphrase.txt"));
        QVERIFY(phraseFile.open(QIODevice::ReadOnly));
        const QString phrase = QString::fromUtf8(phraseFile.readAll()).trimmed();
        Config config;
        config.auth["PKeyUser"] = certPath("user-pkcs8.pem");
        MainWindow window;
        window.setConfig(&config);
        QSignalSpy requests(&window, &MainWindow::makeCommand);
        QSignalSpy logged(&window, &MainWindow::logginMessage);
        const struct { QString typed; bool accept; QString shown; } answers[] = {
            {phrase, false, "Пользователь отменил загрузку ключа"},
            {"wrong", true, "Не удалось загрузить закрытый ключ"}};
        for (const auto& answer : answers) {
            QString left = "untouched";
            const ModalAnswer typed = [&](QDialog* dialog) {
                auto* edit = dialog->findChild<QLineEdit*>();
                connect(edit, &QLineEdit::textChanged, [&left](const QString& text) { left = text; });
                QTest::keyClicks(edit, answer.typed);
                answer.accept ? dialog->accept() : dialog->reject();
            };
            QCOMPARE(dialogsShownBy([&] { QTest::mouseClick(window.findChild<QAbstractButton*>("RefreshStatusBtn"),
                                                            Qt::LeftButton); }, {typed}),
                     QStringList{"input:Пароль закрытого ключа"});
            QCOMPARE(left, QString());
            QCOMPARE(window.findChild<QLabel*>("StatusPrgLbl")->text(), answer.shown);
        }
        QVERIFY(requests.isEmpty());
        QCOMPARE(logged.at(1).at(1).toString(), QString("Пользователь отменил загрузку закрытого ключа."));
    }

    // Whole texts where the page has room, captions of empty tables too; a
    // text that cannot fit shows whole in its tool tip, a cut tab title
    // before what the tab's tip says.
    void cutTextsShowWhole()
    {
        // The program's look: its captions are bold and padded.
        QFile sheet(":/qss/style.qss");
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        const auto plainAgain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
        MainWindow window;
        window.resize(1280, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QHeaderView* captions = window.findChild<QTableWidget*>("ReaderListTbl")->horizontalHeader();
        for (int column = 0; column < captions->count(); ++column)
            QVERIFY2(captions->sectionSize(column) >= captions->sectionSizeHint(column), qPrintable(QString::number(column)));

        const QString user = QString(150, QChar(0x436)) + "@example.ru";
        window.on_commandResult("getStatus", true, {"5", "'" + user + "','RUD1','Сервер','01.06.2021','Выполнен'\r\n"});
        auto* table = window.findChild<QTableWidget*>("LastAUBTbl");
        QStringList tips;
        int width = 0;
        for (int column = 0; column < table->columnCount(); ++column) {
            tips << toolTipAt(table->viewport(), table->visualItemRect(table->item(0, column)).center());
            width += table->columnWidth(column);
        }
        QCOMPARE(tips, QStringList({"", user, "", "", "", ""}));
        QVERIFY(width <= table->viewport()->width());
        // Shown, never edited.
        tryToEditCell(table, table->item(0, 2));
        QCOMPARE(table->item(0, 2)->text(), QString("RUD1"));

        // The narrowest window cuts every title of the diagnosis tabs.
        window.findChild<QStackedWidget*>("ViewFrame")->setCurrentIndex(1);
        window.resize(window.minimumSizeHint().width(), 800);
        QTabBar* tabs = window.findChild<QTabWidget*>("CheckingTabs")->tabBar();
        QTRY_VERIFY(tabs->tabRect(2).right() < tabs->width());
        tips.clear();
        for (int tab = 0; tab < tabs->count(); ++tab)
            tips << toolTipAt(tabs, tabs->tabRect(tab).center());
        QCOMPARE(tips, QStringList({"Диагностика выполнения команд\nПошаговые результаты диагностика карты тахографа на "
                                    "выполнение команд драйвера и внутренних команд карты",
                                    "Контроль данных\nПошаговые результаты диагностики данных, выгруженных из карты "
                                    "тахографа",
                                    "События и Неисправности\nСобытия и неисправности выгруженные из карты тахографа"}));
    }

    // What the reader and the monitor say reaches the log view as text; the
    // view's buttons follow whether it holds any.
    void readerErrorsLoggedAsText()
    {
        MainWindow window;
        DRVPEventLogger logger;
        connect(&window, &MainWindow::logginMessage, &logger, &DRVPEventLogger::on_logginMessage);
        connect(&logger, &DRVPEventLogger::newLogMessage, &window, &MainWindow::on_NewLogMessage);
        QSignalSpy shown(&logger, &DRVPEventLogger::newLogMessage);
        QCOMPARE(logButtons(window), QString("000"));
        window.on_ErrorCardReader("Служба недоступна", "");
        window.on_ErrorCardReader("Карта <i>&</i> ридер", "Reader <1>");
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown.at(0).at(0).toString().endsWith("[Crit] - Служба недоступна</span>"));
        QVERIFY(shown.at(1).at(0).toString().endsWith(
            "[Crit] - Reader &lt;1&gt;: Карта &lt;i&gt;&amp;&lt;/i&gt; ридер</span>"));
        QCOMPARE(logButtons(window), QString("111"));
        QVERIFY(clickButton(window, "ClearConsoleBtn"));
        QCOMPARE(logButtons(window), QString("000"));
    }

    // The view shows the newest lines, at most a thousand; the oldest go a
    // hundred at a time. What drops out takes its link's text format with
    // it, the kept lines keep their links, and the export takes what the
    // view shows.
    void logViewKeepsNewestLines_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("first");
        QTest::newRow("not yet full") << 999 << 999 << 1;
        QTest::newRow("full") << 1000 << 1000 << 1;
        QTest::newRow("one more") << 1001 << 901 << 101;
        QTest::newRow("a long day") << 2500 << 1000 << 1501;
    }
    void logViewKeepsNewestLines()
    {
        QFETCH(int, lines);
        QFETCH(int, shown);
        QFETCH(int, first);
        Config config;
        QTemporaryDir exports;
        config.setPath("ExportPath", exports.path());
        MainWindow window;
        window.setConfig(&config);
        DRVPEventLogger logger;
        connect(&logger, &DRVPEventLogger::newLogMessage, &window, &MainWindow::on_NewLogMessage);
        const auto saved = [](int n) { return QString("R1 - сохранен: <a href=\"/d/%1.ddd\">/d/%1.ddd</a>").arg(n); };
        for (int n = 1; n <= lines; ++n)
            logger.on_logginMessage(0, saved(n));

        const QTextDocument* view = window.findChild<QTextEdit*>("ConsoleTEdt")->document();
        QCOMPARE(view->blockCount(), shown);
        QVERIFY2(view->firstBlock().text().endsWith(QString("[Info] - R1 - сохранен: /d/%1.ddd").arg(first)),
                 qPrintable(view->firstBlock().text()));
        QVERIFY2(view->lastBlock().text().endsWith(QString("[Info] - R1 - сохранен: /d/%1.ddd").arg(lines)),
                 qPrintable(view->lastBlock().text()));
        const QString html = view->toHtml();
        QVERIFY(html.contains(QString("href=\"/d/%1.ddd\"").arg(first)));
        QVERIFY(html.contains(QString("href=\"/d/%1.ddd\"").arg(lines)));
        QVERIFY(!html.contains(QString("href=\"/d/%1.ddd\"").arg(first - 1)));
        // About one format per kept link; every dropped one would make thousands.
        QVERIFY2(view->allFormats().size() < shown + 150, qPrintable(QString::number(view->allFormats().size())));

        const QString file = exports.filePath("log.txt");
        dialogsShownBy([&] { QVERIFY(clickButton(window, "Console2TXTBtn")); }, {chooseFile(file)});
        QFile exported(file);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QStringList exportedLines = QString::fromUtf8(exported.readAll()).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(exportedLines.size(), shown);
        QVERIFY(exportedLines.first().endsWith(QString("/d/%1.ddd").arg(first)));

        // The buttons follow whether the view holds anything.
        QCOMPARE(logButtons(window), QString("111"));
        QVERIFY(clickButton(window, "ClearConsoleBtn"));
        QCOMPARE(logButtons(window), QString("000"));
        logger.on_logginMessage(0, saved(lines + 1));
        QCOMPARE(logButtons(window), QString("111"));
        view = window.findChild<QTextEdit*>("ConsoleTEdt")->document();
        QCOMPARE(view->blockCount(), 1);
        QVERIFY(view->firstBlock().text().endsWith(QString("/d/%1.ddd").arg(lines + 1)));
    }

    // A reader's row shows each state with one icon for the whole run: an
    // icon made anew for every change is drawn, scaled and kept in the
    // toolkit's pixmap cache anew, card after card.
    void readerRowIconsMadeOnce()
    {
        MainWindow window;
        window.on_FoundCardReaders({"R1"});
        const QTableWidgetItem* header = window.findChild<QTableWidget*>("ReaderListTbl")->verticalHeaderItem(0);
        QSet<qint64> icons{header->icon().cacheKey()};
        for (int card = 0; card < 20; ++card) {
            window.on_MountedCard("R1");
            icons << header->icon().cacheKey();
            window.on_CardUsing("R1", true);
            icons << header->icon().cacheKey();
            window.on_CardUsing("R1", false);
            icons << header->icon().cacheKey();
            window.on_UnmountedCard("R1");
            icons << header->icon().cacheKey();
        }
        QCOMPARE(icons.size(), 3);
    }

    void titleFollowsUserCertificate()
    {
        Config config;
        config.appInfo = {{"AppName", "Дравек Про"}, {"AppVersion", "3.1.1.0"}};
        MainWindow window;
        window.setConfig(&config);
        const QString formTitle = window.windowTitle();
        window.on_UserCertChanged();
        QCOMPARE(window.windowTitle(), formTitle);

        config.auth["CertUser"] = certPath("user.pem");
        QVERIFY(config.loadCertificate("CertUser"));
        window.on_UserCertChanged();
        QCOMPARE(window.windowTitle(),
                 QStringLiteral("Дравек Про (3.1.1.0) - ООО Тест - Иванов Иван Иванович / ivanov@example.ru"));
    }

    // Three files, asked for one after the other, in the order events, data, commands.
    void diagnosisExportAsksForEventsDataCommands()
    {
        Config config;
        MainWindow window;
        window.setConfig(&config);
        QTemporaryDir out;
        auto* button = window.findChild<QAbstractButton*>("CheckingToCSVBtn");
        button->setEnabled(true); // as after a diagnosis
        dialogsShownBy([&] { QTest::mouseClick(button, Qt::LeftButton); },
                       {chooseFile(out.filePath("1")), chooseFile(out.filePath("2")), chooseFile(out.filePath("3"))});
        auto firstLine = [&](const QString& name) {
            QFile file(out.filePath(name));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readLine()) : QString();
        };
        QCOMPARE(firstLine("1.csv"), QString("Тип,Код,Начало,Окончание,Описание\r\n"));
        QCOMPARE(firstLine("2.csv"), QString("Шаг проверки,Данные,Выполнен,Комментарий\r\n"));
        QCOMPARE(firstLine("3.csv"),
                 QString("Шаг проверки,WinSCard Результат,APDU Результат,Выполнен,Комментарий\r\n"));
    }

    void uploadSendRule_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("service");
        QTest::addColumn<bool>("needsPin");
        QTest::addColumn<QString>("pin");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("send");
        QTest::newRow("all given") << "driver" << "secret" << true << false << "" << "" << true;
        QTest::newRow("no service") << "driver" << "secret" << false << false << "" << "" << false;
        QTest::newRow("no login") << "" << "secret" << true << false << "" << "" << false;
        QTest::newRow("no password") << "driver" << "" << true << false << "" << "" << false;
        QTest::newRow("PIN card, no PIN") << "driver" << "secret" << true << true << "" << "" << false;
        QTest::newRow("PIN card, short PIN") << "driver" << "secret" << true << true << "123" << "" << false;
        QTest::newRow("PIN card, whole PIN") << "driver" << "secret" << true << true << "1234" << "" << true;
        QTest::newRow("PIN card, a file") << "driver" << "secret" << true << true << "" << "a.ddd" << true;
    }
    void uploadSendRule()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(bool, service);
        QFETCH(bool, needsPin);
        QFETCH(QString, pin);
        QFETCH(QString, file);
        QTEST(MainWindowRules::canSendUpload(login, password, service, needsPin, pin, file), "send");
    }

    void codesComplete()
    {
        QVERIFY(MainWindowRules::isUnblockInputComplete("12345678", "1234"));
        QVERIFY(!MainWindowRules::isUnblockInputComplete("1234567", "1234"));
        QVERIFY(!MainWindowRules::isUnblockInputComplete("12345678", "123"));
        // A diagnosis may also run without a PIN.
        QVERIFY(MainWindowRules::isCheckingPinAcceptable("") && MainWindowRules::isCheckingPinAcceptable("1234"));
        QVERIFY(!MainWindowRules::isCheckingPinAcceptable("123"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
