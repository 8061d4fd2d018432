#include "ui/ConfigWindow.h"

#include "config/Config.h"
#include "ui/TableExport.h"
#include "ui/services/drvpMessageBox.h"
#include "ui_configwindow.h"

void ConfigWindow::on_CertInfo2XLSbtn_clicked()
{
    exportToExcel({ui->CertCfgTbl}, {QStringLiteral("Сведения о сертификатах")});
}

void ConfigWindow::on_CertInfo2CSVbtn_clicked()
{
    exportToCsv({ui->CertCfgTbl}, {QStringLiteral("Сведения о сертификатах")});
}

void ConfigWindow::exportToExcel(const QList<QTableWidget *> &tables, const QStringList &names)
{
    exportTablesToSpreadsheet(tables, names, exportRules());
}

void ConfigWindow::exportToCsv(const QList<QTableWidget *> &tables, const QStringList &names)
{
    exportTablesToCsv(tables, names, exportRules());
}

// This dialog's exports run to the end whatever the progress dialog says,
// and report failures in a warning box with one OK button.
TableExportRules ConfigWindow::exportRules()
{
    TableExportRules rules;
    rules.exportFolder = config->path(QStringLiteral("ExportPath"));
    rules.cancelStopsSpreadsheet = false;
    rules.openErrorText = QStringLiteral("Ошибка открытия файла");
    rules.openErrorInformative = QStringLiteral("Возникла ошибка при открытии на запись файла: %1");
    rules.showError = [](const QString &text, const QString &informative, const QString &detail) {
        drvpMessageBox box;
        box.setIcon(QMessageBox::Warning);
        box.setText(text);
        box.setInformativeText(informative);
        box.setDetailedText(detail);
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
    };
    rules.log = [this](quint8 type, const QString &text) { emit logginMessage(type, text); };
    rules.owner = this;
    return rules;
}
