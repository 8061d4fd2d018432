#include "FormHarness.h"
#include "ui_MainWindow.h"

#include <QRegExpValidator>
#include <QSet>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

struct Form
{
    Form() { ui.setupUi(&window); }

    template<typename T = QWidget>
    T* find(const QString& name) const
    {
        const QList<T*> all = window.findChildren<T*>(name);
        return all.size() == 1 ? all.first() : nullptr;
    }

    QMainWindow window;
    Ui_MainWindow ui;
};

// Answers no lookup; records the contexts it was asked in.
class ContextRecorder : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char*, const char*, int) const override
    {
        contexts.insert(QString::fromLatin1(context));
        lookups += qstrcmp(context, "MainWindow") == 0;
        return QString();
    }
    mutable QSet<QString> contexts;
    mutable int lookups = 0;
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
    void widgets_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<bool>("enabled");
        const auto row = [](const char* name, const char* cls, const char* key, const char* tip, bool on) {
            QTest::newRow(name) << cls << key << QString::fromUtf8(tip) << on;
        };
        const char* tb = "QToolButton";
        row("UploadBtn", tb, "F1", "[F1] Считать карту и отправить данные в Кварноль или Лотварскую.", true);
        row("ReadCardsBtn", tb, "F2", "[F2] Считать карту тахографа и сформировать ddd-файл", false);
        row("AutoUnblockBtn", tb, "F3", "[F3] Разблокировать карту в автоматическом режиме", false);
        row("CheckingCardBtn", tb, "F4", "[F4] Выполнить диагностику карты тахографа", false);
        row("UnblockCardBtn", tb, "F5", "[F5] Разблокировать карту тахографа в ручном режиме", false);
        row("CancelBtn", tb, "F10", "[F10] Отменить выполняемую операцию", false);
        row("ConfigBtn", tb, "F11", "[F11] Изменить настройки", true);
        row("AboutBtn", tb, "F12", "[F12] О программе", true);
        row("RefreshStatusBtn", tb, "F6", "[F6] Обновить статистику автоматических разблокировок", true);
        row("ViewStatusBtn", tb, "F7", "[F7] Открыть перечень запросов на автоматическую разблокировку", false);
        row("SubmitPINBtn", tb, "", "Использовать ПИН-код", false);
        row("StartCheckingBtn", tb, "Ctrl+Return",
            "Выполнить диагностику по контрольному списку указанного вида и типа карт тахографа", false);
        row("ClearPUKPIN", tb, "Ctrl+Backspace", "[Ctrl+Backspace]  Очистить ПАК-код и новый ПИН-код", false);
        row("UnblockBtn", tb, "", "Разблокировать карту тахографа", false);
        row("AUnblockBtn", tb, "", "", false);
        row("LKSelectFileBtn", tb, "Ctrl+O", "[Ctrl+O] Выбрать ddd-файл", true);
        row("LKSendBtn", tb, "Ctrl+W", "[Ctrl+W] Отправить в данные в сервис Кварноль или Лотварская", false);
        row("ReadersTable2XLSBtn", tb, "Ctrl+R", "[Ctrl+R] Экспортировать список картридеров в MS Excel", false);
        row("ReadersTable2CSVBtn", tb, "Alt+R", "[Alt+R] Экспортировать список картридеров в файл CSV", false);
        row("ClearConsoleBtn", tb, "Ctrl+E", "[Ctrl+E] Очистить журнал событий", false);
        row("Console2HTMLBtn", tb, "Alt+S", "[Alt+S] Экспортировать журнал событий в файл HTML", false);
        row("Console2TXTBtn", tb, "Ctrl+S", "[Ctrl+S] Экспортировать журнал событий в файл TXT", false);
        row("CardInfo2XLSBtn", tb, "Ctrl+T", "[Ctrl+T] Экспортировать сведения о карте тахографа в MS Excel", false);
        row("CardInfo2CSVBtn", tb, "Alt+T", "[Alt+T] Экспортировать сведения о карте тахографа в файл CSV", false);
        row("Checking2XLSBtn", tb, "Ctrl+H", "[Ctrl+H] Экспортировать результаты диагностики в MS Excel", false);
        row("CheckingToCSVBtn", tb, "Alt+H", "[Alt+H] Экспортировать результаты диагностики в файлы CSV", false);
        row("lastAUB2xls", tb, "Ctrl+D", "[Ctrl+D] Экспортировать сведения о последних разблокировках в MS Excel",
            false);
        row("lastAUB2csv", tb, "Alt+D", "[Alt+D] Экспортировать сведения о последних разблокировках в файл CSV",
            false);
        row("KvarnolRBtn", "QRadioButton", "", "Загрузить ddd-файл в сервис Кварноль", true);
        row("LotvarskRBtn", "QRadioButton", "", "Загрузить ddd-файл в сервис Лотварской", true);
        for (const char* edit : {"ReadPINEdt", "CheckingPinEdt", "PUKEdt", "UnblockPinEdt", "ANewPINEdt",
                                 "LKReadPINEdt", "LKFileEdt", "LKLoginEdt", "LKPassWordEdt"})
            row(edit, "QLineEdit", "", "", true);
        for (const char* lcd : {"HourLcd", "MinLcd", "SecLcd"})
            row(lcd, "QLCDNumber", "", "", true);
        row("UnblockCounterLcd", "QLCDNumber", "",
            "Счетчик разблокировок. Демонстрирует оставшееся количество автоматических разблокировок.", true);
        row("AUnblockCounterLcd", "QLCDNumber", "", "Оставшееся количество автоматических разблокировок", true);
        for (const char* slider : {"HourSld", "MinSld", "SecSld"})
            row(slider, "QSlider", "", "", false);
        for (const char* label : {"StatusPrgLbl", "ReadPrgLbl", "CheckingPrgLbl", "UBlckPrgLbl", "AutoUBlckPrgLbl",
                                  "LKReadingProgressLbl", "OperationLbl", "OperationLbl_5", "OperationLbl_6",
                                  "OperationLbl_7", "OperationLbl_8", "OperationLbl_9"})
            row(label, "QLabel", "", "", true);
        for (const char* label : {"ReadPINLbl_9", "ReadPINLbl", "ReadPINLbl_2", "ReadPINLbl_10", "ReadPINLbl_3",
                                  "ReadPINLbl_5", "ReadPINLbl_4", "LKReadPINLbl", "ReadPINLbl_7", "ReadPINLbl_6",
                                  "LKReadPINLbl_2", "LKReadPINLbl_3"})
            row(label, "QLabel", "", label == QLatin1String("ReadPINLbl_9")
                    ? "Демонстрация прогресса обновления счетчика разблокировок или сведений о статусе клиента" : "",
                false);
        row("ConsoleTEdt", "QTextEdit", "", "", true);
        row("CheckingTabs", "QTabWidget", "", "", true);
    }

    void widgets()
    {
        QFETCH(QString, className);
        QFETCH(QString, shortcut);
        QFETCH(QString, toolTip);
        QFETCH(bool, enabled);
        Form form;
        QWidget* widget = form.find(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY2(widget, "exactly one widget of that name");
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
        QCOMPARE(widget->toolTip(), toolTip);
        QCOMPARE(widget->isEnabled(), enabled);
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            QCOMPARE(button->shortcut().toString(), shortcut);
        if (auto* tool = qobject_cast<QToolButton*>(widget)) {
            QVERIFY(tool->text().isEmpty());
            QVERIFY(tool->autoRaise());
            QVERIFY(!tool->icon().availableSizes().isEmpty());
        }
    }

    void shortcutsAreUnique()
    {
        Form form;
        QHash<QString, QString> owner;
        for (const QAbstractButton* button : form.window.findChildren<QAbstractButton*>()) {
            const QString key = button->shortcut().toString();
            if (key.isEmpty())
                continue;
            QVERIFY2(!owner.contains(key), qPrintable(key + " on " + owner.value(key) + " and " + button->objectName()));
            owner.insert(key, button->objectName());
        }
        QCOMPARE(owner.size(), 25);
    }

    void windowAndInitialPages()
    {
        Form form;
        QCOMPARE(form.window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(form.window.windowTitle(),
                 QStringLiteral("Дравек Про 3.1.1 - Отсутствуют настройки аутентификации пользователя"));
        QCOMPARE(form.window.minimumSize(), QSize(960, 650));
        QCOMPARE(form.window.size(), QSize(1169, 771));
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

        QMainWindow named;
        named.setObjectName(QStringLiteral("Host"));
        Ui_MainWindow().setupUi(&named);
        QCOMPARE(named.objectName(), QStringLiteral("Host"));
    }

    void tables_data()
    {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<bool>("rowHeaders");
        QTest::addColumn<int>("selection");
        QTest::addColumn<int>("behaviour");
        QTest::newRow("ReaderListTbl") << QStringList{"Картридер", "Номер карты", "Номер СКЗИ", "Вид", "Тип"} << true
                                       << int(QAbstractItemView::SingleSelection) << int(QAbstractItemView::SelectRows);
        QTest::newRow("CardInfoTbl") << QStringList{"Параметр", "Значение"} << false
                                     << int(QAbstractItemView::ExtendedSelection)
                                     << int(QAbstractItemView::SelectItems);
        QTest::newRow("CmdCheckTbl") << QStringList{"Шаг проверки", "WinSCard Результат", "APDU Результат",
                                                    "Выполнен", "Комментарий"}
                                     << false << int(QAbstractItemView::ExtendedSelection)
                                     << int(QAbstractItemView::SelectRows);
        QTest::newRow("DataCheckTbl") << QStringList{"Шаг проверки", "Данные", "Выполнен", "Комментарий"} << false
                                      << int(QAbstractItemView::ExtendedSelection)
                                      << int(QAbstractItemView::SelectRows);
        QTest::newRow("FaultEventTbl") << QStringList{"Тип", "Код", "Начало", "Окончание", "Описание"} << false
                                       << int(QAbstractItemView::SingleSelection)
                                       << int(QAbstractItemView::SelectRows);
        QTest::newRow("LastAUBTbl") << QStringList{"№ п/п", "Пользователь", "Карта", "Источник", "Отправлен",
                                                   "Статус"}
                                    << false << int(QAbstractItemView::ExtendedSelection)
                                    << int(QAbstractItemView::SelectItems);
    }

    void tables()
    {
        QFETCH(QStringList, captions);
        QFETCH(bool, rowHeaders);
        QFETCH(int, selection);
        QFETCH(int, behaviour);
        Form form;
        auto* table = form.find<QTableWidget>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(table);
        QStringList shown;
        for (int c = 0; c < table->columnCount(); ++c)
            shown.append(table->horizontalHeaderItem(c)->text());
        QCOMPARE(shown, captions);
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(table->verticalHeader()->isVisibleTo(&form.window), rowHeaders);
        QCOMPARE(int(table->selectionMode()), selection);
        QCOMPARE(int(table->selectionBehavior()), behaviour);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(table->horizontalHeader()->stretchLastSection());
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

    void stepLabels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("picture");
        const auto row = [](const char* label, int width, const char* kind) {
            QTest::newRow(label) << QSize(width, 12) << QStringLiteral(":/imgs/step_%1.png").arg(kind);
        };
        row("UpdateCounterLbl0", 19, "connect0"), row("UpdateCounterLbl1", 18, "send0");
        row("UpdateCounterLbl2", 18, "resive0"), row("UpdateCounterLbl3", 18, "preview0");
        row("Reading0", 16, "card0"), row("Reading1", 13, "read0"), row("Reading2", 13, "save0");
        row("Checking0", 16, "card0"), row("Checking1", 13, "data0"), row("Checking2", 13, "enf0");
        row("Checking3", 13, "check0"), row("UBlck0", 16, "card0"), row("UBlck1", 16, "unblock0");
        row("AutoUBlck0", 16, "card0"), row("AutoUBlck1", 19, "connect0"), row("AutoUBlck2", 18, "send0");
        row("AutoUBlck3", 18, "resive0"), row("AutoUBlck4", 14, "unblock0");
        row("LKReading0", 16, "card0"), row("LKReading1", 13, "read0"), row("LKReading2", 13, "save0");
        row("LKReading3", 19, "connect0"), row("LKReading4", 18, "send0");
    }

    void stepLabels()
    {
        QFETCH(QSize, size);
        QFETCH(QString, picture);
        Form form;
        auto* label = form.find<QLabel>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(label);
        QCOMPARE(label->minimumSize(), size);
        QCOMPARE(label->maximumSize(), size);
        QVERIFY(label->hasScaledContents());
        const QImage expected(picture);
        QVERIFY(!expected.isNull());
        QCOMPARE(label->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32),
                 expected.convertToFormat(QImage::Format_ARGB32));
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
        QVERIFY(recorder.lookups > 100);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
