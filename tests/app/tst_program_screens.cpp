// Pictures of the running program for a person to look at: the splash, the
// main window on each operation page with a card in the reader, the three
// tabs of a finished diagnosis, the configuration dialog and the about box. Run on an X server (xvfb-run);
// the PNGs land in the build folder's screenshots/app.

#include "tests/app/ProgramDriver.h"
#include "tests/support/VirtualCardProcess.h"
#include "ui/app/Program.h"

#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace ProgramDriver;

class TestProgramScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(useHome(home));
        QVERIFY(QDir().mkpath(folder));
    }

    void cleanup()
    {
        QTest::qWait(200);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void screens()
    {
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi"));
        Program program(new DRVPEventLogger);
        QVERIFY(QTest::qWaitForWindowExposed(&program.splashScreen()));
        save(&program.splashScreen(), "splash");
        bool started = false;
        boxesShownBy([&] { started = program.start(); });
        QVERIFY(started);

        QWidget* window = &program.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(selectCardReader(window, card.name()));
        save(window, "main-0-Main");
        const struct
        {
            const char* button;
            const char* name;
        } pages[] = {{"ReadCardsBtn", "main-1-ReadCards"},      {"CheckingCardBtn", "main-2-CardDiagnostic"},
                     {"UnblockCardBtn", "main-3-UnblockCard"},  {"AutoUnblockBtn", "main-4-AutoUnblock"},
                     {"UploadBtn", "main-5-Upload2Server"}};
        for (const auto& page : pages) {
            QVERIFY2(click(window, page.button), page.button);
            save(window, page.name);
            QVERIFY(click(window, "CancelBtn"));
        }

        // A finished diagnosis, one picture per tab: the tables must be readable.
        QVERIFY(click(window, "CheckingCardBtn"));
        QVERIFY(type(window, "CheckingPinEdt", "1234\n"));
        QTRY_COMPARE_WITH_TIMEOUT(text(window, "CheckingPrgLbl"), QStringLiteral("Диагностика выполнена"), 60000);
        auto* tabs = window->findChild<QTabWidget*>("CheckingTabs");
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            save(window, QStringLiteral("main-2-CardDiagnostic-tab%1").arg(tab));
        }
        QVERIFY(click(window, "CancelBtn"));

        program.configWindow().on_Show();
        QVERIFY(QTest::qWaitForWindowExposed(&program.configWindow()));
        save(&program.configWindow(), "configwindow");
        program.configWindow().findChild<QListWidget*>("ConfigList")->setCurrentRow(3);
        save(&program.configWindow(), "configwindow-3-services");
        program.configWindow().hide();

        program.aboutWindow().on_ShowAbout();
        QVERIFY(QTest::qWaitForWindowExposed(&program.aboutWindow()));
        save(&program.aboutWindow(), "aboutwindow");
        program.aboutWindow().hide();
    }

private:
    void save(QWidget* widget, const QString& name)
    {
        QCoreApplication::processEvents();
        const QPixmap picture = widget->grab();
        QVERIFY2(!picture.isNull(), qPrintable(name));
        QVERIFY2(picture.save(QStringLiteral("%1/%2.png").arg(folder, name)), qPrintable(name));
    }

    QTemporaryDir home;
    const QString folder = QStringLiteral(DRVP_SCREENSHOT_DIR);
};

QTEST_MAIN(TestProgramScreens)
#include "tst_program_screens.moc"
