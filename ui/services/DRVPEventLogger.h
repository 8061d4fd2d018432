#ifndef DRVP_DRVPEVENTLOGGER_H
#define DRVP_DRVPEVENTLOGGER_H

#include <QFile>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

// The one sink of the program's event messages. Each message becomes one
// line of "dravekpro.log" in the application's data folder and one coloured
// HTML line for the log view (signal newLogMessage).
//
// Message types: 0 information, 1 warning, 2 error; any other value is
// logged as "None".
//
// Senders pass plain text, outside text (server replies, card fields, file
// paths) as it came: the file keeps it literally and the log view's copy is
// escaped here. The markup the program sends on purpose stays markup in the
// copy: bold advice ("<b>text</b>") and a link to a saved file whose text is
// its own path ("<a href="p">p</a>", no URL scheme).
//
// Lives in the GUI thread; senders in other threads connect with queued
// (default) connections, but for writeNow.
class DRVPEventLogger : public QObject
{
    Q_OBJECT

public:
    explicit DRVPEventLogger(QObject* parent = nullptr);
    ~DRVPEventLogger() override;

    // Opens the log for appending and writes the opening line. Call once,
    // after the application's organisation and name are set. A failure is
    // shown to the user in a message box; the run goes on without a file.
    void openLog();
    // Writes the closing line and closes the file.
    void closeLog();

    // Any thread: true once the line is in the file and synced to disk;
    // false when the log file is not open or the disk refused the line. The
    // log view gets it as any other. Lines of other threads, the GUI
    // thread's included, never wait for this sync.
    bool writeNow(quint8 type, const QString& msg);

public slots:
    void on_logginMessage(quint8 type, const QString& msg);

signals:
    void newLogMessage(QString logmsg);

private:
    // True once the line is in the file; with `syncHandle`, also hands out a
    // new descriptor of the file, which the caller syncs and closes.
    bool write(quint8 type, const QString& msg, int* syncHandle);
    bool openForAppending();
    bool followPath(QString* notice);
    QString headOf(const QString& time, quint8 type) const;
    QString htmlLine(const QString& time, quint8 type, const QString& msg) const;
    void showFailure(const QString& text, const QString& informativeText);
    static QString htmlText(const QString& msg);

    // Guards the file and its stream against writeNow from other threads;
    // never held while the disk syncs.
    QMutex fileLock;
    QString logPath;
    QFile logFile;
    QTextStream stream;
    QStringList levelNames;
    QStringList levelColours;
};

// The program's logger, created before main() runs; main() opens, closes
// and deletes it.
extern DRVPEventLogger* eventLogger;

#endif
