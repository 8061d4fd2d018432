#include "ui/ConfigWindow.h"

#include "config/Config.h"
#include "config/ConfigTables.h"
#include "ui/CutTextTips.h"
#include "ui/TableColumns.h"
#include "ui/services/drvpMessageBox.h"

#include "ui_configwindow.h"

#include <QHeaderView>

namespace {

const QString certCaKey = QStringLiteral("CertCA");
const QString certUserKey = QStringLiteral("CertUser");
const QString privateKeyKey = QStringLiteral("PKeyUser");

} // namespace

ConfigWindow::ConfigWindow(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_configwindow)
{
    ui->setupUi(this);
    setWindowFlag(Qt::NoDropShadowWindowHint, false);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowFlag(Qt::BypassWindowManagerHint, true);

    menuTable = ui->PathCfgTbl;
    for (QTableWidget *table : {ui->PathCfgTbl, ui->AuthCfgTbl, ui->CertCfgTbl, ui->ServerCfgTbl}) {
        table->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(table, &QWidget::customContextMenuRequested, this, &ConfigWindow::slotCustomMenuRequested);
    }
    const QList<QPair<QTableWidget *, QList<int>>> widths = {
        {ui->PathCfgTbl, {100, 220}},
        {ui->AuthCfgTbl, {90, 220}},
        {ui->ServerCfgTbl, {110, 370}},
        {ui->CertCfgTbl, {118, 290, 290}},
    };
    for (const auto &table : widths) {
        for (int column = 0; column < table.second.size(); ++column)
            table.first->setColumnWidth(column, table.second.at(column));
    }
    showCutTextsInToolTips(this);
}

ConfigWindow::~ConfigWindow()
{
    delete ui;
}

void ConfigWindow::on_Show()
{
    fillTable(ui->PathCfgTbl, config->paths(), pathParams);
    ui->ConfigList->setCurrentRow(0);
    ui->ConfigMainFrame->setCurrentIndex(0);

    fillTable(ui->AuthCfgTbl, config->auth, certParams);
    bool authSet = false;
    for (auto it = config->auth.cbegin(); it != config->auth.cend(); ++it)
        authSet = authSet || !shownValue(config->auth, it.key()).isEmpty();
    ui->ClearAuthCfgBtn->setEnabled(authSet);
    fillCertificateColumns();

    fillTable(ui->ServerCfgTbl, config->unblockServer, unblockServerParams);
    fillTable(ui->LKSCfgTbl, config->services, serviceParams);
    // The other tables keep their set widths.
    fitColumnsToContent(ui->LKSCfgTbl);

    ui->ChgPathCfgBtn->setEnabled(false);
    ui->ChgAuthCfgBtn->setEnabled(false);
    for (QTableWidget *table : {ui->PathCfgTbl, ui->AuthCfgTbl, ui->CertCfgTbl, ui->ServerCfgTbl, ui->LKSCfgTbl}) {
        table->clearSelection();
        table->clearFocus();
    }
    for (QWidget *button : {ui->SaveCfgBtn, ui->ApplyCfgBtn, ui->CancelCfgBtn})
        button->clearFocus();
    updateApplyButtons();
    show();
}

void ConfigWindow::fillTable(QTableWidget *table, const QMap<QString, QString> &group,
                             const QMap<QString, QString> &descriptions)
{
    table->setRowCount(group.size());
    int row = 0;
    for (auto it = group.cbegin(); it != group.cend(); ++it, ++row) {
        const QStringList texts = {it.key(), descriptions.value(it.key()), shownValue(group, it.key())};
        for (int column = 0; column < texts.size(); ++column) {
            if (!table->item(row, column))
                table->setItem(row, column, new QTableWidgetItem);
            table->item(row, column)->setText(texts.at(column));
        }
    }
}

// A key still pending shows the value it was edited to, not the stored one,
// so a later Apply writes what the user chose.
QString ConfigWindow::shownValue(const QMap<QString, QString> &group, const QString &key) const
{
    if (config->changedKeys.contains(key) && pendingValues.contains(key))
        return pendingValues.value(key);
    return group.value(key);
}

void ConfigWindow::fillCertificateColumns()
{
    clearCertificateColumns();
    for (const QString &key : {certCaKey, certUserKey}) {
        if (shownValue(config->auth, key).isEmpty())
            continue;
        if (config->changedKeys.contains(key) && pendingCertificates.contains(key))
            showCertificate(key, pendingCertificates.value(key));
        else
            fillCertificateInfo(key);
    }
}

void ConfigWindow::markSettingChanged(const QString &key, bool changed)
{
    if (changed)
        config->changedKeys.append(key);
    else
        config->changedKeys.removeAll(key);
    updateApplyButtons();
}

void ConfigWindow::updateApplyButtons()
{
    const bool pending = !config->changedKeys.isEmpty();
    ui->SaveCfgBtn->setEnabled(pending);
    ui->ApplyCfgBtn->setEnabled(pending);
}

void ConfigWindow::endEdit(QTableWidget *table, int row, const QString &value)
{
    if (row < 0 || !table->item(row, 0) || !table->item(row, 2))
        return;
    const QString key = table->item(row, 0)->text();
    table->item(row, 2)->setText(value);
    if (table == ui->LKSCfgTbl)
        fitColumnsToContent(table);
    const bool changed = value != storedValue(key);
    if (changed)
        pendingValues.insert(key, value);
    else
        pendingValues.remove(key);
    markSettingChanged(key, changed);
}

QString ConfigWindow::storedValue(const QString &key) const
{
    const QMap<QString, QString> workFolders = config->paths();
    for (const QMap<QString, QString> *group : {&workFolders, &qAsConst(config->auth), &qAsConst(config->unblockServer),
                                                &qAsConst(config->services)}) {
        if (group->contains(key))
            return group->value(key);
    }
    return QString();
}

// The first group that holds the key gets the value.
void ConfigWindow::setConfigValue(const QString &key, const QString &value)
{
    if (config->paths().contains(key))
        config->setPath(key, value);
    else if (config->auth.contains(key))
        config->auth.insert(key, value);
    else if (config->unblockServer.contains(key))
        config->unblockServer.insert(key, value);
    else if (config->services.contains(key))
        config->services.insert(key, value);
}

// False when the store could not be written (Config has told the user): the
// edits then stay pending, and Config keeps what the store holds.
bool ConfigWindow::applySettings()
{
    const QStringList keys = config->changedKeys;
    QMap<QString, QString> before;
    for (const QString &key : keys) {
        const QTableWidget *table = tableOfKey(key);
        if (!table)
            continue;
        if (!before.contains(key))
            before.insert(key, storedValue(key));
        setConfigValue(key, valueByKey(table, key));
    }
    if (!config->save(keys)) {
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            setConfigValue(it.key(), it.value());
        updateApplyButtons();
        return false;
    }

    // New certificates and the new key are used from the next request on.
    if (keys.contains(certCaKey))
        applyCertificate(certCaKey);
    if (keys.contains(certUserKey))
        applyCertificate(certUserKey);
    if (keys.contains(privateKeyKey) && !pendingKey.isNull()
        && config->auth.value(privateKeyKey) == pendingKeyPath)
        config->userKey = pendingKey;

    pendingValues.clear();
    pendingCertificates.clear();
    pendingKey = QSslKey();
    pendingKeyPath.clear();
    updateApplyButtons();
    return true;
}

void ConfigWindow::applyCertificate(const QString &key)
{
    // A cleared path keeps the certificate in use until the next start.
    if (config->auth.value(key).isEmpty() || config->loadCertificate(key))
        return;
    drvpMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(key == certCaKey ? QStringLiteral("Ошибка загрузки корневого сертификата УЦ.")
                                 : QStringLiteral("Ошибка загрузки сертификата пользователя."));
    box.setInformativeText(config->lastError);
    box.exec();
}

void ConfigWindow::revertChanges()
{
    for (const QString &key : qAsConst(config->changedKeys)) {
        QTableWidget *table = tableOfKey(key);
        const int row = table ? rowOfKey(table, key) : -1;
        if (row >= 0 && table->item(row, 2))
            table->item(row, 2)->setText(storedValue(key));
    }
    config->changedKeys.clear();
    pendingValues.clear();
    pendingCertificates.clear();
    // A key chosen and then discarded never reaches Config.
    pendingKey = QSslKey();
    pendingKeyPath.clear();
}

void ConfigWindow::on_CancelCfgBtn_clicked()
{
    if (config->changedKeys.isEmpty()) {
        close();
        return;
    }
    drvpMessageBox box;
    box.setIcon(QMessageBox::Question);
    box.setText(QStringLiteral("Настройки были изменены."));
    box.setInformativeText(QStringLiteral("Желаете сохранить измененные настройки, продолжить без сохранения или "
                                          "вернуться к редактированию настроек?"));
    box.setStandardButtons(QMessageBox::SaveAll | QMessageBox::Close | QMessageBox::Cancel | QMessageBox::Discard);
    switch (box.exec()) {
    case QMessageBox::SaveAll:
        if (!applySettings())
            break;
        clearTableFocus();
        close();
        break;
    case QMessageBox::Close:
        break;
    case QMessageBox::Discard:
        revertChanges();
        updateApplyButtons();
        break;
    default:
        clearTableFocus();
        close();
        break;
    }
}

void ConfigWindow::clearTableFocus()
{
    for (QTableWidget *table : {ui->PathCfgTbl, ui->AuthCfgTbl, ui->ServerCfgTbl}) {
        table->clearSelection();
        table->clearFocus();
    }
}

void ConfigWindow::on_SaveCfgBtn_clicked()
{
    if (applySettings())
        close();
}

void ConfigWindow::on_ApplyCfgBtn_clicked()
{
    applySettings();
}

void ConfigWindow::on_ConfigList_currentRowChanged(int currentRow)
{
    if (currentRow >= 0 && currentRow < ui->ConfigMainFrame->count())
        ui->ConfigMainFrame->setCurrentIndex(currentRow);
}
