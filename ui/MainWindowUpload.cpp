#include "ui/MainWindow.h"

#include "config/Config.h"
#include "net/Sender.h"
#include "readers/ReaderManager.h"
#include "ui/MainWindowRules.h"
#include "ui/services/drvpFileDialog.h"
#include "ui_MainWindow.h"

namespace {

enum Service : quint8 { Kvarnol = 1, Lotvarsk = 2, NoService = 255 };

// The step of uploadProgress that a read before the upload ends on.
constexpr quint8 saveStep = 2;
constexpr quint8 connectStep = 3;

} // namespace

void MainWindow::on_UploadBtn_clicked()
{
    if (operations.waiting())
        return;
    uploadService = NoService;
    uploadNeedsPin = 0;
    uploadCardPresent = 0;
    lockOtherReaderRows(true);
    uploadProgress.reset(QStringLiteral("Введите логин и пароль"), 0);
    ui->LKReadPINEdt->clear();
    ui->LKFileEdt->clear();
    ui->LKPassWordEdt->clear();
    setBusyButtons();
    ReaderState state;
    if (readerState(selectedReader(), state)) {
        uploadCardPresent = state.cardPresent ? 1 : 0;
        if (state.cardPresent) {
            uploadNeedsPin = MainWindowRules::needsPin(state.cardKind) ? 1 : 0;
            uploadService = state.cardType;
        }
    }
    ui->LKFileEdt->setEnabled(true);
    ui->LKReadPINEdt->setEnabled(uploadCardPresent && uploadNeedsPin);
    selectUploadService(uploadService);
    if (uploadNeedsPin)
        ui->LKReadPINEdt->setFocus();
    else if (uploadCardPresent && !ui->LKLoginEdt->text().isEmpty())
        ui->LKPassWordEdt->setFocus();
    else if (uploadCardPresent)
        ui->LKLoginEdt->setFocus();
    else
        ui->LKFileEdt->setFocus();
    ui->MainFrame->setCurrentIndex(UploadPage);
}

void MainWindow::selectUploadService(quint8 service)
{
    if (service == Kvarnol) {
        ui->KvarnolRBtn->setChecked(true);
        ui->LKLoginEdt->setText(config->services.value(QStringLiteral("KvarnolLogin")));
    } else if (service == Lotvarsk) {
        ui->LotvarskRBtn->setChecked(true);
        ui->LKLoginEdt->setText(config->services.value(QStringLiteral("LotvarskLogin")));
    } else {
        // Exclusive radio buttons uncheck only while not checkable.
        for (QRadioButton* button : {ui->KvarnolRBtn, ui->LotvarskRBtn}) {
            button->setCheckable(false);
            button->setCheckable(true);
        }
        ui->LKLoginEdt->clear();
    }
}

void MainWindow::on_KvarnolRBtn_clicked()
{
    ui->LKLoginEdt->setText(config->services.value(QStringLiteral("KvarnolLogin")));
    updateSendButton();
}

void MainWindow::on_LotvarskRBtn_clicked()
{
    ui->LKLoginEdt->setText(config->services.value(QStringLiteral("LotvarskLogin")));
    updateSendButton();
}

void MainWindow::on_LKLoginEdt_textChanged(const QString& /*arg1*/)
{
    updateSendButton();
}

void MainWindow::on_LKPassWordEdt_textChanged(const QString& /*arg1*/)
{
    updateSendButton();
}

void MainWindow::on_LKReadPINEdt_textChanged(const QString& /*arg1*/)
{
    updateFileControls();
    updateSendButton();
}

void MainWindow::on_LKFileEdt_textChanged(const QString& /*arg1*/)
{
    if (uploadCardPresent)
        selectUploadService(uploadService);
    refreshUploadPinEdit();
    updateSendButton();
}

// While the card is read for the upload, nothing on the page may start a
// second read or swap the file.
void MainWindow::updateUploadControls()
{
    updateFileControls();
    refreshUploadPinEdit();
    updateSendButton();
}

// A file may be picked only while no PIN is typed.
void MainWindow::updateFileControls()
{
    const bool enabled = !operations.waiting() && ui->LKReadPINEdt->text().isEmpty();
    ui->LKSelectFileBtn->setEnabled(enabled);
    ui->LKFileEdt->setEnabled(enabled);
}

// A PIN is asked for only while no file is chosen and a card is there to read.
void MainWindow::refreshUploadPinEdit()
{
    ui->LKReadPINEdt->setEnabled(!operations.waiting() && !selectedReader().isEmpty()
                                 && ui->LKFileEdt->text().isEmpty() && uploadCardPresent);
}

void MainWindow::on_LKSelectFileBtn_clicked()
{
    drvpFileDialog dialog;
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(config->path(QStringLiteral("dddPath")));
    dialog.setNameFilter(QStringLiteral("Все CRT файлы (*.ddd *.DDD)"));
    // The dialog ran its own event loop: a removal may have left the page.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()
        || ui->MainFrame->currentIndex() != UploadPage)
        return;
    ui->LKFileEdt->setText(dialog.selectedFiles().first());
}

void MainWindow::updateSendButton()
{
    ui->LKSendBtn->setEnabled(!operations.waiting() && MainWindowRules::canSendUpload(
        ui->LKLoginEdt->text(), ui->LKPassWordEdt->text(),
        ui->KvarnolRBtn->isChecked() || ui->LotvarskRBtn->isChecked(), uploadNeedsPin, ui->LKReadPINEdt->text(),
        ui->LKFileEdt->text()));
}

void MainWindow::on_LKSendBtn_clicked()
{
    if (operations.waiting() || ui->MainFrame->currentIndex() != UploadPage)
        return;
    if (!ui->KvarnolRBtn->isChecked() && !ui->LotvarskRBtn->isChecked()) {
        log(2, QStringLiteral("Отсутствует выбор получателя - 'Кварноль' или 'Лотварская'."));
        uploadProgress.reset(QStringLiteral("Необходимо выбрать 'Кварноль' или 'Лотварская'."), 0);
        return;
    }
    if (ui->LKFileEdt->text().isEmpty())
        readCardForUpload();
    else
        startUpload();
}

void MainWindow::startUpload()
{
    const SecretBytes password = SecretBytes::fromText(ui->LKPassWordEdt->text());
    ui->LKPassWordEdt->clear();
    // An upload still running refuses this one and logs why; its progress
    // row and its target stay as they are.
    if (!sender->isBusy())
        prepareUpload();
    sender->acceptLogin(ui->LKLoginEdt->text(), password, &uploadProgress);
}

void MainWindow::prepareUpload()
{
    const quint8 service = ui->LotvarskRBtn->isChecked() ? Lotvarsk : Kvarnol;
    const QString sending = QStringLiteral("Отправка DDD файла");
    if (uploadProgress.current == saveStep)
        uploadProgress.nextStep(sending, 2);
    else
        uploadProgress.reset(sending, connectStep);
    const QString hostKey = service == Kvarnol ? QStringLiteral("KvarnolServer") : QStringLiteral("LotvarskServer");
    uploadProgress.setCurrentState(1, service == Kvarnol ? QStringLiteral("Соединение с Кварноль ...")
                                                         : QStringLiteral("Соединение с Лотварской ..."));
    const QString server =
        QStringLiteral("%1://").arg(config->services.value(QStringLiteral("Protocol"))) + config->services.value(hostKey);
    sender->setService(service);
    sender->setServer(server);
    sender->setFilePath(ui->LKFileEdt->text());
}

void MainWindow::readCardForUpload()
{
    const QString reader = selectedReader();
    ReaderState state;
    if (!readerState(reader, state))
        return;
    SecretBytes pin;
    if (MainWindowRules::needsPin(state.cardKind)) {
        // Only a whole PIN goes to the card: a short one would spend a try.
        if (!MainWindowRules::isPinComplete(ui->LKReadPINEdt->text())) {
            uploadProgress.reset(QStringLiteral("Ввод ПИН-кода"), 0);
            ui->LKReadPINEdt->setEnabled(true);
            ui->LKReadPINEdt->setFocus();
            return;
        }
        pin = SecretBytes::fromText(ui->LKReadPINEdt->text());
    }
    operations.requested();
    uploadProgress.reset(QString(), 0);
    emit readCard(reader, &uploadProgress, pin);
    ui->LKReadPINEdt->clear();
    updateUploadControls();
}
