#include "ui/MainWindow.h"

#include "readers/ReaderManager.h"
#include "ui/MainWindowRules.h"
#include "ui/TableColumns.h"
#include "ui_MainWindow.h"

#include <QColor>
#include <QTableWidgetItem>

namespace {

enum Tab { CommandTab = 0, DataTab, EventTab };

const QColor failedRowColour(255, 127, 127);
const QString diagnosisTime = QStringLiteral("dd.MM.yyyy hh:mm:ss");

// Writes rows of texts into the table, failed rows in the failure colour;
// true when any row failed.
template <typename Row, typename Cells>
bool fillRows(QTableWidget* table, const QVector<Row>& rows, Cells cells, quint8 Row::*flag)
{
    table->clearContents();
    table->setRowCount(rows.size());
    bool anyFailed = false;
    for (int r = 0; r < rows.size(); ++r) {
        const Row& row = rows.at(r);
        const bool failed = row.*flag != 0;
        anyFailed = anyFailed || failed;
        const QStringList texts = cells(row);
        for (int column = 0; column < texts.size(); ++column) {
            auto* item = new QTableWidgetItem(texts.at(column));
            if (failed)
                item->setForeground(failedRowColour);
            table->setItem(r, column, item);
        }
    }
    fitColumnsToContent(table);
    return anyFailed;
}

QString iconPath(const QString& kind, bool failed)
{
    return QStringLiteral(":/imgs/step_%1%2.png").arg(kind).arg(failed ? 3 : 2);
}

} // namespace

void MainWindow::on_CheckingCardBtn_clicked()
{
    const QString reader = selectedReader();
    ReaderState state;
    if (operations.waiting() || !readerState(reader, state))
        return;
    lockOtherReaderRows(true);
    setBusyButtons();
    ui->CheckingToCSVBtn->setEnabled(false);
    ui->Checking2XLSBtn->setEnabled(false);
    ui->CheckingPinEdt->setEnabled(false);
    ui->StartCheckingBtn->setEnabled(false);
    for (QTableWidget* table : {ui->CmdCheckTbl, ui->DataCheckTbl, ui->FaultEventTbl}) {
        table->clearContents();
        table->setRowCount(0);
    }
    setCheckingTabIcon(CommandTab, QStringLiteral(":/imgs/step_card0.png"));
    setCheckingTabIcon(DataTab, QStringLiteral(":/imgs/step_data0.png"));
    setCheckingTabIcon(EventTab, QStringLiteral(":/imgs/step_enf0.png"));
    ui->CheckingPinEdt->clear();
    ui->MainFrame->setCurrentIndex(DiagnosisPage);
    if (MainWindowRules::needsPin(state.cardKind)) {
        checkProgress.reset(QStringLiteral("Ввод ПИН-кода"), 0);
        ui->CheckingPinEdt->setEnabled(true);
        ui->CheckingPinEdt->setFocus();
        ui->StartCheckingBtn->setEnabled(true);
        return;
    }
    checkProgress.reset(QString(), 0);
    operations.requested();
    emit checkCard(reader, &checkProgress);
}

void MainWindow::on_CheckingPinEdt_textChanged(const QString& arg1)
{
    // The edit is cleared as the diagnosis starts: Start stays off then.
    ui->StartCheckingBtn->setEnabled(ui->CheckingPinEdt->isEnabled()
                                     && MainWindowRules::isCheckingPinAcceptable(arg1));
}

void MainWindow::on_StartCheckingBtn_clicked()
{
    const QString reader = selectedReader();
    if (operations.waiting() || reader.isEmpty())
        return;
    const SecretBytes pin = SecretBytes::fromText(ui->CheckingPinEdt->text());
    ui->CheckingPinEdt->setEnabled(false);
    ui->CheckingPinEdt->clear();
    ui->StartCheckingBtn->setEnabled(false);
    operations.requested();
    checkProgress.reset(QString(), 0);
    emit checkCard(reader, &checkProgress, pin);
}

void MainWindow::on_CheckFinished(bool checked)
{
    // An interrupted or abandoned diagnosis shows nothing: its page is gone
    // or another operation took it. One that did not run keeps its failure
    // in view, with no results to show.
    if (operations.finished() != OperationTracker::Finish::Awaited || !checked)
        return;
    checkProgress.nextStep(QStringLiteral("Подготовка результатов"), 2);
    ui->ViewFrame->setCurrentIndex(DiagnosisView);
    ReaderState state;
    if (findReaderRow(selectedReader()) >= 0 && readerState(selectedReader(), state)) {
        fillCommandCheckTable(state);
        fillDataCheckTable(state);
        fillFaultEventTable(state);
    }
    checkProgress.setCurrentState(2, QStringLiteral("Диагностика выполнена"));
    ui->Checking2XLSBtn->setEnabled(true);
    ui->CheckingToCSVBtn->setEnabled(true);
}

void MainWindow::setCheckingTabIcon(int tab, const QString& path)
{
    ui->CheckingTabs->setTabIcon(tab, icons.icon(path));
}

void MainWindow::fillCommandCheckTable(const ReaderState& state)
{
    const bool failed = fillRows(
        ui->CmdCheckTbl, state.cmdCheckRows,
        [](const CmdCheckRow& row) {
            return QStringList{row.step, row.pcscText, row.apduText, row.time, row.message};
        },
        &CmdCheckRow::failed);
    setCheckingTabIcon(CommandTab, iconPath(QStringLiteral("card"), failed));
}

void MainWindow::fillDataCheckTable(const ReaderState& state)
{
    const bool failed = fillRows(
        ui->DataCheckTbl, state.dataCheckRows,
        [](const DataCheckRow& row) { return QStringList{row.control, row.value, row.time, row.message}; },
        &DataCheckRow::failed);
    setCheckingTabIcon(DataTab, iconPath(QStringLiteral("data"), failed));
}

void MainWindow::fillFaultEventTable(const ReaderState& state)
{
    const bool failed = fillRows(
        ui->FaultEventTbl, state.eventFaultRows,
        [](const EventFaultRow& row) {
            return QStringList{row.kind, QString::number(row.type), row.begin.toString(diagnosisTime),
                               row.end.toString(diagnosisTime), row.text};
        },
        &EventFaultRow::flagged);
    setCheckingTabIcon(EventTab, iconPath(QStringLiteral("enf"), failed));
}
