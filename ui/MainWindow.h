#pragma once

#include "card/SecretBytes.h"
#include "readers/CardWork.h"
#include "ui/CardHolds.h"
#include "ui/IconCache.h"
#include "ui/OperationTracker.h"
#include "ui/services/MultiProgressElement.h"

#include <QByteArray>
#include <QMainWindow>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class Config;
class LogView;
namespace MainWindowRules {
struct CommandButtons;
}
class QCloseEvent;
class QElapsedTimer;
class QTableWidget;
class ReaderManager;
class Sender;
class Ui_MainWindow;
struct ReaderState;
struct TableExportRules;

// The program's main window: the reader table, the six operation pages, the
// card information, diagnosis and client-status views. It starts every
// operation by a signal and learns the outcome from the finish slots.
// Member functions are spread over MainWindow*.cpp by road.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Set by start-up before the window is shown; none is owned.
    void setConfig(Config* config);
    void setReaderManager(const ReaderManager* manager);
    void setSender(Sender* sender);

    // One client-status refresh, as the status page's button does.
    void updateClientStatus();
    // Cancels the card operation in progress as the cancel button does; the
    // end of the run by a signal goes this way before it closes the window.
    void cancelWork();

signals:
    void logginMessage(uchar type, QString msg);
    void makeCommand(MultiProgressElement* prg_element, QString cmd, QStringList params = QStringList());
    // Each secret travels as one holder that its user wipes for everyone.
    void autoUnblockCard(QString reader_name, MultiProgressElement* progress, SecretBytes PIN);
    void unblockCard(QString reader_name, MultiProgressElement* progress, SecretBytes PUK, SecretBytes PIN);
    void readCard(QString reader_name, MultiProgressElement* progress, SecretBytes PIN = SecretBytes());
    void checkCard(QString reader_name, MultiProgressElement* progress, SecretBytes PIN = SecretBytes());
    void ShowCfgWindow();
    void ShowAboutWindow();
    void interruptAllOperation();

public:
    // Handlers of other objects' signals, connected by member pointer at
    // start-up. Not declared as slots: the form binds every slot named
    // "on_..." by object name and warns about the rest.

    // From the PC/SC monitor.
    void on_FoundCardReaders(const QStringList& reader_list);
    void on_UnmountCardReader(const QStringList& readers_list);
    void on_MountedCard(const QString& reader_name);
    void on_UnmountedCard(const QString& reader_name);
    void on_CardUsing(const QString& reader_name, bool is_card_using);
    void on_ErrorCardReader(const QString& msg, const QString& reader_name);

    // From the reader manager.
    void on_ShowUpdatedCardInfo(const QString& reader_name);
    void on_CardWork(const QString& reader_name, CardWork work);
    void on_ShowErrMsg(uchar type, const QString& text, const QString& inftext, const QString& detailtext);
    void on_AutoUnblockFinished(short val);
    void on_UnblockFinished();
    // dddPath names the file this read saved; empty when it failed.
    void on_ReadFinished(const QString& dddPath);
    // checked false: the diagnosis did not run.
    void on_CheckFinished(bool checked);

    // From the unblock-server client; every command's result comes here.
    void on_commandResult(const QString& cmd, bool ok, const QStringList& result);

    void on_UserCertChanged();
    // From the event logger: one coloured line for the log view.
    void on_NewLogMessage(const QString& logmsg);
    void on_DisplayClock();

private slots:
    // Command column and views.
    void on_CancelBtn_clicked();
    void on_ConfigBtn_clicked();
    void on_AboutBtn_clicked();
    void on_ReaderListTbl_cellClicked(int row, int column);
    void on_ViewStatusBtn_clicked();
    void on_ViewFrame_currentChanged(int arg1);
    void on_MainFrame_currentChanged(int arg1);

    // Automatic unblock.
    void on_AutoUnblockBtn_clicked();
    void on_ANewPINEdt_textChanged(const QString& arg1);
    void on_AUnblockBtn_clicked();

    // Manual unblock.
    void on_UnblockCardBtn_clicked();
    void on_PUKEdt_textChanged(const QString& arg1);
    void on_UnblockPinEdt_textChanged(const QString& arg1);
    void on_ClearPUKPIN_clicked();
    void on_UnblockBtn_clicked();

    // Read.
    void on_ReadCardsBtn_clicked();
    void on_ReadPINEdt_textChanged(const QString& arg1);
    void on_SubmitPINBtn_clicked();

    // Diagnosis.
    void on_CheckingCardBtn_clicked();
    void on_CheckingPinEdt_textChanged(const QString& arg1);
    void on_StartCheckingBtn_clicked();

    // Client status.
    void on_RefreshStatusBtn_clicked();

    // Upload.
    void on_UploadBtn_clicked();
    void on_LKReadPINEdt_textChanged(const QString& arg1);
    void on_LKFileEdt_textChanged(const QString& arg1);
    void on_LKPassWordEdt_textChanged(const QString& arg1);
    void on_LKLoginEdt_textChanged(const QString& arg1);
    void on_LKSelectFileBtn_clicked();
    void on_KvarnolRBtn_clicked();
    void on_LotvarskRBtn_clicked();
    void on_LKSendBtn_clicked();

    // Exports, clipboard and log view (MainWindowExport.cpp).
    void on_ReadersTable2XLSBtn_clicked();
    void on_ReadersTable2CSVBtn_clicked();
    void on_CardInfo2XLSBtn_clicked();
    void on_CardInfo2CSVBtn_clicked();
    void on_Checking2XLSBtn_clicked();
    void on_CheckingToCSVBtn_clicked();
    void on_lastAUB2xls_clicked();
    void on_lastAUB2csv_clicked();
    void on_ConsoleTEdt_textChanged();
    void on_ClearConsoleBtn_clicked();
    void on_Console2HTMLBtn_clicked();
    void on_Console2TXTBtn_clicked();
    void slotCustomMenuRequested(QPoint pos);
    void slotCustomMenuRequestedSpec(QPoint pos);
    void slotCopyRecords();
    void slotCopyAllRecords();
    void slotSelectAllRecords();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Pages of MainFrame and views of ViewFrame, as the form orders them.
    enum Page { MainPage = 0, ReadPage, DiagnosisPage, UnblockPage, AutoUnblockPage, UploadPage };
    enum View { CardInfoView = 0, DiagnosisView, StatusView };

    void initProgressElements();

    // Reader table.
    void addReaderRow(int row, const QString& name);
    int findReaderRow(const QString& name) const;
    void setReaderIcon(int row, const QString& path);
    void showCardHold(const QString& name);
    void lockOtherReaderRows(bool lock);
    QString selectedReader() const;
    bool readerState(const QString& name, ReaderState& state) const;
    void clearSelectedReader();

    // Button rules and pages.
    void applyButtons(const MainWindowRules::CommandButtons& buttons);
    void setNoCardButtons();
    void setBusyButtons();
    void setCardButtons(const QString& readerName);
    void openPage(int page);
    // After a dialog with its own event loop: the page is still open for the
    // reader's card and no operation is awaited.
    bool stillOn(int page, const QString& readerName) const;
    void showStatusView();

    void showMessageBox(uchar type, const QString& text, const QString& inftext, const QString& detailtext);
    void log(uchar type, const QString& msg);
    void logInterrupted(const QString& readerName);
    bool loadPrivateKey(MultiProgressElement* progress);

    // Card information view.
    bool showCardInfo(const QString& readerName);
    void fillCardInfoTable(const QMap<QString, QString>& info);

    // Manual unblock.
    void updateUnblockButtons();

    // Diagnosis tables.
    void fillCommandCheckTable(const ReaderState& state);
    void fillDataCheckTable(const ReaderState& state);
    void fillFaultEventTable(const ReaderState& state);
    void setCheckingTabIcon(int tab, const QString& path);

    // Client status.
    void fillRequestsTable(const QString& statusText);
    bool emptyRequestsTable(int fill, QElapsedTimer& slice);
    bool answerBetweenSlices(int fill, QElapsedTimer& slice);

    // Exports.
    void initContextMenus();
    void showContextMenu(QTableWidget* table, const QPoint& pos, const QString& secondText, void (MainWindow::*second)());
    void exportToExcel(const QList<QTableWidget*>& tables, const QStringList& names);
    void exportToCsv(const QList<QTableWidget*>& tables, const QStringList& names);
    void exportLog(bool html);
    TableExportRules exportRules();

    // Upload.
    void selectUploadService(quint8 service);
    void updateSendButton();
    void updateUploadControls();
    void updateFileControls();
    void refreshUploadPinEdit();
    void startUpload();
    void prepareUpload();
    void readCardForUpload();

    MultiProgressElement autoUnblockProgress;
    MultiProgressElement statusProgress;
    MultiProgressElement unblockProgress;
    MultiProgressElement readProgress;
    MultiProgressElement checkProgress;
    MultiProgressElement uploadProgress;
    Config* config = nullptr;
    const ReaderManager* readerManager = nullptr;
    QTimer clockTimer;
    // The card operation the window waits for; busy while it runs.
    OperationTracker operations;
    CardHolds cardHolds;
    QTableWidget* contextTable = nullptr;
    Sender* sender = nullptr;
    Ui_MainWindow* ui = nullptr;
    std::unique_ptr<LogView> logView;
    IconCache icons;
    quint8 uploadCardPresent = 0;
    quint8 uploadNeedsPin = 0;
    quint8 uploadService = 255;
    // Counts requests-table fills, so a fill that another one overtook
    // while events were processed stops writing.
    int requestsFill = 0;
};
