// The main window alone: the test stands in for the unblock-server client
// and the monitor by calling the window's handlers, and reads what the
// widgets show.

#include "config/Config.h"
#include "ui/MainWindow.h"
#include "ui/services/DRVPEventLogger.h"
#include "tests/support/ModalBoxes.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QLCDNumber>
#include <QMenu>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void statusResultShown();
    void requestsTableFitsItsPage();
    void readerErrorsLoggedAsText_data();
    void readerErrorsLoggedAsText();
    void titleFollowsUserCertificate();
    void logViewButtonsFollowItsText();
    void diagnosisExportAsksForEventsDataCommands();
    void contextMenuCopiesSelection();
};

void TestMainWindow::statusResultShown()
{
    Config config;
    MainWindow window;
    window.setConfig(&config);
    const auto* table = window.findChild<QTableWidget*>("LastAUBTbl");
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
}

// Whole texts where the page has room; a text that cannot fit shows whole in
// its tool tip.
void TestMainWindow::requestsTableFitsItsPage()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString user = QString(150, QChar(0x436)) + "@example.ru";
    window.on_commandResult("getStatus", true, {"5", "'" + user + "','RUD1','Сервер','01.06.2021','Выполнен'\r\n"});
    const auto* table = window.findChild<QTableWidget*>("LastAUBTbl");
    QStringList tips;
    int width = 0;
    for (int column = 0; column < table->columnCount(); ++column) {
        tips << table->item(0, column)->toolTip();
        width += table->columnWidth(column);
    }
    QCOMPARE(tips, QStringList({"", user, "", "", "", ""}));
    QVERIFY(width <= table->viewport()->width());
}

void TestMainWindow::readerErrorsLoggedAsText_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("view");
    QTest::newRow("no reader") << "" << "Служба недоступна" << "[Crit] - Служба недоступна</span>";
    QTest::newRow("reader") << "Reader <1>" << "Карта <i>&</i> ридер"
                            << "[Crit] - Reader &lt;1&gt;: Карта &lt;i&gt;&amp;&lt;/i&gt; ридер</span>";
}

// What the reader and the monitor say reaches the log view as text.
void TestMainWindow::readerErrorsLoggedAsText()
{
    QFETCH(QString, reader);
    QFETCH(QString, message);
    QFETCH(QString, view);
    MainWindow window;
    DRVPEventLogger logger;
    connect(&window, &MainWindow::logginMessage, &logger, &DRVPEventLogger::on_logginMessage);
    QSignalSpy shown(&logger, &DRVPEventLogger::newLogMessage);
    window.on_ErrorCardReader(message, reader);
    QCOMPARE(shown.size(), 1);
    const QString line = shown.first().first().toString();
    QVERIFY2(line.endsWith(view), qPrintable(line));
}

void TestMainWindow::titleFollowsUserCertificate()
{
    Config config;
    config.appInfo = {{"AppName", "Дравек Про"}, {"AppVersion", "3.1.1.0"}};
    MainWindow window;
    window.setConfig(&config);
    const QString formTitle = window.windowTitle();
    window.on_UserCertChanged();
    QCOMPARE(window.windowTitle(), formTitle);

    config.auth["CertUser"] = qEnvironmentVariable("DRVP_CERTS_DIR") + "/user.pem";
    QVERIFY(config.loadCertificate("CertUser"));
    window.on_UserCertChanged();
    QCOMPARE(window.windowTitle(),
             QStringLiteral("Дравек Про (3.1.1.0) - ООО Тест - Иванов Иван Иванович / ivanov@example.ru"));
}

void TestMainWindow::logViewButtonsFollowItsText()
{
    MainWindow window;
    const auto enabled = [&] {
        QString states;
        for (const char* name : {"ClearConsoleBtn", "Console2HTMLBtn", "Console2TXTBtn"})
            states += window.findChild<QAbstractButton*>(name)->isEnabled() ? '1' : '0';
        return states;
    };
    QCOMPARE(enabled(), QString("000"));
    window.on_NewLogMessage("<span style=\"color:#92BD6C;\">01.01.2026 10:00:00 [Info] - строка</span>");
    QCOMPARE(enabled(), QString("111"));
    QTest::mouseClick(window.findChild<QAbstractButton*>("ClearConsoleBtn"), Qt::LeftButton);
    QCOMPARE(enabled(), QString("000"));
}

// Three files, asked for one after the other, in the order events, data, commands.
void TestMainWindow::diagnosisExportAsksForEventsDataCommands()
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
    QCOMPARE(firstLine("3.csv"), QString("Шаг проверки,WinSCard Результат,APDU Результат,Выполнен,Комментарий\r\n"));
}

void TestMainWindow::contextMenuCopiesSelection()
{
    MainWindow window;
    window.on_commandResult("getStatus", true,
                            {"5", "'a@b.ru','RUD1','Сервер','01.06.2021','Выполнен'\r\n"
                                  "'c@d.ru','RUM2','Архив','02.06.2021','Отклонён'\r\n"});
    auto* table = window.findChild<QTableWidget*>("LastAUBTbl");
    table->setCurrentCell(1, 2);
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions().at(1)->text(), QString("Выделить все"));
        menu->actions().at(0)->trigger();
        menu->close();
    });
    emit table->customContextMenuRequested(table->visualItemRect(table->item(1, 2)).center());
    QCOMPARE(QApplication::clipboard()->text(), QString("RUM2\t\r\n"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
