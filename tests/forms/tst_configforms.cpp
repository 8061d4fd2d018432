#include "FormHarness.h"
#include "ui_aboutwindow.h"
#include "ui_configwindow.h"

#include <QLineEdit>
#include <QtTest>


// A host that only counts what the form connects by name.
class ConfigHost : public QDialog
{
    Q_OBJECT
public:
    int cancelClicks = 0;
    int doubleClicks = 0;
public slots:
    void on_CancelCfgBtn_clicked() { ++cancelClicks; }
    void on_PathCfgTbl_itemDoubleClicked(QTableWidgetItem *) { ++doubleClicks; }
};

class TestConfigForms : public QObject
{
    Q_OBJECT

private slots:
    void configShortcuts_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("buttonsEnabled");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("pressed"); // empty: nothing
        QTest::newRow("Ctrl+O, folders") << 0 << true << QKeySequence("Ctrl+O") << "ChgPathCfgBtn";
        QTest::newRow("Ctrl+O, authentication") << 1 << true << QKeySequence("Ctrl+O") << "ChgAuthCfgBtn";
        QTest::newRow("Ctrl+O, server") << 2 << true << QKeySequence("Ctrl+O") << "";
        QTest::newRow("Ctrl+E, services") << 3 << true << QKeySequence("Ctrl+E") << "EditLKSCfgBtn";
        QTest::newRow("Ctrl+E, folders") << 0 << true << QKeySequence("Ctrl+E") << "";
        QTest::newRow("Ctrl+D") << 1 << true << QKeySequence("Ctrl+D") << "CertInfo2XLSbtn";
        QTest::newRow("Ctrl+Return") << 2 << true << QKeySequence("Ctrl+Return") << "SaveCfgBtn";
        QTest::newRow("Alt+Return") << 0 << true << QKeySequence("Alt+Return") << "ApplyCfgBtn";
        QTest::newRow("Return") << 0 << true << QKeySequence(Qt::Key_Return) << "";
        QTest::newRow("Esc") << 1 << true << QKeySequence(Qt::Key_Escape) << "CancelCfgBtn";
        // As the form leaves the buttons, only Esc acts.
        for (const char *key : {"Ctrl+O", "Ctrl+Backspace", "Ctrl+D", "Alt+D", "Ctrl+Return", "Alt+Return"})
            QTest::addRow("form state, %s", key) << 1 << false << QKeySequence(key) << "";
        QTest::newRow("form state, Ctrl+E") << 3 << false << QKeySequence("Ctrl+E") << "";
        QTest::newRow("form state, Esc") << 3 << false << QKeySequence(Qt::Key_Escape) << "CancelCfgBtn";
    }
    void configShortcuts()
    {
        QFETCH(int, page);
        QFETCH(bool, buttonsEnabled);
        QFETCH(QKeySequence, key);
        QFETCH(QString, pressed);
        ConfigHost dialog;
        Ui_configwindow ui;
        ui.setupUi(&dialog);
        ui.ConfigMainFrame->setCurrentIndex(page);
        const QList<QToolButton *> buttons = dialog.findChildren<QToolButton *>();
        if (buttonsEnabled) {
            for (QToolButton *button : buttons)
                button->setEnabled(true);
        }
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));

        // A key shows as an animated click: the button is down at once.
        QTest::keySequence(&dialog, key);
        QStringList down;
        for (QToolButton *button : buttons) {
            if (button->isDown())
                down << button->objectName();
        }
        QCOMPARE(down.join(','), pressed);
        QVERIFY(dialog.isVisible()); // Esc reaches the close button, not a plain dismissal
        if (pressed == "CancelCfgBtn")
            QTRY_COMPARE(dialog.cancelClicks, 1);
    }

    void configCellsNeverEdited()
    {
        ConfigHost dialog;
        Ui_configwindow ui;
        ui.setupUi(&dialog);
        ui.ConfigMainFrame->setCurrentIndex(0);
        ui.PathCfgTbl->setRowCount(1);
        ui.PathCfgTbl->setItem(0, 2, new QTableWidgetItem("/tmp"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect cell = ui.PathCfgTbl->visualItemRect(ui.PathCfgTbl->item(0, 2));
        QTest::mouseClick(ui.PathCfgTbl->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(ui.PathCfgTbl->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(dialog.doubleClicks, 1);
        QVERIFY(!ui.PathCfgTbl->isPersistentEditorOpen(ui.PathCfgTbl->item(0, 2)));
        QVERIFY(!ui.PathCfgTbl->findChild<QLineEdit *>());
    }

    void onlyOwnTranslationContext_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("configwindow") << "configwindow";
        QTest::newRow("aboutwindow") << "aboutwindow";
    }
    void onlyOwnTranslationContext()
    {
        QFETCH(QString, form);
        QDialog dialog;
        Ui_configwindow config;
        Ui_aboutwindow about;
        if (form == "configwindow")
            config.setupUi(&dialog);
        else
            about.setupUi(&dialog);
        ContextRecorder translator;
        QCoreApplication::installTranslator(&translator);
        if (form == "configwindow")
            config.retranslateUi(&dialog);
        else
            about.retranslateUi(&dialog);
        QCoreApplication::removeTranslator(&translator);
        // Qt asks on its own for the layout direction when a translator comes
        // and for key names when a shortcut text is parsed.
        translator.contexts.remove("QGuiApplication");
        translator.contexts.remove("QShortcut");
        QCOMPARE(translator.contexts.values(), QList<QString>({form}));
    }

    // Texts are rich, so the window can show links; selectable, links
    // reachable but never followed.
    void aboutLabels()
    {
        QDialog dialog;
        Ui_aboutwindow ui;
        ui.setupUi(&dialog);
        QCOMPARE(ui.label_3->text(), QString("Дравек Про"));
        for (QLabel *label : {ui.VersionLbl, ui.WebLbl, ui.EmailLbl, ui.TechSupLbl}) {
            QCOMPARE(label->textFormat(), Qt::RichText);
            QVERIFY(!label->openExternalLinks());
            QCOMPARE(label->textInteractionFlags(), Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard |
                                                        Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        }
    }

};

QTEST_MAIN(TestConfigForms)
#include "tst_configforms.moc"
