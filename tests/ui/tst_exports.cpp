// The exports as a user meets them: the save dialogs and boxes are answered
// by the shared answerer, the spreadsheet file is unzipped and read back, and
// a stand-in xdg-open on the PATH records what the desktop was asked to open.
#include "platform/spreadsheet/DesktopOpener.h"
#include "readers/DddFileWriter.h"
#include "tests/support/ModalBoxes.h"
#include "ui/LogExport.h"
#include "ui/TableClipboard.h"
#include "ui/TableExport.h"
#include "ui/services/drvpFileDialog.h"

#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

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
    // The stand-in xdg-open appends its argument to "opened" and exits with
    // the code in "exit".
    QTemporaryDir opener;
    const QByteArray path = qgetenv("PATH");
    QStringList errors;
    QStringList logged;
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
        r.log = [this](quint8 type, const QString &text) { logged << QString::number(type) + "|" + text; };
        r.owner = this;
        return r;
    }

    QStringList opened() const
    {
        QStringList files = QString::fromUtf8(readFile(opener.filePath("opened"))).split('\n', Qt::SkipEmptyParts);
        files.sort();
        return files;
    }
    void setOpenerExit(int code)
    {
        QFile exit(opener.filePath("exit"));
        QVERIFY(exit.open(QIODevice::WriteOnly) && exit.write(QByteArray::number(code)) > 0);
    }
    static QString savedLine(const QString &file)
    {
        return QString("0|Файл экспорта успешно сохранен: <a href=\"%1\">%1</a>").arg(file);
    }

    QStringList xlsxFiles() const
    {
        return QDir(folder.path()).entryList({"*.xlsx"}, QDir::Files, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        QFile script(opener.filePath("xdg-open"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nd=$(dirname \"$0\")\necho \"$1\" >> \"$d/opened\"\nexit $(cat \"$d/exit\")\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        qputenv("PATH", QFile::encodeName(opener.path()) + ':' + path);
        events.reset(makeTable({"Тип", "Код"}, {{"Превышение скорости", "0012"}, {"=1+2", "-5"}, {"@x", QString()}}));
        data.reset(makeTable({"Проверка"}, {{"Сертификат"}}));
        // The program's own file dialog, so that the style sheet reaches it.
        QVERIFY(drvpFileDialog().testOption(QFileDialog::DontUseNativeDialog));
    }
    void init()
    {
        for (const QString &name : QDir(folder.path()).entryList(QDir::Files))
            QFile::remove(folder.filePath(name));
        QFile::remove(opener.filePath("opened"));
        setOpenerExit(0);
        errors.clear();
        logged.clear();
    }
    // Every file handed to the desktop has had its answer.
    void cleanup() { QTRY_VERIFY(findChildren<DesktopOpener *>().isEmpty()); }

    // Run twice: the second file does not replace the first.
    void spreadsheetWrittenAsTextAndOpened()
    {
        for (int run = 0; run < 2; ++run) {
            dialogsShownBy([&] {
                exportTablesToSpreadsheet({events.get(), data.get(), data.get()},
                                          {"События: и [нарушения] карты водителя", "Данные", "данные"},
                                          rules(folder.path()));
            });
        }
        QCOMPARE(xlsxFiles().size(), 2);
        const QString file = folder.filePath(xlsxFiles().first());
        const QString other = folder.filePath(xlsxFiles().last());
        QTRY_COMPARE(opened(), QStringList({file, other}));
        logged.sort();
        QCOMPARE(logged, QStringList({savedLine(file), savedLine(other)}));
        QCOMPARE(errors, QStringList());
        const QByteArray book = unzipped(file, "xl/workbook.xml");
        const int first = book.indexOf("name=\"События_ и _нарушения_ карты во\""); // 31 characters
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
        std::unique_ptr<QTableWidget> big(makeTable({"N"}, QVector<QStringList>(50, {"x"}).toList()));
        dialogsShownBy([&] { exportTablesToSpreadsheet({big.get()}, {"Много"}, rules(folder.path())); }, {}, 10);
        QCOMPARE(xlsxFiles().size(), 1);
        const QByteArray sheet = unzipped(folder.filePath(xlsxFiles().first()), "xl/worksheets/sheet1.xml");
        const int written = sheet.count("<row ");
        QVERIFY2(written > 1 && written < 51, QByteArray::number(written)); // header plus the rows before the cancel
    }

    // Letters of any script stay in the file name; what no file name (on
    // Windows either) may hold is replaced.
    void spreadsheetFileName()
    {
        exportTablesToSpreadsheet({data.get()}, {"Ж/\\:*?\"<>|\t\x01\x7f [№1], ü."}, rules(folder.path()));
        QCOMPARE(xlsxFiles().size(), 1);
        const QRegularExpression name("\\AЖ____________ \\[№1\\], ü\\._\\d\\d-\\d\\d-\\d{4}-\\d{6}\\.xlsx\\z");
        QVERIFY2(name.match(xlsxFiles().first()).hasMatch(), qPrintable(xlsxFiles().first()));
    }

    // The file stays and is logged; the user learns where it is.
    void spreadsheetSavedButNotOpened_data()
    {
        QTest::addColumn<bool>("openerThere");
        QTest::newRow("opener fails") << true;
        QTest::newRow("no opener") << false;
    }
    void spreadsheetSavedButNotOpened()
    {
        QFETCH(bool, openerThere);
        setOpenerExit(3); // as xdg-open when no application takes the file
        if (!openerThere)
            qputenv("PATH", QFile::encodeName(folder.path()));
        exportTablesToSpreadsheet({data.get()}, {"Данные"}, rules(folder.path()));
        qputenv("PATH", QFile::encodeName(opener.path()) + ':' + path);
        QCOMPARE(xlsxFiles().size(), 1);
        const QString file = folder.filePath(xlsxFiles().first());
        QCOMPARE(logged, QStringList(savedLine(file)));
        QTRY_COMPARE(errors, QStringList("Экспорт выполнен, но открыть файл не удалось.|Файл сохранен: " + file
                                         + "|Возможно на компьютере не установлено приложение для просмотра файлов "
                                           "XLSX."));
        QCOMPARE(opened().size(), openerThere ? 1 : 0);
    }

    // A folder that is not there, or a file in its place, is named; the
    // missing spreadsheet application is not blamed.
    void spreadsheetFolderMissing()
    {
        QFile plain(folder.filePath("файл"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        for (const QString &exportFolder : {folder.filePath("нет"), plain.fileName()}) {
            errors.clear();
            exportTablesToSpreadsheet({data.get()}, {"Данные"}, rules(exportFolder));
            QCOMPARE(errors, QStringList("Ошибка экспорта|Папка экспорта \"" + exportFolder + "\" не найдена.|Проверьте "
                                         "параметр \"Путь экспорта\" в разделе \"Места хранения\" настроек программы."));
        }
        QVERIFY(xlsxFiles().isEmpty() && logged.isEmpty());
    }

    // The name chosen and the file written: a mixed-case extension is kept.
    void csvFiles()
    {
        std::unique_ptr<QTableWidget> table(
            makeTable({"Параметр", "Значение"}, {{"Имя \"в кавычках\"", "Иванов"}, {"=HYPERLINK(1)", "-99"},
                                                 {QString(), "+7"}, {"@a", QString()}}));
        const QList<QPair<QString, QString>> names{{"x.CsV", "x.CsV"}, {"x", "x.csv"}, {"x.txt", "x.txt.csv"}};
        for (const auto &name : names) {
            dialogsShownBy([&] { exportTablesToCsv({table.get()}, {"Сведения"}, rules(folder.path())); },
                           {chooseFile(folder.filePath(name.first))});
            QCOMPARE(QString::fromUtf8(readFile(folder.filePath(name.second))),
                     QString("Параметр,Значение\r\n"
                             "\"Имя \"\"в кавычках\"\"\",\"Иванов\"\r\n"
                             "\"'=HYPERLINK(1)\",\"-99\"\r\n"
                             "\"+7\"\r\n"
                             "\"'@a\",\r\n"));
        }
        QCOMPARE(errors, QStringList());
    }

    // The tables as they were when the export was asked for, though they
    // change while the save dialog is open.
    void csvWritesWhatWasShown()
    {
        std::unique_ptr<QTableWidget> table(makeTable({"Параметр", "Значение"}, {{"Номер карты", "RUD1"}}));
        const ModalAnswer changeThenSave = [&](QDialog *dialog) {
            table->item(0, 1)->setText("RUW2");
            table->setHorizontalHeaderLabels({"Другой", "Заголовок"});
            table->insertRow(1);
            chooseFile(folder.filePath("shown.csv"))(dialog);
        };
        dialogsShownBy([&] { exportTablesToCsv({table.get()}, {"Сведения"}, rules(folder.path())); },
                       {changeThenSave});
        QCOMPARE(readFile(folder.filePath("shown.csv")),
                 QString("Параметр,Значение\r\n\"Номер карты\",\"RUD1\"\r\n").toUtf8());
    }

    // An existing file is asked about once, in the program's own words,
    // whether its exact name was chosen or the extension was added.
    void csvJobStopsAtCancelAndAsksBeforeReplacing()
    {
        for (const char *name : {"b.csv", "c.csv"}) {
            QFile existing(folder.filePath(name));
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write("keep");
        }
        const QStringList shown = dialogsShownBy(
            [&] { exportTablesToCsv({events.get(), data.get(), data.get()}, {"1", "2", "3"}, rules(folder.path())); },
            {chooseFile(folder.filePath("b.csv")), pressButton(QMessageBox::Yes), chooseFile(folder.filePath("c")),
             pressButton(QMessageBox::No), chooseFile(folder.filePath("d"))});
        const QString files = "files:Все CSV файлы (*.csv *.CSV)";
        QCOMPARE(shown, QStringList({files, "Файл \"b.csv\" уже существует.|Заменить его?", files,
                                     "Файл \"c.csv\" уже существует.|Заменить его?"}));
        QVERIFY(readFile(folder.filePath("b.csv")).startsWith("Тип,Код\r\n"));
        QCOMPARE(readFile(folder.filePath("c.csv")), QByteArray("keep"));
        QVERIFY(!QFile::exists(folder.filePath("d.csv")));
    }

    // A link to a pipe, or a pipe itself, chosen as the file: refused with a
    // box, and the pipe stays a pipe.
    void noFileWrittenInPlaceOfAPipe()
    {
        const QString pipe = folder.filePath("pipe");
        QVERIFY(mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        QVERIFY(QFile::link(pipe, folder.filePath("link.csv")));
        const auto refused = [](const QString &name) {
            return QStringList{"Файл \"" + name + "\" не может быть записан.|На его месте находится папка, канал или "
                               "устройство. Выберите другое имя файла."};
        };
        QCOMPARE(dialogsShownBy([&] { exportTablesToCsv({data.get()}, {"Данные"}, rules(folder.path())); },
                                {chooseFile(folder.filePath("link.csv")), pressButton(QMessageBox::Ok)})
                     .mid(1),
                 refused("link.csv"));
        QTextEdit view;
        view.append("строка");
        const auto record = [this](auto &t, auto &i, auto &d) { errors << t + i + d; };
        QVERIFY(QFile::link(pipe, folder.filePath("log.txt")));
        QCOMPARE(dialogsShownBy([&] { exportLog(*view.document(), false, folder.path(), record); },
                                {chooseFile(folder.filePath("log.txt")), pressButton(QMessageBox::Ok)})
                     .mid(1),
                 refused("log.txt"));
        struct stat status = {};
        QVERIFY(::stat(QFile::encodeName(pipe).constData(), &status) == 0 && S_ISFIFO(status.st_mode));
        QCOMPARE(errors, QStringList());
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

        // A full disk: the data fail only when they are flushed, at the commit.
        errors.clear();
        rlimit unlimited{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        const rlimit tiny{8, unlimited.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &tiny);
        dialogsShownBy([&] { exportTablesToCsv({data.get()}, {"Данные"}, rules(folder.path())); },
                       {chooseFile(folder.filePath("z.csv"))});
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].endsWith(": Файл слишком велик"), qPrintable(errors[0]));
        QVERIFY(!QFile::exists(folder.filePath("z.csv")));
    }

    // A disk that fills up part way through the file: the user is told that
    // space ran out, and neither the file nor a temporary copy of it is left.
    void fullDiskIsNamed_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("shownBefore"); // %1: the disk; a short write is error 2, never 0
        const QString box = "Ошибка открытия файла.|Возникла ошибка при открытии на запись файла: %1/x.";
        QTest::newRow("csv") << "csv" << box + "csv.|2: ";
        QTest::newRow("log html") << "html" << box + "html.|2: ";
        QTest::newRow("log text") << "txt" << box + "txt.|2: ";
        QTest::newRow("spreadsheet") << "xlsx"
                                     << "Ошибка экспорта|Не удалось выполнить экспорт в MS Excel.|Не удалось "
                                        "записать файл %1/Данные_";
        QTest::newRow("ddd file") << "ddd" << "%1/NoName.ddd|(2) ";
    }
    void fullDiskIsNamed()
    {
        QFETCH(QString, road);
        QFETCH(QString, shownBefore);
        // Two pages of tmpfs, mounted only in the test's own mount namespace.
        const QString disk = folder.filePath("disk");
        QVERIFY(qEnvironmentVariableIsSet("DRVP_IN_SANDBOX") && QDir().mkpath(disk));
        QCOMPARE(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=8k", "tmpfs", disk}), 0);
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {disk}); });
        QList<QStringList> rows; // 33 KB of distinct texts, too many even when packed
        for (int r = 0; r < 1000; ++r)
            rows << QStringList(QCryptographicHash::hash(QByteArray::number(r), QCryptographicHash::Md5).toHex());
        std::unique_ptr<QTableWidget> table(makeTable({"Хеш"}, rows));
        QTextDocument log(allCellsText(*table));
        if (road == "csv") {
            dialogsShownBy([&] { exportTablesToCsv({table.get()}, {"Данные"}, rules(disk)); },
                           {chooseFile(disk + "/x.csv")});
        } else if (road == "xlsx") {
            exportTablesToSpreadsheet({table.get()}, {"Данные"}, rules(disk));
        } else if (road == "ddd") {
            DddFileWriter writer(disk);
            QVERIFY(writer.claim("NoName.ddd") && !writer.write(allCellsText(*table).toUtf8()));
            errors << QString("%1|(%2) %3").arg(writer.path()).arg(writer.errorCode()).arg(writer.errorText());
        } else {
            dialogsShownBy([&] { exportLog(log, road == "html", disk, rules(disk).showError); },
                           {chooseFile(disk + "/x")});
        }
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith(shownBefore.arg(disk))
                     && errors[0].endsWith("На устройстве не осталось свободного места"),
                 qPrintable(errors[0]));
        QCOMPARE(QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
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
        // A line that comes while the dialog is open is not part of the export.
        const ModalAnswer lineThenSave = [&](QDialog *dialog) {
            view.append("поздняя строка");
            chooseFile(folder.filePath("журнал"))(dialog);
        };
        dialogsShownBy([&] { exportLog(log, false, folder.path(), record); }, {lineThenSave});
        dialogsShownBy([&] { exportLog(log, true, folder.path(), record); },
                       {chooseFile(folder.filePath("журнал.HTML"))});
        QCOMPARE(errors, QStringList());
        QCOMPARE(readFile(folder.filePath("журнал.txt")), QString("Карта вставлена\r\nстрока <2>\r\n").toUtf8());
        const QByteArray html = readFile(folder.filePath("журнал.HTML"));
        QVERIFY(html.contains("charset=utf-8"));
        QVERIFY(html.contains(QString("Карта вставлена").toUtf8()));
        QVERIFY(html.contains(QString("поздняя строка").toUtf8()));
    }
};

QTEST_MAIN(TestExports)
#include "tst_exports.moc"
