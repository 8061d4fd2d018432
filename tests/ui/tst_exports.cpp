// The exports as a user meets them: the save dialogs and boxes are answered
// by a poller, the spreadsheet file is unzipped and read back.
#include "ui/LogExport.h"
#include "ui/TableClipboard.h"
#include "ui/TableExport.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace {

// Answers the modal windows an export opens: each file dialog gets the next
// name of `fileNames` (an empty one cancels), each message box is recorded
// and answered with `boxAnswer`, the progress dialog is cancelled once its
// value reaches `cancelAt` (0: never).
struct ModalAnswers
{
    QStringList fileNames;
    QMessageBox::StandardButton boxAnswer = QMessageBox::Ok;
    int cancelAt = 0;
    QStringList boxes;

    void run(const std::function<void()> &call)
    {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [this] { answer(QApplication::activeModalWidget()); });
        timer.start(0);
        call();
    }

    void answer(QWidget *modal)
    {
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            const QString name = fileNames.isEmpty() ? QString() : fileNames.takeFirst();
            if (name.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(name);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes << box->text() + "|" + box->informativeText();
            box->done(boxAnswer);
        } else if (auto *progress = qobject_cast<QProgressDialog *>(modal)) {
            if (cancelAt > 0 && progress->value() >= cancelAt)
                progress->cancel();
        }
    }
};

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

    void spreadsheetWrittenAsTextAndOpened()
    {
        ModalAnswers answers;
        answers.run([&] {
            exportTablesToSpreadsheet({events.get(), data.get(), data.get()},
                                      {"События: и [нарушения]", "Данные", "данные"}, rules(folder.path()));
        });
        QCOMPARE(errors, QStringList());
        QCOMPARE(xlsxFiles().size(), 1);
        const QString file = folder.filePath(xlsxFiles().first());
        QCOMPARE(opened, QStringList(file));
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
        ModalAnswers answers;
        answers.cancelAt = 10;
        answers.run([&] { exportTablesToSpreadsheet({big.get()}, {"Много"}, rules(folder.path())); });
        QCOMPARE(xlsxFiles().size(), 1);
        const QByteArray sheet = unzipped(folder.filePath(xlsxFiles().first()), "xl/worksheets/sheet1.xml");
        const int written = sheet.count("<row ");
        QVERIFY2(written > 1 && written < 51, QByteArray::number(written)); // header plus the rows before the cancel
    }

    void spreadsheetUnavailableWritesNothing()
    {
        ModalAnswers answers;
        answers.run([&] { exportTablesToSpreadsheet({data.get()}, {"Данные"}, rules(folder.filePath("нет"))); });
        QCOMPARE(errors, QStringList("Ошибка экспорта|Не удалось выполнить экспорт в MS Excel.|Возможно на "
                                     "компьютере не установлен MS Excel или установленная версия не проддерживается "
                                     "Дравеком Про."));
        QVERIFY(opened.isEmpty());
        QVERIFY(xlsxFiles().isEmpty());
    }

    void spreadsheetExportsNeverOverwrite()
    {
        ModalAnswers answers;
        answers.run([&] {
            exportTablesToSpreadsheet({data.get()}, {"Данные"}, rules(folder.path()));
            exportTablesToSpreadsheet({data.get()}, {"Данные"}, rules(folder.path()));
        });
        QCOMPARE(xlsxFiles().size(), 2);
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[0] != opened[1]);
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
        ModalAnswers answers;
        answers.fileNames = QStringList{folder.filePath(chosen)};
        answers.run([&] { exportTablesToCsv({table.get()}, {"Сведения"}, rules(folder.path())); });
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
        ModalAnswers answers;
        answers.fileNames = QStringList{folder.filePath("a"), folder.filePath("b"), folder.filePath("c")};
        answers.boxAnswer = QMessageBox::No;
        answers.run([&] {
            exportTablesToCsv({events.get(), data.get(), data.get()}, {"1", "2", "3"}, rules(folder.path()));
        });
        QCOMPARE(answers.boxes, QStringList("Файл \"b.csv\" уже существует.|Заменить его?"));
        QCOMPARE(readFile(folder.filePath("b.csv")), QByteArray("keep"));
        QVERIFY(QFile::exists(folder.filePath("a.csv")));
        QVERIFY(!QFile::exists(folder.filePath("c.csv")));
    }

    void csvUnwritableFolderShowsTheBox()
    {
        const QString path = folder.filePath("нет/x.csv");
        ModalAnswers answers;
        answers.fileNames = QStringList{path};
        answers.run([&] { exportTablesToCsv({data.get()}, {"Данные"}, rules(folder.path())); });
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
        ModalAnswers answers;
        answers.fileNames = QStringList{folder.filePath("журнал"), folder.filePath("журнал.HTML")};
        answers.run([&] {
            exportLog(log, false, folder.path(), [this](auto &t, auto &i, auto &d) { errors << t + i + d; });
            exportLog(log, true, folder.path(), [this](auto &t, auto &i, auto &d) { errors << t + i + d; });
        });
        QCOMPARE(errors, QStringList());
        QCOMPARE(readFile(folder.filePath("журнал.txt")), QString("Карта вставлена\r\nстрока <2>\r\n").toUtf8());
        const QByteArray html = readFile(folder.filePath("журнал.HTML"));
        QVERIFY(html.contains("charset=utf-8"));
        QVERIFY(html.contains(QString("Карта вставлена").toUtf8()));
    }
};

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
