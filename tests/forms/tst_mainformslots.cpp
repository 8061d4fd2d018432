#include "FormHarness.h"
#include "ui_MainWindow.h"

#include <QtTest>

namespace {

// Stands in for the main window: one slot for every designer slot the real
// host binds by name. A slot that matches no signal prints a warning.
class Host : public QMainWindow
{
    Q_OBJECT

public:
    QStringList hits;

private:
    void hit(const char* slot) { hits.append(QString::fromLatin1(slot)); }

private slots:
    void on_UploadBtn_clicked() { hit(__func__); }
    void on_ReadCardsBtn_clicked() { hit(__func__); }
    void on_AutoUnblockBtn_clicked() { hit(__func__); }
    void on_CheckingCardBtn_clicked() { hit(__func__); }
    void on_UnblockCardBtn_clicked() { hit(__func__); }
    void on_CancelBtn_clicked() { hit(__func__); }
    void on_ConfigBtn_clicked() { hit(__func__); }
    void on_AboutBtn_clicked() { hit(__func__); }
    void on_ReadersTable2XLSBtn_clicked() { hit(__func__); }
    void on_ReadersTable2CSVBtn_clicked() { hit(__func__); }
    void on_ReaderListTbl_cellClicked(int, int) { hit(__func__); }
    void on_ClearConsoleBtn_clicked() { hit(__func__); }
    void on_Console2HTMLBtn_clicked() { hit(__func__); }
    void on_Console2TXTBtn_clicked() { hit(__func__); }
    void on_ConsoleTEdt_textChanged() { hit(__func__); }
    void on_ViewFrame_currentChanged(int) { hit(__func__); }
    void on_CardInfo2XLSBtn_clicked() { hit(__func__); }
    void on_CardInfo2CSVBtn_clicked() { hit(__func__); }
    void on_Checking2XLSBtn_clicked() { hit(__func__); }
    void on_CheckingToCSVBtn_clicked() { hit(__func__); }
    void on_lastAUB2xls_clicked() { hit(__func__); }
    void on_lastAUB2csv_clicked() { hit(__func__); }
    void on_RefreshStatusBtn_clicked() { hit(__func__); }
    void on_ViewStatusBtn_clicked() { hit(__func__); }
    void on_ReadPINEdt_textChanged(QString) { hit(__func__); }
    void on_SubmitPINBtn_clicked() { hit(__func__); }
    void on_CheckingPinEdt_textChanged(QString) { hit(__func__); }
    void on_StartCheckingBtn_clicked() { hit(__func__); }
    void on_PUKEdt_textChanged(QString) { hit(__func__); }
    void on_UnblockPinEdt_textChanged(QString) { hit(__func__); }
    void on_ClearPUKPIN_clicked() { hit(__func__); }
    void on_UnblockBtn_clicked() { hit(__func__); }
    void on_ANewPINEdt_textChanged(QString) { hit(__func__); }
    void on_AUnblockBtn_clicked() { hit(__func__); }
    void on_LKReadPINEdt_textChanged(QString) { hit(__func__); }
    void on_LKFileEdt_textChanged(QString) { hit(__func__); }
    void on_LKSelectFileBtn_clicked() { hit(__func__); }
    void on_KvarnolRBtn_clicked() { hit(__func__); }
    void on_LotvarskRBtn_clicked() { hit(__func__); }
    void on_LKLoginEdt_textChanged(QString) { hit(__func__); }
    void on_LKPassWordEdt_textChanged(QString) { hit(__func__); }
    void on_LKSendBtn_clicked() { hit(__func__); }
};

} // namespace

class TestMainFormSlots : public QObject
{
    Q_OBJECT

private slots:
    // Every slot finds its widget and signal, and the form's own initial
    // selections and texts reach none of them.
    void everySlotBindsAndNoneRunsDuringSetup()
    {
        WarningCatcher warnings;
        Host host;
        Ui_MainWindow ui;
        ui.setupUi(&host);
        QCOMPARE(WarningCatcher::caught(), QStringList());
        QCOMPARE(host.hits, QStringList());
    }
};

QTEST_MAIN(TestMainFormSlots)
#include "tst_mainformslots.moc"
