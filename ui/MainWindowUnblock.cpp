#include "ui/MainWindow.h"

#include "readers/ReaderManager.h"
#include "ui/MainWindowRules.h"
#include "ui_MainWindow.h"

namespace {

// What the reader manager reports when no counter came from the server.
constexpr short noCounter = -9999;

} // namespace

void MainWindow::on_AutoUnblockBtn_clicked()
{
    openPage(AutoUnblockPage);
    autoUnblockProgress.reset(QStringLiteral("Ввод нового ПИН-кода"), 0);
    ui->ANewPINEdt->clear();
    ui->ANewPINEdt->setFocus();
}

void MainWindow::on_ANewPINEdt_textChanged(const QString& arg1)
{
    ui->AUnblockBtn->setEnabled(MainWindowRules::isPinComplete(arg1));
}

void MainWindow::on_AUnblockBtn_clicked()
{
    const QString reader = selectedReader();
    if (reader.isEmpty())
        return;
    autoUnblockProgress.reset(QStringLiteral("Старт автоматической разблокировки"), 0);
    ui->AUnblockBtn->setEnabled(false);
    ui->ANewPINEdt->setEnabled(false);
    if (!loadPrivateKey(&autoUnblockProgress)) {
        ui->AUnblockBtn->setEnabled(true);
        ui->ANewPINEdt->setEnabled(true);
        ui->ANewPINEdt->setFocus();
        return;
    }
    busy = true;
    autoUnblockProgress.setCurrentState(1, QString());
    emit autoUnblockCard(reader, &autoUnblockProgress, ui->ANewPINEdt->text().toUtf8());
    ui->ANewPINEdt->clear();
}

void MainWindow::on_AutoUnblockFinished(short val)
{
    busy = false;
    if (val != noCounter) {
        ui->UnblockCounterLcd->display(val);
        ui->AUnblockCounterLcd->display(val);
    }
    ui->ANewPINEdt->clear();
    ui->ANewPINEdt->setEnabled(true);
    ui->ANewPINEdt->setFocus();
}

void MainWindow::on_UnblockCardBtn_clicked()
{
    openPage(UnblockPage);
    unblockProgress.reset(QStringLiteral("Ввод ПАК-кода и нового ПИН-кода"), 0);
    ui->ClearPUKPIN->click();
    ui->PUKEdt->setFocus();
}

void MainWindow::on_PUKEdt_textChanged(const QString& /*arg1*/)
{
    updateUnblockButtons();
}

void MainWindow::on_UnblockPinEdt_textChanged(const QString& /*arg1*/)
{
    updateUnblockButtons();
}

// One rule for both edits.
void MainWindow::updateUnblockButtons()
{
    const QString puk = ui->PUKEdt->text();
    const QString pin = ui->UnblockPinEdt->text();
    ui->ClearPUKPIN->setEnabled(!puk.isEmpty() || !pin.isEmpty());
    ui->UnblockBtn->setEnabled(MainWindowRules::isUnblockInputComplete(puk, pin));
}

void MainWindow::on_ClearPUKPIN_clicked()
{
    ui->PUKEdt->clear();
    ui->UnblockPinEdt->clear();
}

void MainWindow::on_UnblockBtn_clicked()
{
    const QString reader = selectedReader();
    if (reader.isEmpty())
        return;
    unblockProgress.reset(QStringLiteral("Ввод ПАК-кода и нового ПИН-кода"), 0);
    for (QWidget* widget : {static_cast<QWidget*>(ui->PUKEdt), static_cast<QWidget*>(ui->UnblockPinEdt),
                            static_cast<QWidget*>(ui->ClearPUKPIN), static_cast<QWidget*>(ui->UnblockBtn)})
        widget->setEnabled(false);
    busy = true;
    unblockProgress.setCurrentState(0, QString());
    emit unblockCard(reader, &unblockProgress, ui->PUKEdt->text().toUtf8(), ui->UnblockPinEdt->text().toUtf8());
    ui->PUKEdt->clear();
    ui->UnblockPinEdt->clear();
}

void MainWindow::on_UnblockFinished()
{
    busy = false;
    ui->PUKEdt->setEnabled(true);
    ui->PUKEdt->setFocus();
    ui->UnblockPinEdt->setEnabled(true);
}
