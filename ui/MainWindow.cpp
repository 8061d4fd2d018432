#include "ui/MainWindow.h"

#include "config/Config.h"
#include "readers/ReaderManager.h"
#include "ui/MainWindowRules.h"
#include "ui/CutTextTips.h"
#include "ui/ExcerptDelegate.h"
#include "ui/LogView.h"
#include "ui/PassPhraseDialog.h"
#include "ui/TableColumns.h"
#include "ui/services/drvpMessageBox.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QRegExp>
#include <QRegExpValidator>
#include <QTime>

namespace {

// One progress element per operation page: its icon labels, the picture
// kind of each step and its message label.
struct ProgressLayout
{
    MultiProgressElement MainWindow::*element;
    QStringList labels;
    QStringList kinds;
    QString message;
};

QStringList numbered(const QString& prefix, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << prefix + QString::number(i);
    return names;
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
{
    auto* pinValidator = new QRegExpValidator(QRegExp(QStringLiteral("[0-9]{4}")), this);
    auto* pukValidator = new QRegExpValidator(QRegExp(QStringLiteral("[0-9]{8}")), this);
    ui->setupUi(this);

    contextTable = ui->CardInfoTbl;
    ui->CardInfoTbl->setColumnWidth(0, 250);
    logView = std::make_unique<LogView>(ui->ConsoleTEdt);
    ui->MainFrame->setCurrentIndex(MainPage);
    ui->ViewFrame->setCurrentIndex(StatusView);

    connect(&clockTimer, &QTimer::timeout, this, &MainWindow::on_DisplayClock);
    clockTimer.start(1000);
    on_DisplayClock(); // the clock shows the time from the start, not after the first tick

    ui->PUKEdt->setValidator(pukValidator);
    for (QLineEdit* edit : {ui->UnblockPinEdt, ui->CheckingPinEdt, ui->ReadPINEdt, ui->ANewPINEdt, ui->LKReadPINEdt})
        edit->setValidator(pinValidator);
    // An emptied code edit forgets its undo history, which would otherwise
    // grow with every code typed in the run and keep each of its digits.
    // Their echo modes let undo do no more than empty them anyway.
    for (QLineEdit* edit : {ui->PUKEdt, ui->UnblockPinEdt, ui->CheckingPinEdt, ui->ReadPINEdt, ui->ANewPINEdt,
                            ui->LKReadPINEdt, ui->LKPassWordEdt}) {
        connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) {
            if (text.isEmpty())
                edit->setText(QString());
        });
    }
    initProgressElements();
    initContextMenus();
    // A server's status may hold any number of rows and texts of millions
    // of characters.
    ui->LastAUBTbl->setItemDelegate(new ExcerptDelegate(ui->LastAUBTbl));
    fitOnlyRowsInView(ui->LastAUBTbl);
    // Empty at first, yet with whole captions.
    for (QTableWidget* table : {ui->ReaderListTbl, ui->CmdCheckTbl, ui->DataCheckTbl, ui->FaultEventTbl, ui->LastAUBTbl})
        fitColumnsToContent(table);
    showCutTextsInToolTips(this);
}

MainWindow::~MainWindow()
{
    emit interruptAllOperation();
    delete ui;
}

void MainWindow::initProgressElements()
{
    const QVector<ProgressLayout> layouts{
        {&MainWindow::statusProgress, numbered(QStringLiteral("UpdateCounterLbl"), 4),
         {"connect", "send", "resive", "preview"}, QStringLiteral("StatusPrgLbl")},
        {&MainWindow::readProgress, numbered(QStringLiteral("Reading"), 3), {"card", "read", "save"},
         QStringLiteral("ReadPrgLbl")},
        {&MainWindow::checkProgress, numbered(QStringLiteral("Checking"), 4), {"card", "data", "enf", "check"},
         QStringLiteral("CheckingPrgLbl")},
        {&MainWindow::unblockProgress, {QStringLiteral("UBlck0"), QStringLiteral("UBlck1")}, {"card", "unblock"},
         QStringLiteral("UBlckPrgLbl")},
        {&MainWindow::autoUnblockProgress, numbered(QStringLiteral("AutoUBlck"), 5),
         {"card", "connect", "send", "resive", "unblock"}, QStringLiteral("AutoUBlckPrgLbl")},
        {&MainWindow::uploadProgress, numbered(QStringLiteral("LKReading"), 5),
         {"card", "read", "save", "connect", "resive"}, QStringLiteral("LKReadingProgressLbl")},
    };
    for (const ProgressLayout& layout : layouts) {
        QVector<QLabel*> labels;
        QVector<QVector<QString>> paths;
        for (int i = 0; i < layout.labels.size(); ++i) {
            labels << findChild<QLabel*>(layout.labels.at(i));
            QVector<QString> states;
            for (int state = 0; state < 4; ++state)
                states << QStringLiteral(":/imgs/step_%1%2.png").arg(layout.kinds.at(i)).arg(state);
            paths << states;
        }
        (this->*layout.element).init(labels, paths, findChild<QLabel*>(layout.message));
    }
}

void MainWindow::setConfig(Config* config)
{
    this->config = config;
}

void MainWindow::setReaderManager(const ReaderManager* manager)
{
    readerManager = manager;
}

void MainWindow::setSender(Sender* sender)
{
    this->sender = sender;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!operations.busy()) {
        event->accept();
        return;
    }
    event->ignore();
    showMessageBox(2, QStringLiteral("Ошибка закрытия Дравека Про"),
                   QStringLiteral("Дравек Про не может быть закрыт в процессе взаимодействия с картой тахографа."),
                   QStringLiteral("Дождитесь окончания выполнения или отмените выполнение операций с картой "
                                  "тахографа. Затем повторите команду закрытия Дравека Про."));
}

void MainWindow::on_DisplayClock()
{
    const QTime now = QTime::currentTime();
    ui->SecLcd->display(now.second());
    ui->SecSld->setValue(now.second());
    ui->MinLcd->display(now.minute());
    ui->MinSld->setValue(now.minute());
    ui->HourLcd->display(now.hour());
    ui->HourSld->setValue(now.hour());
}

void MainWindow::on_UserCertChanged()
{
    if (!config)
        return;
    const QString title = MainWindowRules::userWindowTitle(config->appInfo, config->userCert);
    if (!title.isEmpty())
        setWindowTitle(title);
}

void MainWindow::on_ShowErrMsg(uchar type, const QString& text, const QString& inftext, const QString& detailtext)
{
    showMessageBox(type, text, inftext, detailtext);
}

void MainWindow::showMessageBox(uchar type, const QString& text, const QString& inftext, const QString& detailtext)
{
    drvpMessageBox box;
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowTitle(QStringLiteral("Ошибка"));
    box.setWindowIcon(QIcon(QStringLiteral(":/icons/shortlogo.ico")));
    switch (type) {
    case 1:
        box.setIcon(QMessageBox::Information);
        break;
    case 2:
        box.setIcon(QMessageBox::Warning);
        break;
    case 3:
        box.setIcon(QMessageBox::Critical);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if (!text.isEmpty())
        box.setText(text);
    if (!inftext.isEmpty())
        box.setInformativeText(inftext);
    if (!detailtext.isEmpty())
        box.setDetailedText(detailtext);
    box.exec();
}

void MainWindow::log(uchar type, const QString& msg)
{
    emit logginMessage(type, msg);
}

void MainWindow::logInterrupted(const QString& readerName)
{
    log(2, QStringLiteral("%1: Операция прервана пользователем.").arg(readerName));
}

void MainWindow::on_CancelBtn_clicked()
{
    const QString reader = selectedReader();
    if (operations.busy()) {
        logInterrupted(reader);
        emit interruptAllOperation();
    }
    operations.cancelled();
    ui->MainFrame->setCurrentIndex(MainPage);
    ReaderState state;
    if (readerState(reader, state) && state.cardPresent)
        setCardButtons(reader);
    else
        setNoCardButtons();
    lockOtherReaderRows(false);
}

void MainWindow::cancelWork()
{
    if (operations.busy())
        on_CancelBtn_clicked();
}

void MainWindow::on_ConfigBtn_clicked()
{
    emit ShowCfgWindow();
}

void MainWindow::on_AboutBtn_clicked()
{
    emit ShowAboutWindow();
}

void MainWindow::on_ViewStatusBtn_clicked()
{
    showStatusView();
}

void MainWindow::showStatusView()
{
    ui->ViewFrame->setCurrentIndex(StatusView);
}

void MainWindow::on_ViewFrame_currentChanged(int arg1)
{
    ui->ViewStatusBtn->setEnabled(arg1 != StatusView);
}

// Codes typed on a page leave with it, however it is left (cancel, a pulled
// card, a removed reader): none waits in a hidden page for the next user.
void MainWindow::on_MainFrame_currentChanged(int /*arg1*/)
{
    for (QLineEdit* edit : {ui->PUKEdt, ui->UnblockPinEdt, ui->ANewPINEdt, ui->ReadPINEdt, ui->CheckingPinEdt,
                            ui->LKReadPINEdt, ui->LKPassWordEdt})
        edit->clear();
}

void MainWindow::applyButtons(const MainWindowRules::CommandButtons& buttons)
{
    ui->UploadBtn->setEnabled(buttons.upload);
    ui->ReadCardsBtn->setEnabled(buttons.read);
    ui->AutoUnblockBtn->setEnabled(buttons.autoUnblock);
    ui->CheckingCardBtn->setEnabled(buttons.checking);
    ui->UnblockCardBtn->setEnabled(buttons.unblock);
    ui->CancelBtn->setEnabled(buttons.cancel);
}

void MainWindow::setNoCardButtons()
{
    applyButtons(MainWindowRules::commandButtons(MainWindowRules::ButtonState::NoCard));
}

void MainWindow::setBusyButtons()
{
    applyButtons(MainWindowRules::commandButtons(MainWindowRules::ButtonState::Busy));
}

void MainWindow::setCardButtons(const QString& readerName)
{
    ReaderState state;
    if (!readerState(readerName, state))
        return;
    // A state published after the card went shows no card.
    if (!state.cardPresent) {
        setNoCardButtons();
        return;
    }
    applyButtons(MainWindowRules::commandButtons(MainWindowRules::ButtonState::Card, state.cardKind, state.cardType));
}

// Every operation page opens the same way: the other readers locked and
// only Cancel usable.
void MainWindow::openPage(int page)
{
    lockOtherReaderRows(true);
    setBusyButtons();
    ui->MainFrame->setCurrentIndex(page);
}

bool MainWindow::stillOn(int page, const QString& readerName) const
{
    ReaderState state;
    return ui->MainFrame->currentIndex() == page && selectedReader() == readerName && !operations.waiting()
        && readerState(readerName, state) && state.cardPresent;
}

bool MainWindow::loadPrivateKey(MultiProgressElement* progress)
{
    if (config->auth.value(QStringLiteral("PKeyUser")).isEmpty()) {
        progress->setCurrentState(3, QStringLiteral("Не удалось загрузить закрытый ключ"));
        log(1, QStringLiteral("В настройках не задан параметр закрытого ключа пользователя."));
        return false;
    }
    if (!config->userKey.isNull())
        return true;

    progress->setCurrentState(1, QStringLiteral("Загрузка закрытого ключа"));
    SecretBytes passPhrase;
    if (!askPassPhrase(passPhrase)) {
        progress->setCurrentState(3, QStringLiteral("Пользователь отменил загрузку ключа"));
        log(2, QStringLiteral("Пользователь отменил загрузку закрытого ключа."));
        return false;
    }
    // Config wipes the pass phrase on every result.
    if (config->loadPrivateKey(passPhrase) != 0) {
        progress->setCurrentState(3, QStringLiteral("Не удалось загрузить закрытый ключ"));
        return false;
    }
    return true;
}
