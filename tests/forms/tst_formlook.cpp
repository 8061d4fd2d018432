#include "FormHarness.h"
#include "ui/AboutWindow.h"
#include "ui/ConfigWindow.h"
#include "ui_MainWindow.h"

#include <QDir>
#include <QListWidget>
#include <QtTest>

// The forms under the application style sheet, which must parse without a
// warning; every page of each form is saved as a picture for a person to look
// at (build folder, "screenshots/<platform>").
class TestFormLook : public QObject
{
    Q_OBJECT

    QMainWindow window;
    Ui_MainWindow ui;

private slots:
    void initTestCase()
    {
        WarningCatcher warnings;
        qApp->setStyle(QStringLiteral("Fusion"));
        const QString sheet = applicationStyleSheet();
        QVERIFY(sheet.size() > 1000);
        qApp->setStyleSheet(sheet);
        ui.setupUi(&window);
        fillSamples();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(WarningCatcher::caught(), QStringList());
    }

    void screenshots()
    {
        WarningCatcher warnings;
        for (int page = 0; page < ui.MainFrame->count(); ++page) {
            ui.MainFrame->setCurrentIndex(page);
            ui.ViewFrame->setCurrentIndex(page % ui.ViewFrame->count());
            ui.CheckingTabs->setCurrentIndex(page % ui.CheckingTabs->count());
            QVERIFY(save(&window, QStringLiteral("MainWindow-%1-%2").arg(page).arg(
                                      ui.MainFrame->currentWidget()->objectName())));
        }
        ConfigWindow config;
        config.show();
        auto* list = config.findChild<QListWidget*>(QStringLiteral("ConfigList"));
        QVERIFY(list);
        for (int row = 0; row < list->count(); ++row) {
            list->setCurrentRow(row);
            QVERIFY(save(&config, QStringLiteral("configwindow-%1").arg(row)));
        }
        AboutWindow about;
        about.show();
        QVERIFY(save(&about, QStringLiteral("aboutwindow")));
        QCOMPARE(WarningCatcher::caught(), QStringList());
    }

private:
    static bool save(QWidget* form, const QString& name)
    {
        const QDir dir(QDir::current().filePath(QStringLiteral("screenshots/") + QGuiApplication::platformName()));
        return dir.mkpath(QStringLiteral(".")) && form->grab().save(dir.filePath(name + ".png"));
    }

    // A little content, so that the pictures show rows, headers and the log.
    void fillSamples()
    {
        const QStringList reader{"Virtual Reader 00 00", "RUD0000012345000", "0123456789", "Водитель", "ЕСТР"};
        ui.ReaderListTbl->setRowCount(2);
        for (int row = 0; row < 2; ++row) {
            auto* header = new QTableWidgetItem(QIcon(row ? ":/imgs/reader_error.png" : ":/imgs/step_card2.png"), "");
            ui.ReaderListTbl->setVerticalHeaderItem(row, header);
            for (int c = 0; c < reader.size(); ++c)
                ui.ReaderListTbl->setItem(row, c, new QTableWidgetItem(row && c ? QString() : reader[c]));
        }
        ui.ConsoleTEdt->append(QStringLiteral("<span style=\"color:#92BD6C;\">07.12.2026 00:00:00 [Info] - "
                                              "Обновление статуса клиента.</span>"));
        ui.ConsoleTEdt->append(QStringLiteral("<span style=\"color:#FF7F7F;\">07.12.2026 00:00:01 [Crit] - "
                                              "Нет связи с сервером.</span>"));
        ui.AutoUBlck0->setPixmap(QPixmap(QStringLiteral(":/imgs/step_card2.png")));
        ui.AutoUBlck1->setPixmap(QPixmap(QStringLiteral(":/imgs/step_connect1.png")));
        ui.AutoUBlckPrgLbl->setText(QStringLiteral("Соединение с сервером ..."));
        ui.UnblockCounterLcd->display(-5);
        ui.ReadCardsBtn->setEnabled(true);
    }
};

QTEST_MAIN(TestFormLook)
#include "tst_formlook.moc"
