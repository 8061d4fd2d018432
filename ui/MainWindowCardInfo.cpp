#include "ui/MainWindow.h"

#include "readers/ReaderManager.h"
#include "ui/CardInfoFields.h"
#include "ui_MainWindow.h"

#include <QColor>
#include <QFont>
#include <QTableWidgetItem>

// Shows the reader's card information when there is any; false otherwise.
bool MainWindow::showCardInfo(const QString& readerName)
{
    ReaderState state;
    if (!readerState(readerName, state) || state.cardInfo.isEmpty())
        return false;
    ui->ViewFrame->setCurrentIndex(CardInfoView);
    ui->CardInfo2XLSBtn->setEnabled(true);
    ui->CardInfo2CSVBtn->setEnabled(true);
    fillCardInfoTable(state.cardInfo);
    return true;
}

void MainWindow::fillCardInfoTable(const QMap<QString, QString>& info)
{
    QTableWidget* table = ui->CardInfoTbl;
    table->clearContents();
    table->setRowCount(info.size());
    int row = 0;
    for (const QString& key : cardInfoFieldOrder()) {
        const auto value = info.constFind(key);
        if (value == info.constEnd())
            continue;
        auto* caption = new QTableWidgetItem(fieldCaptions().value(key));
        QFont font = caption->font();
        font.setPointSize(10);
        font.setWeight(QFont::Bold);
        caption->setFont(font);
        caption->setForeground(QColor(178, 178, 178));
        table->setItem(row, 0, caption);
        table->setItem(row, 1, new QTableWidgetItem(value.value()));
        ++row;
    }
    table->setRowCount(row); // keys without a caption row leave no gap
}
