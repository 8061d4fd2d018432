#include "ui/ConfigWindow.h"

#include "config/Config.h"

#include "ui_configwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>

QString ConfigWindow::valueByKey(const QTableWidget *table, const QString &key)
{
    const int row = rowOfKey(table, key);
    const QTableWidgetItem *item = row < 0 ? nullptr : table->item(row, 2);
    return item ? item->text() : QString();
}

int ConfigWindow::rowOfKey(const QTableWidget *table, const QString &key)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        if (item && item->text() == key)
            return row;
    }
    return -1;
}

// The settings table of the first group that holds the key.
QTableWidget *ConfigWindow::tableOfKey(const QString &key) const
{
    if (config->paths().contains(key))
        return ui->PathCfgTbl;
    if (config->auth.contains(key))
        return ui->AuthCfgTbl;
    if (config->unblockServer.contains(key))
        return ui->ServerCfgTbl;
    if (config->services.contains(key))
        return ui->LKSCfgTbl;
    return nullptr;
}

void ConfigWindow::on_CertCfgTbl_itemChanged(QTableWidgetItem *)
{
    const QTableWidgetItem *serial = ui->CertCfgTbl->item(0, 1);
    const QTableWidgetItem *thumbprint = ui->CertCfgTbl->item(1, 1);
    const bool empty = (!serial || serial->text().isEmpty()) && (!thumbprint || thumbprint->text().isEmpty());
    ui->CertInfo2XLSbtn->setEnabled(!empty);
    ui->CertInfo2CSVbtn->setEnabled(!empty);
}

void ConfigWindow::slotCustomMenuRequested(QPoint pos)
{
    auto *table = qobject_cast<QTableWidget *>(sender());
    if (!table || table->selectedRanges().isEmpty())
        return;
    menuTable = table;
    QMenu menu(this);
    menu.addAction(QStringLiteral("Копировать"), this, &ConfigWindow::slotCopyRecords);
    menu.addAction(QStringLiteral("Выделить все"), this, &ConfigWindow::slotSelectAllRecords);
    menu.exec(table->viewport()->mapToGlobal(pos));
}

void ConfigWindow::slotSelectAllRecords()
{
    menuTable->selectAll();
}

// Tab-separated rows, as spreadsheets paste them.
void ConfigWindow::slotCopyRecords()
{
    QByteArray text;
    const int lastColumn = menuTable->columnCount() - 1;
    const QList<QTableWidgetSelectionRange> ranges = menuTable->selectedRanges();
    for (const QTableWidgetSelectionRange &range : ranges) {
        for (int row = range.topRow(); row <= range.bottomRow(); ++row) {
            for (int column = range.leftColumn(); column <= range.rightColumn(); ++column) {
                const QTableWidgetItem *item = menuTable->item(row, column);
                if (!item)
                    continue;
                text += item->text().toUtf8();
                if (column != lastColumn)
                    text += '\t';
            }
            text += "\r\n";
        }
    }
    auto *mime = new QMimeData;
    mime->setData(QStringLiteral("text/plain"), text);
    QApplication::clipboard()->setMimeData(mime);
}
