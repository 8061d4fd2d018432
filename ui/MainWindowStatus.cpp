#include "ui/MainWindow.h"

#include "net/KvobProtocol.h"
#include "ui/MainWindowRules.h"
#include "ui/TableColumns.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTableWidgetItem>

namespace {

constexpr quint8 statusCommandCode = 1;
// The requests table takes a status in slices of this length.
constexpr qint64 sliceMs = 20;
// Rows removed between two looks at the clock.
constexpr int rowsRemovedAtOnce = 5000;

} // namespace

void MainWindow::updateClientStatus()
{
    on_RefreshStatusBtn_clicked();
}

void MainWindow::on_RefreshStatusBtn_clicked()
{
    ui->RefreshStatusBtn->setEnabled(false);
    log(0, QStringLiteral("Обновление статуса клиента."));
    statusProgress.reset(QString(), 0);
    statusProgress.setStep(0, QString(), 1);
    if (!loadPrivateKey(&statusProgress)) {
        ui->RefreshStatusBtn->setEnabled(true);
        return;
    }
    emit makeCommand(&statusProgress, QStringLiteral("getStatus"));
    showStatusView();
}

void MainWindow::on_commandResult(const QString& cmd, bool ok, const QStringList& result)
{
    const auto code = KvobProtocol::kvobRequestCodes().constFind(cmd);
    if (code == KvobProtocol::kvobRequestCodes().constEnd() || code.value() != statusCommandCode)
        return;
    if (!ok) {
        ui->RefreshStatusBtn->setEnabled(true);
        return;
    }
    const int counter = MainWindowRules::statusCounter(result.value(0));
    // Taken now: the list may change while the table fills.
    const QString statusText = result.value(1);
    statusProgress.nextStep(QStringLiteral("Демонстрация статуса"), 2);
    ui->UnblockCounterLcd->display(counter);
    ui->AUnblockCounterLcd->display(counter);
    showStatusView();
    fillRequestsTable(statusText);
    // "C" is Latin in this text.
    statusProgress.setCurrentState(2, QStringLiteral("Cтатус обновлен"));
    ui->RefreshStatusBtn->setEnabled(true);
}

void MainWindow::fillRequestsTable(const QString& statusText)
{
    const int fill = ++requestsFill;
    QElapsedTimer slice;
    slice.start();
    if (!emptyRequestsTable(fill, slice) || statusText.isEmpty())
        return;
    QTableWidget* table = ui->LastAUBTbl;
    const QVector<QStringRef> lines = MainWindowRules::statusLines(statusText);
    const int count = lines.size();
    table->setRowCount(count);
    for (int r = 0; r < count; ++r) {
        const QStringList cells = MainWindowRules::statusRow(lines.at(r), count - r);
        for (int column = 0; column < cells.size(); ++column)
            table->setItem(r, column, new QTableWidgetItem(cells.at(column)));
        if (r + 1 < count && slice.elapsed() < sliceMs)
            continue;
        statusProgress.setMessage(QStringLiteral("Обновление статуса %1 / %2").arg(r + 1).arg(count));
        if (!answerBetweenSlices(fill, slice))
            return;
    }
    fitColumnsToContent(table);
    ui->lastAUB2xls->setEnabled(true);
    ui->lastAUB2csv->setEnabled(true);
}

// The old rows go a slice at a time too: a table of a hundred thousand rows
// takes a tenth of a second to empty.
bool MainWindow::emptyRequestsTable(int fill, QElapsedTimer& slice)
{
    QTableWidget* table = ui->LastAUBTbl;
    while (table->rowCount() > 0) {
        table->setRowCount(qMax(0, table->rowCount() - rowsRemovedAtOnce));
        if (slice.elapsed() >= sliceMs && !answerBetweenSlices(fill, slice))
            return false;
    }
    return true;
}

// The window answers between slices of the table's work, however long the
// status; false once a newer status took the table over.
bool MainWindow::answerBetweenSlices(int fill, QElapsedTimer& slice)
{
    QCoreApplication::processEvents();
    slice.restart();
    return fill == requestsFill;
}
