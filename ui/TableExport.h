#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;
class QTableWidget;

// What differs between the windows that export their tables.
struct TableExportRules
{
    QString exportFolder;
    // The main window stops a spreadsheet export at the next row when the
    // user cancels; the configuration dialog's exports ignore the button.
    bool cancelStopsSpreadsheet = true;
    // Texts of the box shown when a CSV file cannot be written; "%1" is the
    // file's path.
    QString openErrorText;
    QString openErrorInformative;
    // Shows a failure: text, informative text, detailed text.
    std::function<void(const QString &, const QString &, const QString &)> showError;
    // Logs a line: level, text.
    std::function<void(quint8, const QString &)> log;
    // The window: a spreadsheet file may turn out unopenable after the export
    // has returned, and is reported only while the window lives.
    QObject *owner = nullptr;
};

// Both write the tables' texts as they stand when called, whatever happens to
// the tables while the export's dialogs are open.

// One sheet per table, named by `names`, headers in row 1, cells from row 2,
// then written by the spreadsheet layer into the export folder, logged and
// handed to the desktop to open.
void exportTablesToSpreadsheet(const QList<QTableWidget *> &tables, const QStringList &names,
                               const TableExportRules &rules);
// One CSV file per table, each asked for with a save dialog; a cancelled
// dialog ends the job, files already written stay.
void exportTablesToCsv(const QList<QTableWidget *> &tables, const QStringList &names,
                       const TableExportRules &rules);
