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
    if (operations.waiting())
        return;
    openPage(AutoUnblockPage);
    autoUnblockProgress.reset(QStringLiteral("Ввод нового ПИН-кода"), 0);
    // A request left by cancel never gave the edit back.
    ui->ANewPINEdt->setEnabled(true);
    ui->ANewPINEdt->clear();
    ui->ANewPINEdt->setFocus();
}

void MainWindow::on_ANewPINEdt_textChanged(const QString& arg1)
{
    ui->AUnblockBtn->setEnabled(!operations.waiting() && MainWindowRules::isPinComplete(arg1));
}

void MainWindow::on_AUnblockBtn_clicked()
{
    const QString reader = selectedReader();
    if (operations.waiting() || reader.isEmpty())
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
    // The pass-phrase dialog ran its own event loop: a removal or a cancel
    // may have left the page meanwhile.
    if (!stillOn(AutoUnblockPage, reader)) {
        ui->ANewPINEdt->clear();
        return;
    }
    operations.requested();
    autoUnblockProgress.setCurrentState(1, QString());
    emit autoUnblockCard(reader, &autoUnblockProgress, SecretBytes::fromText(ui->ANewPINEdt->text()));
    ui->ANewPINEdt->clear();
}

void MainWindow::on_AutoUnblockFinished(short val)
{
    if (operations.finished() == OperationTracker::Finish::Other)
        return;
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
    if (operations.waiting())
        return;
    openPage(UnblockPage);
    unblockProgress.reset(QStringLiteral("Ввод ПАК-кода и нового ПИН-кода"), 0);
    // An unblock left by cancel never gave the edits back.
    ui->PUKEdt->setEnabled(true);
    ui->UnblockPinEdt->setEnabled(true);
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
    const bool idle = !operations.waiting();
    ui->ClearPUKPIN->setEnabled(idle && (!puk.isEmpty() || !pin.isEmpty()));
    ui->UnblockBtn->setEnabled(idle && MainWindowRules::isUnblockInputComplete(puk, pin));
}

void MainWindow::on_ClearPUKPIN_clicked()
{
    ui->PUKEdt->clear();
    ui->UnblockPinEdt->clear();
}

void MainWindow::on_UnblockBtn_clicked()
{
    const QString reader = selectedReader();
    if (operations.waiting() || reader.isEmpty())
        return;
    unblockProgress.reset(QStringLiteral("Ввод ПАК-кода и нового ПИН-кода"), 0);
    for (QWidget* widget : {static_cast<QWidget*>(ui->PUKEdt), static_cast<QWidget*>(ui->UnblockPinEdt),
                            static_cast<QWidget*>(ui->ClearPUKPIN), static_cast<QWidget*>(ui->UnblockBtn)})
        widget->setEnabled(false);
    operations.requested();
    unblockProgress.setCurrentState(0, QString());
    emit unblockCard(reader, &unblockProgress, SecretBytes::fromText(ui->PUKEdt->text()),
                     SecretBytes::fromText(ui->UnblockPinEdt->text()));
    ui->PUKEdt->clear();
    ui->UnblockPinEdt->clear();
}

void MainWindow::on_UnblockFinished()
{
    if (operations.finished() == OperationTracker::Finish::Other)
        return;
    ui->PUKEdt->setEnabled(true);
    ui->PUKEdt->setFocus();
    ui->UnblockPinEdt->setEnabled(true);
}
