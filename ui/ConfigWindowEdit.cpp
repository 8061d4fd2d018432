#include "ui/ConfigWindow.h"

#include "config/Config.h"
#include "ui/services/drvpFileDialog.h"
#include "ui/services/drvpInputDialog.h"
#include "ui/services/drvpMessageBox.h"

#include "ui_configwindow.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <functional>

namespace {

const QString serverLabel = QStringLiteral("Адрес сервера");
const QString serverRefusal = QStringLiteral("Указан некорректный адрес сервера.");
const QString cancelText = QStringLiteral("Отменить");

// The key in column 0 and the value in column 2 of the table's current row;
// false without a current row.
bool currentSetting(const QTableWidget *table, QString &key, QString &value)
{
    const int row = table->currentRow();
    if (row < 0 || !table->item(row, 0) || !table->item(row, 2))
        return false;
    key = table->item(row, 0)->text();
    value = table->item(row, 2)->text();
    return true;
}

} // namespace

void ConfigWindow::on_ChgPathCfgBtn_clicked()
{
    const QList<QTableWidgetItem *> selected = ui->PathCfgTbl->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = selected.first()->row();
    const QTableWidgetItem *keyItem = ui->PathCfgTbl->item(row, 0);
    // The program's own folder is shown, not chosen.
    if (!keyItem || keyItem->text() == QLatin1String("ProductPath"))
        return;
    chooseFolder(row);
}

void ConfigWindow::on_PathCfgTbl_itemSelectionChanged()
{
    if (!ui->PathCfgTbl->selectedItems().isEmpty())
        ui->ChgPathCfgBtn->setEnabled(true);
}

void ConfigWindow::on_PathCfgTbl_itemDoubleClicked(QTableWidgetItem *)
{
    on_ChgPathCfgBtn_clicked();
}

void ConfigWindow::on_AuthCfgTbl_itemSelectionChanged()
{
    if (ui->AuthCfgTbl->selectedItems().isEmpty())
        return;
    ui->ChgAuthCfgBtn->setEnabled(true);
    ui->ClearAuthCfgBtn->setEnabled(true);
}

void ConfigWindow::on_AuthCfgTbl_itemDoubleClicked(QTableWidgetItem *)
{
    on_ChgAuthCfgBtn_clicked();
}

void ConfigWindow::on_ChgAuthCfgBtn_clicked()
{
    QString key;
    QString value;
    if (currentSetting(ui->AuthCfgTbl, key, value))
        chooseAuthFile(key);
}

void ConfigWindow::on_ClearAuthCfgBtn_clicked()
{
    for (int row = 0; row < ui->AuthCfgTbl->rowCount(); ++row) {
        if (ui->AuthCfgTbl->item(row, 2))
            ui->AuthCfgTbl->item(row, 2)->setText(QString());
    }
    clearCertificateColumns();
    for (int row = 0; row < ui->AuthCfgTbl->rowCount(); ++row)
        endEdit(ui->AuthCfgTbl, row, QString());
    ui->ClearAuthCfgBtn->setEnabled(false);
}

void ConfigWindow::on_EditServerCfgBtn_clicked()
{
    QString key;
    QString value;
    if (currentSetting(ui->ServerCfgTbl, key, value))
        editServerSetting(key, value);
}

void ConfigWindow::on_ServerCfgTbl_itemSelectionChanged()
{
    ui->EditServerCfgBtn->setEnabled(!ui->ServerCfgTbl->selectedItems().isEmpty());
}

void ConfigWindow::on_ServerCfgTbl_itemDoubleClicked(QTableWidgetItem *)
{
    on_EditServerCfgBtn_clicked();
}

void ConfigWindow::on_EditLKSCfgBtn_clicked()
{
    QString key;
    QString value;
    if (currentSetting(ui->LKSCfgTbl, key, value))
        editServiceSetting(key, value);
}

void ConfigWindow::on_LKSCfgTbl_itemDoubleClicked(QTableWidgetItem *)
{
    on_EditLKSCfgBtn_clicked();
}

void ConfigWindow::on_LKSCfgTbl_itemSelectionChanged()
{
    ui->EditLKSCfgBtn->setEnabled(!ui->LKSCfgTbl->selectedItems().isEmpty());
}

void ConfigWindow::chooseFolder(int row)
{
    drvpFileDialog dialog;
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setFilter(QDir::AllDirs);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks | QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(ui->PathCfgTbl->item(row, 2) ? ui->PathCfgTbl->item(row, 2)->text() : QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString folder = dialog.selectedFiles().first();
    if (acceptPath(folder))
        endEdit(ui->PathCfgTbl, row, folder);
}

void ConfigWindow::chooseAuthFile(const QString &key)
{
    const bool certificate = key == QLatin1String("CertCA") || key == QLatin1String("CertUser");
    const QString current = valueByKey(ui->AuthCfgTbl, key);
    drvpFileDialog dialog;
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setFilter(QDir::AllEntries);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(certificate ? QStringLiteral("Все CRT файлы (*.crt *.CRT)")
                                     : QStringLiteral("Все KEY файлы (*.key *.KEY)"));
    dialog.setDirectory(current.isEmpty()
                            ? QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation).value(0)
                            : QFileInfo(current).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    if (!acceptPath(path))
        return;
    if (certificate ? loadCertificate(path, key) : loadPrivateKey(path)) {
        endEdit(ui->AuthCfgTbl, rowOfKey(ui->AuthCfgTbl, key), path);
        return;
    }
    if (lastError.isEmpty())
        return;
    drvpMessageBox box;
    box.setStandardButtons(QMessageBox::Ok);
    box.setText(certificate ? QStringLiteral("Ошибка выбора сертификата")
                            : QStringLiteral("Ошибка выбора закрытого ключа"));
    box.setInformativeText(lastError);
    box.exec();
}

bool ConfigWindow::acceptPath(const QString &path)
{
    if (config->validatePath(path))
        return true;
    showRefusal(QStringLiteral("Указан некорректный путь."), config->lastError);
    return false;
}

void ConfigWindow::editServerSetting(const QString &key, const QString &value)
{
    QString label = serverLabel;
    QString refusal = serverRefusal;
    // The unblock server is reached by host name alone; its port has a key of its own.
    std::function<bool(const QString &)> check = [this](const QString &text) { return config->validateServer(text); };
    if (key == QLatin1String("Port")) {
        label = QStringLiteral("Порт сервера");
        refusal = QStringLiteral("Указан некорректный порт сервера.");
        check = [this](const QString &text) { return config->validatePort(text); };
    } else if (key == QLatin1String("Timeout")) {
        label = QStringLiteral("Время ожидания отклика");
        refusal = QStringLiteral("Указано некорректное время ожидания отклика сервера.");
        check = [this](const QString &text) { return config->validateTimeout(text); };
    }
    QString text = value;
    if (!askText(label, text))
        return;
    if (!check(text)) {
        showRefusal(refusal, config->lastError);
        return;
    }
    endEdit(ui->ServerCfgTbl, ui->ServerCfgTbl->currentRow(), text);
}

void ConfigWindow::editServiceSetting(const QString &key, const QString &value)
{
    QString text = value;
    if (key == QLatin1String("KvarnolLogin") || key == QLatin1String("LotvarskLogin")) {
        if (!askText(QStringLiteral("Логин"), text))
            return;
        if (!config->validateLogin(text)) {
            showRefusal(QStringLiteral("Указан некорректный логин."), config->lastError);
            return;
        }
    } else if (key == QLatin1String("Protocol")) {
        if (!askChoice(QStringLiteral("Протокол"), {QStringLiteral("https"), QStringLiteral("http")}, text))
            return;
    } else {
        if (!askText(serverLabel, text))
            return;
        // An upload service's address is a URL's whole authority: "host:port" is allowed.
        if (!config->validateServer(text, true)) {
            showRefusal(serverRefusal, config->lastError);
            return;
        }
    }
    endEdit(ui->LKSCfgTbl, ui->LKSCfgTbl->currentRow(), text);
}

bool ConfigWindow::askText(const QString &label, QString &value)
{
    drvpInputDialog dialog;
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setLabelText(label);
    dialog.setCancelButtonText(cancelText);
    dialog.setTextValue(value);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

bool ConfigWindow::askChoice(const QString &label, const QStringList &items, QString &value)
{
    drvpInputDialog dialog;
    dialog.setLabelText(label);
    dialog.setCancelButtonText(cancelText);
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    dialog.setTextValue(value);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

void ConfigWindow::showRefusal(const QString &text, const QString &informativeText)
{
    if (informativeText.isEmpty())
        return;
    drvpMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(text);
    box.setInformativeText(informativeText);
    box.exec();
}
