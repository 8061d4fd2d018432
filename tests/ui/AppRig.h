#pragma once

#include "config/Config.h"
#include "net/ClientKVOBServer.h"
#include "net/Sender.h"
#include "readers/CRAController.h"
#include "readers/ReaderManager.h"
#include "ui/AboutWindow.h"
#include "ui/ConfigWindow.h"
#include "ui/MainWindow.h"
#include "ui/services/DRVPEventLogger.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

class QTableWidget;
class VirtualCardProcess;

// The program as start-up builds it, on the sandbox's readers: the monitor
// thread, the reader manager in its own thread, the main window, both
// clients and a logger, wired by the application's own wiring. The window
// is shown on the offscreen platform and driven through its widgets.
class AppRig
{
public:
    AppRig();
    ~AppRig();

    AppRig(const AppRig&) = delete;
    AppRig& operator=(const AppRig&) = delete;

    // Every connection made, and no slot left unbound by the form.
    bool wired = false;
    // No warning so far of a form slot without its widget or of a signal
    // argument that cannot cross threads.
    static bool quiet();
    static bool recordWarnings();

    void useUnblockServer(quint16 port);
    // Hosts ("127.0.0.1:port") of the two services, over plain HTTP.
    void useServices(const QString& kvarnolHost, const QString& lotvarskHost);
    // The user's key file set, not yet loaded.
    void useKeyFile();

    template <typename T> T* widget(const QString& name) const { return window->findChild<T*>(name); }
    QString text(const QString& name) const;
    bool enabled(const QString& name) const;
    // Clicks a visible, enabled button as the user would; false otherwise.
    bool click(const QString& name);
    // Types into a visible, enabled line edit.
    bool type(const QString& name, const QString& text);
    // Clicks the reader's row in the reader table.
    bool selectReader(const QString& readerName);
    // The reader's row shows a card number.
    bool waitForCardRow(const QString& readerName);
    // Inserts the card, waits for its row and selects it.
    bool showCard(VirtualCardProcess& card, const QString& profile, const QStringList& options = {});
    int mainPage() const;
    int viewPage() const;
    // "10110": Upload, Read, AutoUnblock, Checking, UnblockCard, Cancel.
    QString commandButtons() const;

    bool logged(const QString& part) const;

    // First, so the form's own warnings are seen.
    bool recording = recordWarnings();
    QTemporaryDir ddd;
    Config config;
    ClientKVOBServer client;
    std::unique_ptr<ReaderManager> manager{new ReaderManager};
    std::unique_ptr<MainWindow> window{new MainWindow};
    ConfigWindow configWindow;
    AboutWindow aboutWindow;
    Sender sender;
    DRVPEventLogger logger;
    std::unique_ptr<CRAController> monitor{new CRAController};
    QThread managerThread;
    QStringList log;
    // "read <path>" and "check" for each finished read and diagnosis, seen in
    // the GUI thread after the window has handled them.
    QStringList finished;
};
