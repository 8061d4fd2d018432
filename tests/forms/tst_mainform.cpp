#include "FormHarness.h"
#include "ui_MainWindow.h"

#include <QtTest>

namespace {

struct Form
{
    Form() { ui.setupUi(&window); }

    QMainWindow window;
    Ui_MainWindow ui;
};

QStringList pageNames(const QStackedWidget* stack)
{
    QStringList names;
    for (int i = 0; i < stack->count(); ++i)
        names.append(stack->widget(i)->objectName());
    return names;
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    // Every tool button shows only its picture, and no key belongs to two buttons.
    void buttonsAndShortcuts()
    {
        Form form;
        QHash<QString, QString> owner;
        int tools = 0;
        for (const QAbstractButton* button : form.window.findChildren<QAbstractButton*>()) {
            // Qt's own: the tab bars' scroll buttons, the line edits' clear buttons.
            if (button->objectName().isEmpty() || qobject_cast<const QTabBar*>(button->parentWidget()))
                continue;
            if (auto* tool = qobject_cast<const QToolButton*>(button)) {
                ++tools;
                QVERIFY2(tool->text().isEmpty() && tool->autoRaise(), qPrintable(tool->objectName()));
                QVERIFY2(!tool->icon().availableSizes().isEmpty(), qPrintable(tool->objectName()));
            }
            const QString key = button->shortcut().toString();
            if (key.isEmpty())
                continue;
            QVERIFY2(!owner.contains(key), qPrintable(key + " on " + owner.value(key) + " and " + button->objectName()));
            owner.insert(key, button->objectName());
        }
        QCOMPARE(tools, 28);
        QCOMPARE(owner.size(), 25);
        QCOMPARE(owner.value("F10"), QStringLiteral("CancelBtn"));
    }

    void windowAndInitialPages()
    {
        Form form;
        QCOMPARE(form.window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(form.window.windowTitle(),
                 QStringLiteral("Дравек Про 3.1.1 - Отсутствуют настройки аутентификации пользователя"));
        QVERIFY(!form.window.windowIcon().availableSizes().isEmpty());
        QCOMPARE(pageNames(form.ui.MainFrame), QStringList({"Main", "ReadCards", "CardDiagnostic", "UnblockCard",
                                                            "AutoUnblock", "Upload2Server"}));
        QCOMPARE(form.ui.MainFrame->currentIndex(), 5);
        QCOMPARE(pageNames(form.ui.ViewFrame), QStringList({"CardInfoTab", "CardDiagTab", "ClientStatus"}));
        QCOMPARE(form.ui.ViewFrame->currentIndex(), 1);
        QCOMPARE(form.ui.CheckingTabs->currentIndex(), 0);
        const QStringList titles{"Диагностика выполнения команд", "Контроль данных", "События и Неисправности"};
        const QStringList tabs{"tabCmdCheck", "tabDataCheck", "tabEvents"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(form.ui.CheckingTabs->widget(i)->objectName(), tabs[i]);
            QCOMPARE(form.ui.CheckingTabs->tabText(i), titles[i]);
        }
    }

    void tablesAreReadOnly()
    {
        Form form;
        const QList<QTableWidget*> tables = form.window.findChildren<QTableWidget*>();
        QCOMPARE(tables.size(), 6);
        for (const QTableWidget* table : tables) {
            QCOMPARE(table->rowCount(), 0);
            QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        }
        QCOMPARE(form.ui.ReaderListTbl->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(form.ui.ReaderListTbl->selectionBehavior(), QAbstractItemView::SelectRows);
    }

    // PINs, the PUK and the password show only while typed; file and login stay plain.
    void entries()
    {
        Form form;
        const QList<QLineEdit*> edits = form.window.findChildren<QLineEdit*>();
        QCOMPARE(edits.size(), 9);
        for (const QLineEdit* edit : edits) {
            const bool plain = edit == form.ui.LKFileEdt || edit == form.ui.LKLoginEdt;
            QCOMPARE(edit->echoMode(), plain ? QLineEdit::Normal : QLineEdit::PasswordEchoOnEdit);
            QVERIFY(edit->isClearButtonEnabled());
        }
        QCOMPARE(form.ui.PUKEdt->maxLength(), 8);
        for (const QLineEdit* pin : {form.ui.ReadPINEdt, form.ui.CheckingPinEdt, form.ui.UnblockPinEdt,
                                     form.ui.ANewPINEdt, form.ui.LKReadPINEdt})
            QCOMPARE(pin->maxLength(), 4);
    }

    void onlyTheFormsContext()
    {
        ContextRecorder recorder;
        QCoreApplication::installTranslator(&recorder);
        Form form;
        QCoreApplication::removeTranslator(&recorder);
        QStringList ours; // Qt's widgets look up their own texts under their class names
        for (const QString& context : qAsConst(recorder.contexts))
            if (!context.startsWith(QLatin1Char('Q')))
                ours.append(context);
        QCOMPARE(ours, QStringList{QStringLiteral("MainWindow")});
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
