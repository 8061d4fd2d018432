#include "ui/CsvFormat.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTableWidget>

namespace {

const QString lineEnd = QStringLiteral("\r\n");

bool looksLikeFormula(const QString &text)
{
    static const QRegularExpression plainNumber(QStringLiteral("\\A[+-]?\\d+([.,]\\d+)?\\z"));
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && formulaStarts.contains(text.at(0)) && !plainNumber.match(text).hasMatch();
}

} // namespace

QString csvHeaderLine(const QTableWidget &table)
{
    QStringList titles;
    for (int c = 0; c < table.columnCount(); ++c) {
        const QTableWidgetItem *item = table.horizontalHeaderItem(c);
        titles << (item ? item->text() : QString());
    }
    return titles.join(QLatin1Char(',')) + lineEnd;
}

QString csvRowLine(const QTableWidget &table, int row)
{
    QString line;
    const int last = table.columnCount() - 1;
    for (int c = 0; c <= last; ++c) {
        const QTableWidgetItem *item = table.item(row, c);
        if (!item)
            continue;
        line += csvCell(item->text());
        if (c != last)
            line += QLatin1Char(',');
    }
    return line + lineEnd;
}

QString csvCell(const QString &text)
{
    QString cell = text;
    cell.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    if (looksLikeFormula(text))
        cell.prepend(QLatin1Char('\''));
    return QLatin1Char('"') + cell + QLatin1Char('"');
}

QString csvFileName(const QString &chosen)
{
    if (chosen.right(4).toUpper() == QLatin1String(".CSV"))
        return chosen;
    return chosen + QStringLiteral(".csv");
}
