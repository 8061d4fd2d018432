// The exports as a user meets them: the save dialogs and boxes are answered
// by the shared answerer, the spreadsheet file is unzipped and read back.
#include "tests/support/ModalBoxes.h"
#include "ui/LogExport.h"
#include "ui/TableClipboard.h"
#include "ui/TableExport.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QMimeData>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>

namespace {

QTableWidget *makeTable(const QStringList &headers, const QList<QStringList> &rows)
{
    auto *table = new QTableWidget(rows.size(), headers.size());
    table->setHorizontalHeaderLabels(headers);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            if (!rows[r][c].isNull())
                table->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    return table;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray unzipped(const QString &xlsx, const QString &member)
{
    QProcess unzip;
    unzip.start("unzip", {"-p", xlsx, member});
    unzip.waitForFinished();
    return unzip.readAllStandardOutput();
}

} // namespace

class TestExports : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    QStringList opened;
    QStringList errors;
    std::unique_ptr<QTableWidget> events, data;

    TableExportRules rules(const QString &exportFolder)
    {
        TableExportRules r;
        r.exportFolder = exportFolder;
        r.openErrorText = "Ошибка открытия файла.";
        r.openErrorInformative = "Возникла ошибка при открытии на запись файла: %1.";
        r.showError = [this](const QString &text, const QString &inf, const QString &detail) {
            errors << text + "|" + inf + "|" + detail;
        };
        return r;
    }

    QStringList xlsxFiles() const
    {
        return QDir(folder.path()).entryList({"*.xlsx"}, QDir::Files, QDir::Name);
    }

public slots:
    void open(const QUrl &url) { opened << url.toLocalFile(); }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler("file", this, "open");
        events.reset(makeTable({"Тип", "Код"}, {{"Превышение скорости", "0012"}, {"=1+2", "-5"}, {"@x", QString()}}));
        data.reset(makeTable({"Проверка"}, {{"Сертификат"}}));
    }
    void init()
    {
        for (const QString &name : QDir(folder.path()).entryList(QDir::Files))
            QFile::remove(folder.filePath(name));
        opened.clear();
        errors.clear();
    }

    // Run twice: the second file does not replace the first.
    void spreadsheetWrittenAsTextAndOpened()
    {
        for (int run = 0; run < 2; ++run) {
            dialogsShownBy([&] {
                exportTablesToSpreadsheet({events.get(), data.get(), data.get()},
                                          {"События: и [нарушения]", "Данные", "данные"}, rules(folder.path()));
            });
        }
        QCOMPARE(errors, QStringList());
        QCOMPARE(xlsxFiles().size(), 2);
        const QString file = folder.filePath(xlsxFiles().first());
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened.contains(file) && opened[0] != opened[1]);
        const QByteArray book = unzipped(file, "xl/workbook.xml");
        const int first = book.indexOf("name=\"События_ и _нарушения_\"");
        const int second = book.indexOf("name=\"Данные\"");
        const int third = book.indexOf("name=\"данные (2)\"");
        QVERIFY2(first >= 0 && first < second && second < third, book.constData());
        const QByteArray strings = unzipped(file, "xl/sharedStrings.xml");
        for (const char *text : {"Тип", "Превышение скорости", "0012", "=1+2", "-5"})
            QVERIFY2(strings.contains(text), text);
        const QByteArray sheet = unzipped(file, "xl/worksheets/sheet1.xml");
        QVERIFY(!sheet.contains("<f>"));          // no formula
        QVERIFY(!sheet.contains("r=\"B4\""));     // a missing cell stays empty
        QCOMPARE(sheet.count("t=\"s\""), 7);      // every value is a text cell
    }

    void spreadsheetCancelKeepsRowsWritten()
    {
        QList<QStringList> rows;
        for (int i = 0; i < 50; ++i)
            rows << QStringList("x");
        std::unique_ptr<QTableWidget> big(makeTable({"N"}, rows));
        dialogsShownBy([&] { exportTablesToSpreadsheet({big.get()}, {"Много"}, rules(folder.path())); }, {}, 10);
        QCOMPARE(xlsxFiles().size(), 1);
        const QByteArray sheet = unzipped(folder.filePath(xlsxFiles().first()), "xl/worksheets/sheet1.xml");
        const int written = sheet.count("<row ");
        QVERIFY2(written > 1 && written < 51, QByteArray::number(written)); // header plus the rows before the cancel
    }

    void spreadsheetUnavailableWritesNothing()
    {
        exportTablesToSpreadsheet({data.get()}, {"Данные"}, rules(folder.filePath("нет")));
        QCOMPARE(errors, QStringList("Ошибка экспорта|Не удалось выполнить экспорт в MS Excel.|Возможно на "
                                     "компьютере не установлен MS Excel или установленная версия не проддерживается "
                                     "Дравеком Про."));
        QVERIFY(opened.isEmpty());
        QVERIFY(xlsxFiles().isEmpty());
    }

    void csvFiles_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("mixed-case extension kept") << "x.CsV" << "x.CsV";
        QTest::newRow("no extension") << "x" << "x.csv";
        QTest::newRow("other extension") << "x.txt" << "x.txt.csv";
    }
    void csvFiles()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        std::unique_ptr<QTableWidget> table(
            makeTable({"Параметр", "Значение"}, {{"Имя \"в кавычках\"", "Иванов"}, {"=HYPERLINK(1)", "-99"},
                                                 {QString(), "+7"}, {"@a", QString()}}));
        dialogsShownBy([&] { exportTablesToCsv({table.get()}, {"Сведения"}, rules(folder.path())); },
                       {chooseFile(folder.filePath(chosen))});
        QCOMPARE(errors, QStringList());
        QCOMPARE(QString::fromUtf8(readFile(folder.filePath(written))),
                 QString("Параметр,Значение\r\n"
                         "\"Имя \"\"в кавычках\"\"\",\"Иванов\"\r\n"
                         "\"'=HYPERLINK(1)\",\"-99\"\r\n"
                         "\"+7\"\r\n"
                         "\"'@a\",\r\n"));
    }

    void csvJobStopsAtCancelAndAsksBeforeReplacing()
    {
        QFile existing(folder.filePath("b.csv"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("keep");
        existing.close();
        const QStringList shown = dialogsShownBy(
            [&] { exportTablesToCsv({events.get(), data.get(), data.get()}, {"1", "2", "3"}, rules(folder.path())); },
            {chooseFile(folder.filePath("a")), chooseFile(folder.filePath("b")), pressButton(QMessageBox::No),
             chooseFile(folder.filePath("c"))});
        QVERIFY2(shown.contains("Файл \"b.csv\" уже существует.|Заменить его?"), qPrintable(shown.join('\n')));
        QCOMPARE(readFile(folder.filePath("b.csv")), QByteArray("keep"));
        QVERIFY(QFile::exists(folder.filePath("a.csv")));
        QVERIFY(!QFile::exists(folder.filePath("c.csv")));
    }

    void csvUnwritableFolderShowsTheBox()
    {
        const QString path = folder.filePath("нет/x.csv");
        dialogsShownBy([&] { exportTablesToCsv({data.get()}, {"Данные"}, rules(folder.path())); }, {chooseFile(path)});
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith("Ошибка открытия файла.|Возникла ошибка при открытии на запись файла: " + path
                                      + ".|"),
                 qPrintable(errors[0]));
        QVERIFY(!QFile::exists(path));
    }

    void clipboardText()
    {
        std::unique_ptr<QTableWidget> table(makeTable({"A", "B", "C"}, {{"1", "2", "3"}, {"4", "5", "6"}}));
        table->setSelectionMode(QAbstractItemView::ExtendedSelection);
        table->setRangeSelected(QTableWidgetSelectionRange(0, 1, 1, 2), true);
        QCOMPARE(selectedCellsText(*table), QString("2\t3\r\n5\t6\r\n"));
        table->clearSelection();
        table->setRangeSelected(QTableWidgetSelectionRange(1, 0, 1, 0), true);
        QCOMPARE(selectedCellsText(*table), QString("4\t\r\n"));
        QCOMPARE(allCellsText(*table), QString("1\t2\t3\r\n4\t5\t6\r\n"));
        copyTextToClipboard("Иванов\t1\r\n");
        QCOMPARE(QApplication::clipboard()->mimeData()->data("text/plain"), QString("Иванов\t1\r\n").toUtf8());
    }

    void logExports()
    {
        QTextEdit view; // the log view gets one block per line
        view.append("<span style=\"color:#92BD6C;\">Карта вставлена</span>");
        view.append("<span style=\"color:#FF7F7F;\">строка &lt;2&gt;</span>");
        const QTextDocument &log = *view.document();
        const auto record = [this](auto &t, auto &i, auto &d) { errors << t + i + d; };
        dialogsShownBy([&] { exportLog(log, false, folder.path(), record); }, {chooseFile(folder.filePath("журнал"))});
        dialogsShownBy([&] { exportLog(log, true, folder.path(), record); },
                       {chooseFile(folder.filePath("журнал.HTML"))});
        QCOMPARE(errors, QStringList());
        QCOMPARE(readFile(folder.filePath("журнал.txt")), QString("Карта вставлена\r\nстрока <2>\r\n").toUtf8());
        const QByteArray html = readFile(folder.filePath("журнал.HTML"));
        QVERIFY(html.contains("charset=utf-8"));
        QVERIFY(html.contains(QString("Карта вставлена").toUtf8()));
    }
};

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
