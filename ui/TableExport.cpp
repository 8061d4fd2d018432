#include "ui/TableExport.h"

#include "platform/WholeFileWriter.h"
#include "platform/spreadsheet/AutomationObject.h"
#include "platform/spreadsheet/DesktopOpener.h"
#include "ui/CsvFormat.h"
#include "ui/ExportFiles.h"
#include "ui/TableSnapshot.h"
#include "ui/services/drvpProgressDialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QVector>

#include <memory>

namespace {

const QString unavailableText = QStringLiteral("Ошибка экспорта");
const QString unavailableInformative = QStringLiteral("Не удалось выполнить экспорт в MS Excel.");
const QString unavailableDetail = QStringLiteral(
    "Возможно на компьютере не установлен MS Excel или установленная версия не проддерживается Дравеком Про.");
const QString folderDetail =
    QStringLiteral("Проверьте параметр \"Путь экспорта\" в разделе \"Места хранения\" настроек программы.");
const QString savedLine = QStringLiteral("Файл экспорта успешно сохранен: <a href=\"%1\">%1</a>");
const QString notOpenedText = QStringLiteral("Экспорт выполнен, но открыть файл не удалось.");
const QString notOpenedInformative = QStringLiteral("Файл сохранен: %1");
const QString notOpenedDetail =
    QStringLiteral("Возможно на компьютере не установлено приложение для просмотра файлов XLSX.");

QVector<TableSnapshot> snapshotsOf(const QList<QTableWidget *> &tables)
{
    QVector<TableSnapshot> snapshots;
    for (const QTableWidget *table : tables)
        snapshots << TableSnapshot::of(*table);
    return snapshots;
}

int totalRows(const QVector<TableSnapshot> &tables)
{
    int rows = 0;
    for (const TableSnapshot &table : tables)
        rows += table.rows.size();
    return rows;
}

std::unique_ptr<drvpProgressDialog> showProgress(const QString &label, int maximum)
{
    auto dialog = std::make_unique<drvpProgressDialog>();
    dialog->setLabelText(label);
    dialog->setCancelButtonText(QStringLiteral("Отменить"));
    dialog->setMinimumDuration(0);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setRange(0, maximum);
    dialog->setValue(0);
    dialog->show();
    QCoreApplication::processEvents();
    return dialog;
}

void step(drvpProgressDialog &dialog, int rowsDone)
{
    dialog.setValue(rowsDone + 1);
    QCoreApplication::processEvents();
}

// Writes one table into a new sheet; false when the spreadsheet refused a
// sub-object or the user cancelled (`cancelled` says which).
bool fillSheet(AutomationObject &workbook, const TableSnapshot &table, const QString &name,
               drvpProgressDialog &dialog, int &rowsDone, bool cancelStops, bool &cancelled)
{
    AutomationObject *sheets = workbook.querySubObject("Worksheets");
    AutomationObject *sheet = sheets ? sheets->querySubObject("Add") : nullptr;
    if (!sheet)
        return false;
    sheet->setProperty("Name", name);
    auto setCell = [sheet](int row, int column, const QString &text) {
        AutomationObject *cell = sheet->querySubObject("Cells(int,int)", row, column);
        if (!cell)
            return false;
        cell->setProperty("Value", text);
        return true;
    };
    for (int c = 0; c < table.headers.size(); ++c) {
        if (!setCell(1, c + 1, table.headers.at(c)))
            return false;
    }
    for (int r = 0; r < table.rows.size(); ++r) {
        step(dialog, rowsDone++);
        if (cancelStops && dialog.wasCanceled()) {
            cancelled = true;
            return false;
        }
        const QVector<std::optional<QString>> &cells = table.rows.at(r);
        for (int c = 0; c < cells.size(); ++c) {
            if (cells.at(c) && !setCell(r + 2, c + 1, *cells.at(c)))
                return false;
        }
    }
    return true;
}

// Logs each new file and hands it to the desktop; a file no application
// opens is still there, and the user is told where.
void showFiles(const QStringList &paths, const TableExportRules &rules)
{
    for (const QString &path : paths) {
        rules.log(0, savedLine.arg(path));
        auto *opener = new DesktopOpener(path, rules.owner);
        QObject::connect(opener, &DesktopOpener::failed, rules.owner, [showError = rules.showError](const QString &file) {
            showError(notOpenedText, notOpenedInformative.arg(file), notOpenedDetail);
        });
        opener->start();
    }
}

bool writeCsvFile(const TableSnapshot &table, drvpProgressDialog &dialog,
                  int &rowsDone, WholeFileWriter &file)
{
    if (!file.open() || !file.write(csvHeaderLine(table).toUtf8()))
        return false;
    for (int r = 0; r < table.rows.size(); ++r) {
        step(dialog, rowsDone++);
        if (!file.write(csvRowLine(table, r).toUtf8()))
            return false;
    }
    return file.commit();
}

} // namespace

void exportTablesToSpreadsheet(const QList<QTableWidget *> &shown, const QStringList &names,
                               const TableExportRules &rules)
{
    const QVector<TableSnapshot> tables = snapshotsOf(shown);
    auto dialog = showProgress(QStringLiteral("Экспорт в MS Excel"), totalRows(tables));
    const QString folderProblem = exportFolderProblem(rules.exportFolder);
    if (!folderProblem.isEmpty()) {
        rules.showError(unavailableText, folderProblem, folderDetail);
        return;
    }
    AutomationObject excel(QStringLiteral("Excel.Application"), rules.exportFolder);
    excel.dynamicCall("SetVisible(bool)", false);
    excel.setProperty("DisplayAlerts", 1);
    AutomationObject *workbooks = excel.querySubObject("Workbooks");
    if (!workbooks) {
        rules.showError(unavailableText, unavailableInformative, unavailableDetail);
        return;
    }
    AutomationObject *workbook = workbooks->querySubObject("Add");
    int rowsDone = 0;
    bool cancelled = false;
    for (int i = 0; workbook && i < tables.size() && !cancelled; ++i) {
        if (!fillSheet(*workbook, tables.at(i), names.value(i), *dialog, rowsDone, rules.cancelStopsSpreadsheet,
                       cancelled)
            && !cancelled) {
            rules.showError(unavailableText, unavailableInformative,
                            QStringLiteral("Приложение электронных таблиц отказало в листе \"%1\".")
                                .arg(names.value(i)));
            return;
        }
    }
    if (!workbook) {
        rules.showError(unavailableText, unavailableInformative, unavailableDetail);
        return;
    }
    // A cancelled export still shows the rows written so far.
    const bool written = excel.dynamicCall("SetVisible(bool)", true).toBool();
    showFiles(excel.writtenFiles(), rules);
    if (!written)
        rules.showError(unavailableText, unavailableInformative, excel.lastError());
}

void exportTablesToCsv(const QList<QTableWidget *> &shown, const QStringList &names,
                       const TableExportRules &rules)
{
    const QVector<TableSnapshot> tables = snapshotsOf(shown);
    auto dialog = showProgress(QStringLiteral("Экспорт в CSV"), totalRows(tables));
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("dd-MM-yyyy-hhmm"));
    int rowsDone = 0;
    for (int i = 0; i < tables.size(); ++i) {
        const QString chosen = askSaveFileName(QStringLiteral("Сохранение сведений в CSV"), rules.exportFolder,
                                               QStringLiteral("%1_%2.csv").arg(names.value(i), stamp),
                                               QStringLiteral("Все CSV файлы (*.csv *.CSV)"));
        if (chosen.isEmpty())
            return;
        const QString path = csvFileName(chosen);
        if (!mayWriteFile(path))
            return;
        WholeFileWriter file(path);
        if (!writeCsvFile(tables.at(i), *dialog, rowsDone, file)) {
            rules.showError(rules.openErrorText, rules.openErrorInformative.arg(path),
                            fileErrorDetail(file));
            return;
        }
    }
}
