#pragma once

class AboutWindow;
class CardReaderAgent;
class ClientKVOBServer;
class Config;
class ConfigWindow;
class DRVPEventLogger;
class MainWindow;
class ReaderManager;
class Sender;

// The program's top-level objects, none owned here.
struct AppObjects
{
    CardReaderAgent* agent = nullptr;
    ReaderManager* manager = nullptr;
    MainWindow* window = nullptr;
    ClientKVOBServer* client = nullptr;
    Sender* sender = nullptr;
    Config* config = nullptr;
    DRVPEventLogger* logger = nullptr;
    ConfigWindow* configWindow = nullptr;
    AboutWindow* aboutWindow = nullptr;
};

// The signal paths between the monitor, the reader manager, the windows,
// the unblock-server client and the settings. False when any connection
// could not be made (a warning names it).
bool connectApplication(const AppObjects& objects);

// Every log line into the logger, and the logger's lines to the main window.
// Made once the log is open, so that the opening line reaches the file only.
bool connectLogging(const AppObjects& objects);
