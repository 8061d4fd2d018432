#include "platform/spreadsheet/AutomationObject.h"

#include "platform/spreadsheet/SpreadsheetSession.h"

#include <QDynamicPropertyChangeEvent>
#include <QEvent>

AutomationObject::AutomationObject(const QString &progId, const QString &exportFolder, QObject *parent)
    : QObject(parent)
    , kind(progId == QLatin1String("Excel.Application") ? Kind::Application : Kind::None)
    , session(std::make_shared<SpreadsheetSession>())
{
    session->folder = exportFolder;
}

AutomationObject::AutomationObject(Kind kind, std::shared_ptr<SpreadsheetSession> session, int book,
                                   int sheet, int row, int column, QObject *parent)
    : QObject(parent)
    , kind(kind)
    , session(std::move(session))
    , book(book)
    , sheet(sheet)
    , row(row)
    , column(column)
{
}

AutomationObject::~AutomationObject() = default;

AutomationObject *AutomationObject::child(Kind childKind, int childBook, int childSheet, int childRow,
                                          int childColumn)
{
    return new AutomationObject(childKind, session, childBook, childSheet, childRow, childColumn, this);
}

AutomationObject *AutomationObject::querySubObject(const char *name, const QVariant &arg1,
                                                   const QVariant &arg2)
{
    const QByteArray what(name);
    switch (kind) {
    case Kind::Application:
        if (what == "Workbooks")
            return child(Kind::Workbooks);
        break;
    case Kind::Workbooks:
        if (what == "Add") {
            session->books.append(WorkbookData());
            return child(Kind::Workbook, session->books.size() - 1);
        }
        break;
    case Kind::Workbook:
        if (what == "Worksheets")
            return child(Kind::Worksheets, book);
        break;
    case Kind::Worksheets:
        if (what == "Add") {
            auto &sheets = session->books[book].sheets;
            sheets.append(SheetData{QStringLiteral("Лист%1").arg(sheets.size() + 1), {}});
            return child(Kind::Worksheet, book, sheets.size() - 1);
        }
        break;
    case Kind::Worksheet:
        if (what == "Cells(int,int)" && arg1.toInt() >= 1 && arg2.toInt() >= 1)
            return child(Kind::Cell, book, sheet, arg1.toInt(), arg2.toInt());
        break;
    case Kind::Cell:
    case Kind::None:
        break;
    }
    return nullptr;
}

QVariant AutomationObject::dynamicCall(const char *function, const QVariant &arg)
{
    if (kind != Kind::Application || QByteArray(function) != "SetVisible(bool)")
        return QVariant();
    if (!arg.toBool())
        return true;
    return session->writeBooks();
}

QString AutomationObject::lastError() const
{
    return session->lastError;
}

QStringList AutomationObject::writtenFiles() const
{
    return session->writtenFiles;
}

bool AutomationObject::event(QEvent *e)
{
    if (e->type() == QEvent::DynamicPropertyChange)
        propertyWritten(static_cast<QDynamicPropertyChangeEvent *>(e)->propertyName());
    return QObject::event(e);
}

// Properties arrive through QObject::setProperty, as they do on a real
// automation object.
void AutomationObject::propertyWritten(const QByteArray &name)
{
    const QString value = property(name.constData()).toString();
    if (kind == Kind::Worksheet && name == "Name")
        session->books[book].sheets[sheet].name = value;
    else if (kind == Kind::Cell && name == "Value")
        session->books[book].sheets[sheet].cells.insert(qMakePair(row, column), value);
}
