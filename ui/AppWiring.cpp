#include "ui/AppWiring.h"

#include "config/Config.h"
#include "net/ClientKVOBServer.h"
#include "net/Sender.h"
#include "readers/CardReaderAgent.h"
#include "readers/ReaderManager.h"
#include "ui/AboutWindow.h"
#include "ui/ConfigWindow.h"
#include "ui/MainWindow.h"
#include "ui/services/DRVPEventLogger.h"

#include <QtGlobal>

namespace {

// Counts the connections that failed; each failure is named in a warning.
class Wiring
{
public:
    template <typename Sender, typename Signal, typename Receiver, typename Slot>
    void connect(const Sender* sender, Signal signal, const Receiver* receiver, Slot slot, const char* what,
                 Qt::ConnectionType type = Qt::AutoConnection)
    {
        if (!sender || !receiver || !QObject::connect(sender, signal, receiver, slot, type)) {
            qWarning("Connection failed: %s", what);
            ok = false;
        }
    }

    bool ok = true;
};

} // namespace

bool connectApplication(const AppObjects& o)
{
    Wiring w;
    // The monitor to the reader manager.
    w.connect(o.agent, &CardReaderAgent::contextEstablished, o.manager, &ReaderManager::on_ContextEstablished,
              "contextEstablished");
    w.connect(o.agent, &CardReaderAgent::foundCardReaders, o.manager, &ReaderManager::on_FoundCardReaders,
              "foundCardReaders to the manager");
    w.connect(o.agent, &CardReaderAgent::mountedCard, o.manager, &ReaderManager::on_MountedCard,
              "mountedCard to the manager");
    w.connect(o.agent, &CardReaderAgent::unmountedCard, o.manager, &ReaderManager::on_UnmountedCard,
              "unmountedCard to the manager");
    w.connect(o.agent, &CardReaderAgent::cardUsing, o.manager, &ReaderManager::on_CardUsing,
              "cardUsing to the manager");
    w.connect(o.agent, &CardReaderAgent::unmountedCardReader, o.manager, &ReaderManager::on_UnmountedCardReader,
              "unmountedCardReader to the manager");

    // The monitor to the main window.
    w.connect(o.agent, &CardReaderAgent::foundCardReaders, o.window, &MainWindow::on_FoundCardReaders,
              "foundCardReaders to the window");
    w.connect(o.agent, &CardReaderAgent::cardUsing, o.window, &MainWindow::on_CardUsing, "cardUsing to the window");
    w.connect(o.agent, &CardReaderAgent::mountedCard, o.window, &MainWindow::on_MountedCard,
              "mountedCard to the window");
    w.connect(o.agent, &CardReaderAgent::unmountedCardReader, o.window, &MainWindow::on_UnmountCardReader,
              "unmountedCardReader to the window");
    w.connect(o.agent, &CardReaderAgent::unmountedCard, o.window, &MainWindow::on_UnmountedCard,
              "unmountedCard to the window");
    w.connect(o.agent, &CardReaderAgent::errorCardReader, o.window, &MainWindow::on_ErrorCardReader,
              "errorCardReader");

    // The reader manager to the main window.
    w.connect(o.manager, &ReaderManager::showUpdatedCardInfo, o.window, &MainWindow::on_ShowUpdatedCardInfo,
              "showUpdatedCardInfo");
    w.connect(o.manager, &ReaderManager::readFinished, o.window, &MainWindow::on_ReadFinished, "readFinished");
    w.connect(o.manager, &ReaderManager::autoUnblockFinished, o.window, &MainWindow::on_AutoUnblockFinished,
              "autoUnblockFinished");
    w.connect(o.manager, &ReaderManager::checkFinished, o.window, &MainWindow::on_CheckFinished, "checkFinished");
    w.connect(o.manager, &ReaderManager::unblockFinished, o.window, &MainWindow::on_UnblockFinished,
              "unblockFinished");
    w.connect(o.manager, &ReaderManager::showErrMsg, o.window, &MainWindow::on_ShowErrMsg, "showErrMsg");
    w.connect(o.manager, &ReaderManager::cardWork, o.window, &MainWindow::on_CardWork, "cardWork");
    // After the window's: the monitor's restatement must come after the end
    // of our work it answers.
    w.connect(o.manager, &ReaderManager::cardWork, o.agent, &CardReaderAgent::on_CardWork, "cardWork to the monitor",
              Qt::DirectConnection);

    // The main window's requests to the reader manager; the interrupt runs
    // at once in the GUI thread and only sets flags there.
    w.connect(o.window, &MainWindow::autoUnblockCard, o.manager, &ReaderManager::on_AutoUnblockCard,
              "autoUnblockCard");
    w.connect(o.window, &MainWindow::unblockCard, o.manager, &ReaderManager::on_UnblockCard, "unblockCard");
    w.connect(o.window, &MainWindow::readCard, o.manager, &ReaderManager::on_ReadCard, "readCard");
    w.connect(o.window, &MainWindow::checkCard, o.manager, &ReaderManager::on_CheckCard, "checkCard");
    w.connect(o.window, &MainWindow::interruptAllOperation, o.manager, &ReaderManager::on_InterruptAllOperation,
              "interruptAllOperation", Qt::DirectConnection);

    // Both ask the unblock-server client and both get every result.
    w.connect(o.window, &MainWindow::makeCommand, o.client, &ClientKVOBServer::on_MakeCommand,
              "makeCommand of the window");
    w.connect(o.client, &ClientKVOBServer::commandResult, o.window, &MainWindow::on_commandResult,
              "commandResult to the window");
    w.connect(o.manager, &ReaderManager::makeCommand, o.client, &ClientKVOBServer::on_MakeCommand,
              "makeCommand of the manager");
    w.connect(o.client, &ClientKVOBServer::commandResult, o.manager, &ReaderManager::on_commandResult,
              "commandResult to the manager");

    w.connect(o.config, &Config::userCertChanged, o.window, &MainWindow::on_UserCertChanged, "userCertChanged");
    w.connect(o.window, &MainWindow::ShowCfgWindow, o.configWindow, &ConfigWindow::on_Show, "ShowCfgWindow");
    w.connect(o.window, &MainWindow::ShowAboutWindow, o.aboutWindow, &AboutWindow::on_ShowAbout,
              "ShowAboutWindow");
    return w.ok;
}

bool connectLogging(const AppObjects& o)
{
    Wiring w;
    w.connect(o.window, &MainWindow::logginMessage, o.logger, &DRVPEventLogger::on_logginMessage,
              "log of the window");
    w.connect(o.manager, &ReaderManager::logginMessage, o.logger, &DRVPEventLogger::on_logginMessage,
              "log of the manager");
    w.connect(o.client, &ClientKVOBServer::logginMessage, o.logger, &DRVPEventLogger::on_logginMessage,
              "log of the unblock-server client");
    w.connect(o.config, &Config::loggingMessage, o.logger, &DRVPEventLogger::on_logginMessage,
              "log of the settings");
    w.connect(o.sender, &Sender::logginMessage, o.logger, &DRVPEventLogger::on_logginMessage,
              "log of the upload client");
    w.connect(o.configWindow, &ConfigWindow::logginMessage, o.logger, &DRVPEventLogger::on_logginMessage,
              "log of the configuration dialog");
    w.connect(o.logger, &DRVPEventLogger::newLogMessage, o.window, &MainWindow::on_NewLogMessage,
              "log view of the window");
    return w.ok;
}
