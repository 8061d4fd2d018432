#include "ui/MainWindow.h"

#include "readers/ReaderManager.h"
#include "ui/MainWindowRules.h"
#include "ui_MainWindow.h"

void MainWindow::on_ReadCardsBtn_clicked()
{
    const QString reader = selectedReader();
    ReaderState state;
    if (operations.waiting() || !readerState(reader, state))
        return;
    openPage(ReadPage);
    ui->ReadPINEdt->clear();
    if (MainWindowRules::needsPin(state.cardKind)) {
        readProgress.reset(QStringLiteral("Ввод ПИН-кода"), 0);
        ui->ReadPINEdt->setEnabled(true);
        ui->ReadPINEdt->setFocus();
        return;
    }
    ui->ReadPINEdt->setEnabled(false);
    readProgress.reset(QString(), 0);
    operations.requested();
    emit readCard(reader, &readProgress);
}

void MainWindow::on_ReadPINEdt_textChanged(const QString& arg1)
{
    ui->SubmitPINBtn->setEnabled(!operations.waiting() && MainWindowRules::isPinComplete(arg1));
}

void MainWindow::on_SubmitPINBtn_clicked()
{
    const QString reader = selectedReader();
    if (operations.waiting() || reader.isEmpty())
        return;
    operations.requested();
    ui->ReadPINEdt->setEnabled(false);
    ui->SubmitPINBtn->setEnabled(false);
    readProgress.reset(QString(), 0);
    emit readCard(reader, &readProgress, SecretBytes::fromText(ui->ReadPINEdt->text()));
    ui->ReadPINEdt->clear();
}

void MainWindow::on_ReadFinished(const QString& dddPath)
{
    const OperationTracker::Finish finish = operations.finished();
    if (finish == OperationTracker::Finish::Other)
        return;
    ReaderState state;
    if (readerState(selectedReader(), state) && MainWindowRules::needsPin(state.cardKind)) {
        ui->ReadPINEdt->setEnabled(true);
        ui->ReadPINEdt->setFocus();
    }
    if (ui->MainFrame->currentIndex() == UploadPage)
        updateUploadControls();
    // Only a read that ran undisturbed and saved its file leads on to the
    // upload; otherwise the upload page takes another PIN or a file.
    if (finish == OperationTracker::Finish::Interrupted || dddPath.isEmpty())
        return;
    ui->LKFileEdt->setText(dddPath);
    on_LKSendBtn_clicked();
}
