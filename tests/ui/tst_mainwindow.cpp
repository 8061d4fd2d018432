// The main window alone: the test stands in for the unblock-server client
// and the monitor by calling the window's handlers, and reads what the
// widgets show.

#include "config/Config.h"
#include "ui/MainWindow.h"
#include "ui/services/DRVPEventLogger.h"

#include <QLCDNumber>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void statusResultShown();
    void readerErrorsLoggedAsText_data();
    void readerErrorsLoggedAsText();
    void titleFollowsUserCertificate();
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

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
