#include "ui/MainWindow.h"

#include "readers/ReaderManager.h"
#include "ui/MainWindowRules.h"
#include "ui_MainWindow.h"

void MainWindow::on_ReadCardsBtn_clicked()
{
    const QString reader = selectedReader();
    ReaderState state;
    if (!readerState(reader, state))
        return;
    openPage(ReadPage);
    ui->ReadPINEdt->clear();
    if (MainWindowRules::needsPin(state.cardKind)) {
        readProgress.reset(QStringLiteral("Ввод ПИН-кода"), 0);
        ui->ReadPINEdt->setEnabled(true);
        ui->ReadPINEdt->setFocus();
        return;
    }
    busy = true;
    ui->ReadPINEdt->setEnabled(false);
    readProgress.reset(QString(), 0);
    emit readCard(reader, &readProgress);
}

void MainWindow::on_ReadPINEdt_textChanged(const QString& arg1)
{
    ui->SubmitPINBtn->setEnabled(MainWindowRules::isPinComplete(arg1));
}

void MainWindow::on_SubmitPINBtn_clicked()
{
    const QString reader = selectedReader();
    if (reader.isEmpty())
        return;
    busy = true;
    ui->ReadPINEdt->setEnabled(false);
    ui->SubmitPINBtn->setEnabled(false);
    readProgress.reset(QString(), 0);
    emit readCard(reader, &readProgress, ui->ReadPINEdt->text().toUtf8());
    ui->ReadPINEdt->clear();
}

void MainWindow::on_ReadFinished(const QString& dddPath)
{
    // Only the read the window waits for may lead on to an upload.
    const bool awaited = busy;
    busy = false;
    ReaderState state;
    if (readerState(selectedReader(), state) && MainWindowRules::needsPin(state.cardKind)) {
        ui->ReadPINEdt->setEnabled(true);
        ui->ReadPINEdt->setFocus();
    }
    if (!awaited)
        return;
    if (dddPath.isEmpty()) {
        // Nothing was saved, so nothing is sent; the upload page takes
        // another PIN.
        if (ui->MainFrame->currentIndex() == UploadPage) {
            refreshUploadPinEdit();
            updateSendButton();
        }
        return;
    }
    ui->LKFileEdt->setText(dddPath);
    on_LKSendBtn_clicked();
}
