#include "ui/MainWindow.h"

#include "net/KvobProtocol.h"
#include "ui/MainWindowRules.h"
#include "ui/TableColumns.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QTableWidgetItem>

namespace {

constexpr quint8 statusCommandCode = 1;

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
    QTableWidget* table = ui->LastAUBTbl;
    table->clearContents();
    table->setRowCount(0);
    if (statusText.isEmpty())
        return;
    const QVector<QStringList> rows = MainWindowRules::statusRows(statusText);
    table->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList& cells = rows.at(r);
        for (int column = 0; column < cells.size(); ++column)
            table->setItem(r, column, new QTableWidgetItem(cells.at(column)));
        statusProgress.setMessage(QStringLiteral("Обновление статуса %1 / %2").arg(r + 1).arg(rows.size()));
        QCoreApplication::processEvents();
        if (fill != requestsFill)
            return; // a newer status took the table over
    }
    fitColumnsToContent(table);
    ui->lastAUB2xls->setEnabled(true);
    ui->lastAUB2csv->setEnabled(true);
}
