#pragma once

#include <QDialog>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QStringList>

class Config;
class QTableWidget;
class QTableWidgetItem;
class Ui_configwindow;
struct TableExportRules;

// The settings dialog: the four editable groups of Config as tables, the
// choosers and input dialogs that change them, and the list of pending
// changes that Apply and Save write to the settings store.
class ConfigWindow : public QDialog
{
    Q_OBJECT

public:
    explicit ConfigWindow(QWidget *parent = nullptr);
    ~ConfigWindow() override;

    Config *config = nullptr;
    // The text of the last failed certificate or key check.
    QString lastError;

signals:
    // Log lines: the file a spreadsheet export of the certificate table saved.
    void logginMessage(uchar type, QString msg);

public slots:
    void on_Show();

private slots:
    void on_CancelCfgBtn_clicked();
    void on_SaveCfgBtn_clicked();
    void on_ConfigList_currentRowChanged(int currentRow);
    void on_ChgPathCfgBtn_clicked();
    void on_PathCfgTbl_itemSelectionChanged();
    void on_PathCfgTbl_itemDoubleClicked(QTableWidgetItem *item);
    void on_AuthCfgTbl_itemSelectionChanged();
    void on_AuthCfgTbl_itemDoubleClicked(QTableWidgetItem *item);
    void on_ChgAuthCfgBtn_clicked();
    void on_ClearAuthCfgBtn_clicked();
    void on_ApplyCfgBtn_clicked();
    void on_EditServerCfgBtn_clicked();
    void on_ServerCfgTbl_itemSelectionChanged();
    void on_ServerCfgTbl_itemDoubleClicked(QTableWidgetItem *item);
    void slotCustomMenuRequested(QPoint pos);
    void slotCopyRecords();
    void slotSelectAllRecords();
    void on_CertCfgTbl_itemChanged(QTableWidgetItem *item);
    void on_EditLKSCfgBtn_clicked();
    void on_LKSCfgTbl_itemDoubleClicked(QTableWidgetItem *item);
    void on_LKSCfgTbl_itemSelectionChanged();
    void on_CertInfo2XLSbtn_clicked();
    void on_CertInfo2CSVbtn_clicked();

private:
    // ConfigWindow.cpp: showing, the pending list, apply, revert.
    void fillTable(QTableWidget *table, const QMap<QString, QString> &group,
                   const QMap<QString, QString> &descriptions);
    QString shownValue(const QMap<QString, QString> &group, const QString &key) const;
    void fillCertificateColumns();
    void markSettingChanged(const QString &key, bool changed);
    void updateApplyButtons();
    void endEdit(QTableWidget *table, int row, const QString &value);
    QString storedValue(const QString &key) const;
    void setConfigValue(const QString &key, const QString &value);
    bool applySettings();
    void applyCertificate(const QString &key);
    void revertChanges();
    void clearTableFocus();

    // ConfigWindowEdit.cpp: choosers and input dialogs.
    void chooseFolder(int row);
    void chooseAuthFile(const QString &key);
    void editServerSetting(const QString &key, const QString &value);
    void editServiceSetting(const QString &key, const QString &value);
    bool askText(const QString &label, QString &value);
    bool askChoice(const QString &label, const QStringList &items, QString &value);
    void showRefusal(const QString &text, const QString &informativeText);
    bool acceptPath(const QString &path);

    // ConfigWindowCerts.cpp: certificate and key checks.
    void fillCertificateInfo(const QString &key);
    void showCertificate(const QString &key, const QSslCertificate &certificate);
    void clearCertificateColumns();
    bool loadCertificate(const QString &path, const QString &key);
    bool loadPrivateKey(const QString &path);

    // ConfigWindowCertExport.cpp: the certificate table to a spreadsheet or CSV.
    void exportToExcel(const QList<QTableWidget *> &tables, const QStringList &names);
    void exportToCsv(const QList<QTableWidget *> &tables, const QStringList &names);
    TableExportRules exportRules();

    // ConfigWindowTables.cpp: lookups and the context menu.
    static QString valueByKey(const QTableWidget *table, const QString &key);
    static int rowOfKey(const QTableWidget *table, const QString &key);
    QTableWidget *tableOfKey(const QString &key) const;

    QTableWidget *menuTable = nullptr;
    Ui_configwindow *ui = nullptr;
    // Shown values of pending keys, so a reopened dialog shows them again.
    QMap<QString, QString> pendingValues;
    // Certificates chosen in the dialog, shown until their key is applied or reverted.
    QMap<QString, QSslCertificate> pendingCertificates;
    // A newly chosen private key; it replaces Config::userKey only on Apply.
    QSslKey pendingKey;
    QString pendingKeyPath;
};
