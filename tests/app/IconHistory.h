#pragma once

#include "tests/app/ProgramDriver.h"

#include <QTableWidget>

// The reader row's icon at each change ("0", "2", "3", "-1" for the error
// picture) and "end" each time the reader manager tells that our work with
// the card is over, once the window has taken that in.
class IconHistory : public QObject
{
public:
    IconHistory(ProgramDriver::RunningProgram& rig, const QString& reader)
    {
        MainWindow* window = rig.window;
        auto* table = window->findChild<QTableWidget*>("ReaderListTbl");
        connect(table->model(), &QAbstractItemModel::headerDataChanged, this,
                [this, window, reader](Qt::Orientation orientation) {
                    const QString now = QString::number(ProgramDriver::readerIcon(window, reader));
                    if (orientation == Qt::Vertical && now != icon)
                        seen << now;
                    icon = now;
                });
        // Connected after the window's own handler: runs right after it.
        connect(&rig.program.readerManager(), &ReaderManager::cardWork, window,
                [this, reader](const QString& name, CardWork work) {
                    if (name == reader && work != CardWork::Started)
                        seen << QStringLiteral("end");
                });
    }

    int ends() const { return seen.count(QStringLiteral("end")); }

    QStringList seen;

private:
    QString icon;
};
