#include "ui/MainWindow.h"

#include "readers/ReaderManager.h"
#include "ui/TableColumns.h"
#include "ui_MainWindow.h"

#include <QHeaderView>
#include <QTableWidgetItem>

namespace {

const QString noCardIcon = QStringLiteral(":/imgs/step_card0.png");
const QString cardIcon = QStringLiteral(":/imgs/step_card2.png");
const QString cardInUseIcon = QStringLiteral(":/imgs/step_card3.png");
const QString readerErrorIcon = QStringLiteral(":/imgs/reader_error.png");
const QString removedInUse = QStringLiteral(
    "Отключение карты в процессе ее использования. Данное действие могло вывести карту "
    "тахографа из строя, т. е. привести к поломке карты.");

enum Column { NameColumn = 0, CardNumberColumn, SkziColumn, KindColumn, TypeColumn, ColumnCount };

} // namespace

void MainWindow::addReaderRow(int row, const QString& name)
{
    QTableWidget* table = ui->ReaderListTbl;
    auto* header = new QTableWidgetItem(QString());
    header->setIcon(icons.icon(noCardIcon));
    table->setVerticalHeaderItem(row, header);
    table->verticalHeader()->setSectionsClickable(false);
    // A reader that arrives while an operation page is open stays locked
    // with the others, so it cannot become the operation's target.
    const bool locked = ui->CancelBtn->isEnabled();
    for (int column = 0; column < table->columnCount(); ++column) {
        auto* item = new QTableWidgetItem(QString());
        if (locked)
            item->setFlags(Qt::NoItemFlags);
        table->setItem(row, column, item);
    }
    table->item(row, NameColumn)->setText(name);
}

int MainWindow::findReaderRow(const QString& name) const
{
    const QTableWidget* table = ui->ReaderListTbl;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* item = table->item(row, NameColumn);
        if (item && item->text() == name)
            return row;
    }
    return -1;
}

void MainWindow::setReaderIcon(int row, const QString& path)
{
    if (QTableWidgetItem* header = ui->ReaderListTbl->verticalHeaderItem(row))
        header->setIcon(icons.icon(path));
}

void MainWindow::showCardHold(const QString& name)
{
    const int row = findReaderRow(name);
    if (row < 0)
        return;
    switch (cardHolds.picture(name)) {
    case CardHolds::Picture::NoCard:
        setReaderIcon(row, noCardIcon);
        break;
    case CardHolds::Picture::Free:
        setReaderIcon(row, cardIcon);
        break;
    case CardHolds::Picture::InUse:
        setReaderIcon(row, cardInUseIcon);
        break;
    }
}

void MainWindow::lockOtherReaderRows(bool lock)
{
    QTableWidget* table = ui->ReaderListTbl;
    const Qt::ItemFlags flags = lock ? Qt::NoItemFlags : Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (row == table->currentRow())
            continue;
        for (int column = 0; column < table->columnCount(); ++column) {
            if (QTableWidgetItem* item = table->item(row, column))
                item->setFlags(flags);
        }
    }
}

QString MainWindow::selectedReader() const
{
    const QTableWidget* table = ui->ReaderListTbl;
    const QTableWidgetItem* item = table->currentRow() < 0 ? nullptr : table->item(table->currentRow(), NameColumn);
    return item ? item->text() : QString();
}

bool MainWindow::readerState(const QString& name, ReaderState& state) const
{
    if (!readerManager || name.isEmpty())
        return false;
    state = readerManager->readerState(name);
    return state.isKnown();
}

// Leaves no reader as the target of the next operation.
void MainWindow::clearSelectedReader()
{
    ui->ReaderListTbl->clearSelection();
    ui->ReaderListTbl->setCurrentItem(nullptr);
}

void MainWindow::on_FoundCardReaders(const QStringList& reader_list)
{
    QTableWidget* table = ui->ReaderListTbl;
    if (reader_list.isEmpty()) {
        table->setRowCount(0);
        ui->ReadersTable2XLSBtn->setEnabled(false);
        ui->ReadersTable2CSVBtn->setEnabled(false);
        return;
    }
    for (int i = 0; i < reader_list.size(); ++i) {
        const QString& name = reader_list.at(i);
        if (table->rowCount() <= i)
            table->setRowCount(i + 1);
        const QTableWidgetItem* item = table->item(i, NameColumn);
        if (item && item->text() != name) {
            table->insertRow(i);
            addReaderRow(i, name);
        } else if (!item) {
            addReaderRow(i, name);
        }
    }
    fitColumnsToContent(table);
    ui->ReadersTable2XLSBtn->setEnabled(true);
    ui->ReadersTable2CSVBtn->setEnabled(true);
}

void MainWindow::on_UnmountCardReader(const QStringList& readers_list)
{
    QTableWidget* table = ui->ReaderListTbl;
    bool selectedRemoved = false;
    for (const QString& name : readers_list) {
        cardHolds.readerRemoved(name);
        const int row = findReaderRow(name);
        if (row < 0)
            continue; // already gone; the rest of the list still counts
        const bool selected = row == table->currentRow();
        if (selected && ui->CancelBtn->isEnabled())
            on_CancelBtn_clicked();
        table->removeRow(row);
        if (selected) {
            // The next row must not silently become the target.
            clearSelectedReader();
            setNoCardButtons();
            selectedRemoved = true;
        }
    }
    if (selectedRemoved && ui->ViewFrame->currentIndex() == CardInfoView) {
        ui->CardInfo2XLSBtn->setEnabled(false);
        ui->CardInfo2CSVBtn->setEnabled(false);
        showStatusView();
    }
}

void MainWindow::on_MountedCard(const QString& reader_name)
{
    cardHolds.cardInserted(reader_name);
    showCardHold(reader_name);
}

void MainWindow::on_CardUsing(const QString& reader_name, bool is_card_using)
{
    cardHolds.serviceReports(reader_name, is_card_using);
    showCardHold(reader_name);
}

void MainWindow::on_CardWork(const QString& reader_name, CardWork work)
{
    cardHolds.ourWork(reader_name, work);
    showCardHold(reader_name);
}

void MainWindow::on_ErrorCardReader(const QString& msg, const QString& reader_name)
{
    const int row = reader_name.isEmpty() ? -1 : findReaderRow(reader_name);
    if (row >= 0)
        setReaderIcon(row, readerErrorIcon);
    // Plain text: the logger escapes it for its view.
    if (reader_name.isEmpty())
        log(2, msg);
    else
        log(2, QStringLiteral("%1: %2").arg(reader_name, msg));
}

void MainWindow::on_ShowUpdatedCardInfo(const QString& reader_name)
{
    const int row = findReaderRow(reader_name);
    ReaderState state;
    if (row < 0 || !readerState(reader_name, state))
        return;
    QTableWidget* table = ui->ReaderListTbl;
    table->item(row, CardNumberColumn)->setText(state.cardNumber);
    table->item(row, SkziColumn)->setText(state.skziNumber);
    table->item(row, KindColumn)->setText(state.cardKindName);
    table->item(row, TypeColumn)->setText(state.cardTypeName);
    fitColumnsToContent(table);
    if (row != table->currentRow())
        return;
    if (!ui->CancelBtn->isEnabled())
        setCardButtons(reader_name);
    showCardInfo(reader_name);
}

void MainWindow::on_UnmountedCard(const QString& reader_name)
{
    const bool pulledInUse = cardHolds.cardRemoved(reader_name);
    if (operations.busy()) {
        logInterrupted(reader_name);
        emit interruptAllOperation();
        operations.interrupted();
    }
    const int row = findReaderRow(reader_name);
    if (row >= 0)
        setReaderIcon(row, noCardIcon);
    if (pulledInUse)
        on_ErrorCardReader(removedInUse, reader_name);
    if (row < 0)
        return;
    QTableWidget* table = ui->ReaderListTbl;
    for (int column = CardNumberColumn; column < ColumnCount; ++column) {
        if (QTableWidgetItem* item = table->item(row, column))
            item->setText(QString());
    }
    fitColumnsToContent(table);
    if (row != table->currentRow())
        return;
    if (ui->ViewFrame->currentIndex() == CardInfoView) {
        ui->CardInfo2XLSBtn->setEnabled(false);
        ui->CardInfo2CSVBtn->setEnabled(false);
        showStatusView();
    }
    if (ui->CancelBtn->isEnabled())
        on_CancelBtn_clicked();
    // The manager may not have seen the removal yet: the monitor's word counts.
    setNoCardButtons();
}

void MainWindow::on_ReaderListTbl_cellClicked(int row, int /*column*/)
{
    if (ui->CancelBtn->isEnabled())
        return;
    const QTableWidgetItem* item = ui->ReaderListTbl->item(row, NameColumn);
    ReaderState state;
    if (!item || !readerState(item->text(), state))
        return;
    if (state.cardPresent) {
        showCardInfo(item->text());
        setCardButtons(item->text());
        return;
    }
    showStatusView();
    ui->CardInfo2XLSBtn->setEnabled(false);
    ui->CardInfo2CSVBtn->setEnabled(false);
    setNoCardButtons();
}
