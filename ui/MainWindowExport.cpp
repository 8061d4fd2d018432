#include "ui/MainWindow.h"

#include "config/Config.h"
#include "ui/LogExport.h"
#include "ui/LogView.h"
#include "ui/TableClipboard.h"
#include "ui/TableExport.h"
#include "ui_MainWindow.h"

#include <QMenu>
#include <QTextDocument>

namespace {

const QString checkingSheets[] = {QStringLiteral("События и нарушения"), QStringLiteral("Данные"),
                                  QStringLiteral("Команды")};

} // namespace

// The reader list offers "copy all"; the other tables "select all".
void MainWindow::initContextMenus()
{
    for (QTableWidget* table : {ui->CardInfoTbl, ui->ReaderListTbl, ui->CmdCheckTbl, ui->DataCheckTbl,
                                ui->FaultEventTbl, ui->LastAUBTbl}) {
        table->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(table, &QWidget::customContextMenuRequested, this,
                table == ui->ReaderListTbl ? &MainWindow::slotCustomMenuRequestedSpec
                                           : &MainWindow::slotCustomMenuRequested);
    }
}

void MainWindow::slotCustomMenuRequested(QPoint pos)
{
    showContextMenu(qobject_cast<QTableWidget*>(QObject::sender()), pos, QStringLiteral("Выделить все"),
                    &MainWindow::slotSelectAllRecords);
}

void MainWindow::slotCustomMenuRequestedSpec(QPoint pos)
{
    showContextMenu(qobject_cast<QTableWidget*>(QObject::sender()), pos, QStringLiteral("Копировать все"),
                    &MainWindow::slotCopyAllRecords);
}

void MainWindow::showContextMenu(QTableWidget* table, const QPoint& pos, const QString& secondText,
                                 void (MainWindow::*second)())
{
    if (!table || table->selectedItems().isEmpty())
        return;
    contextTable = table;
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Копировать")), &QAction::triggered, this, &MainWindow::slotCopyRecords);
    connect(menu.addAction(secondText), &QAction::triggered, this, second);
    menu.exec(table->viewport()->mapToGlobal(pos));
}

void MainWindow::slotCopyRecords()
{
    copyTextToClipboard(selectedCellsText(*contextTable));
}

void MainWindow::slotCopyAllRecords()
{
    copyTextToClipboard(allCellsText(*contextTable));
}

void MainWindow::slotSelectAllRecords()
{
    contextTable->selectAll();
}

void MainWindow::on_ReadersTable2XLSBtn_clicked()
{
    exportToExcel({ui->ReaderListTbl}, {QStringLiteral("Картридеры")});
}

void MainWindow::on_ReadersTable2CSVBtn_clicked()
{
    exportToCsv({ui->ReaderListTbl}, {QStringLiteral("Картридеры")});
}

void MainWindow::on_CardInfo2XLSBtn_clicked()
{
    exportToExcel({ui->CardInfoTbl}, {QStringLiteral("Сведения о карте")});
}

void MainWindow::on_CardInfo2CSVBtn_clicked()
{
    exportToCsv({ui->CardInfoTbl}, {QStringLiteral("Сведения о карте")});
}

void MainWindow::on_Checking2XLSBtn_clicked()
{
    exportToExcel({ui->FaultEventTbl, ui->DataCheckTbl, ui->CmdCheckTbl},
                  {checkingSheets[0], checkingSheets[1], checkingSheets[2]});
}

void MainWindow::on_CheckingToCSVBtn_clicked()
{
    exportToCsv({ui->FaultEventTbl, ui->DataCheckTbl, ui->CmdCheckTbl},
                {checkingSheets[0], checkingSheets[1], checkingSheets[2]});
}

void MainWindow::on_lastAUB2xls_clicked()
{
    exportToExcel({ui->LastAUBTbl}, {QStringLiteral("Автоматические разблокировки")});
}

void MainWindow::on_lastAUB2csv_clicked()
{
    exportToCsv({ui->LastAUBTbl}, {QStringLiteral("Автоматические разблокировки")});
}

void MainWindow::exportToExcel(const QList<QTableWidget*>& tables, const QStringList& names)
{
    exportTablesToSpreadsheet(tables, names, exportRules());
}

void MainWindow::exportToCsv(const QList<QTableWidget*>& tables, const QStringList& names)
{
    exportTablesToCsv(tables, names, exportRules());
}

// The main window's spreadsheet export stops at the next row when cancelled;
// its failures go to the window's own message box.
TableExportRules MainWindow::exportRules()
{
    TableExportRules rules;
    rules.exportFolder = config ? config->path(QStringLiteral("ExportPath")) : QString();
    rules.cancelStopsSpreadsheet = true;
    rules.openErrorText = QStringLiteral("Ошибка открытия файла.");
    rules.openErrorInformative = QStringLiteral("Возникла ошибка при открытии на запись файла: %1.");
    rules.showError = [this](const QString& text, const QString& informative, const QString& detail) {
        showMessageBox(2, text, informative, detail);
    };
    rules.log = [this](quint8 type, const QString& text) { log(type, text); };
    rules.owner = this;
    return rules;
}

void MainWindow::on_NewLogMessage(const QString& logmsg)
{
    logView->append(logmsg);
}

// Asked on every line: whether the view is empty, never its whole text.
void MainWindow::on_ConsoleTEdt_textChanged()
{
    const bool hasText = !ui->ConsoleTEdt->document()->isEmpty();
    for (QWidget* button : {ui->ClearConsoleBtn, ui->Console2HTMLBtn, ui->Console2TXTBtn})
        button->setEnabled(hasText);
}

void MainWindow::on_ClearConsoleBtn_clicked()
{
    logView->clear();
}

void MainWindow::on_Console2HTMLBtn_clicked()
{
    exportLog(true);
}

void MainWindow::on_Console2TXTBtn_clicked()
{
    exportLog(false);
}

void MainWindow::exportLog(bool html)
{
    const TableExportRules rules = exportRules();
    ::exportLog(*ui->ConsoleTEdt->document(), html, rules.exportFolder, rules.showError);
}
