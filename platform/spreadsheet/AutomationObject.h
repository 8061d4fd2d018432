#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

struct SpreadsheetSession;

// Stands in for the spreadsheet application's automation interface, with
// the calls the exports make of "Excel.Application": the sub-objects
// "Workbooks", "Add", "Worksheets", "Cells(int,int)", the properties
// "DisplayAlerts", "Name" and "Value" (set with QObject::setProperty) and
// the call "SetVisible(bool)". The cells stay in memory; making the
// application visible writes each new workbook as an .xlsx file into the
// export folder, for the caller to open (writtenFiles). Whether the desktop
// can open a file shows only later, so opening it is not this object's part.
// A sub-object belongs to the object it was asked of.
class AutomationObject : public QObject
{
    Q_OBJECT

public:
    // Only "Excel.Application" is known; any other name gives an object that
    // has no sub-objects.
    AutomationObject(const QString &progId, const QString &exportFolder, QObject *parent = nullptr);
    ~AutomationObject() override;

    // Null when there is no such sub-object.
    AutomationObject *querySubObject(const char *name, const QVariant &arg1 = QVariant(),
                                     const QVariant &arg2 = QVariant());
    // "SetVisible(bool)": true writes the workbooks; false when one could not
    // be written (see lastError).
    QVariant dynamicCall(const char *function, const QVariant &arg = QVariant());
    QString lastError() const;
    // The files written so far.
    QStringList writtenFiles() const;

protected:
    bool event(QEvent *e) override;

private:
    enum class Kind { None, Application, Workbooks, Workbook, Worksheets, Worksheet, Cell };

    AutomationObject(Kind kind, std::shared_ptr<SpreadsheetSession> session, int book, int sheet,
                     int row, int column, QObject *parent);
    AutomationObject *child(Kind kind, int book = -1, int sheet = -1, int row = 0, int column = 0);
    void propertyWritten(const QByteArray &name);

    Kind kind = Kind::None;
    std::shared_ptr<SpreadsheetSession> session;
    int book = -1;
    int sheet = -1;
    int row = 0;
    int column = 0;
};
