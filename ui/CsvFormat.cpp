#include "ui/CsvFormat.h"

#include "ui/TableSnapshot.h"

#include <QRegularExpression>

namespace {

const QString lineEnd = QStringLiteral("\r\n");

bool looksLikeFormula(const QString &text)
{
    static const QRegularExpression plainNumber(QStringLiteral("\\A[+-]?\\d+([.,]\\d+)?\\z"));
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && formulaStarts.contains(text.at(0)) && !plainNumber.match(text).hasMatch();
}

} // namespace

QString csvHeaderLine(const TableSnapshot &table)
{
    return table.headers.join(QLatin1Char(',')) + lineEnd;
}

QString csvRowLine(const TableSnapshot &table, int row)
{
    QString line;
    const QVector<std::optional<QString>> &cells = table.rows.at(row);
    const int last = cells.size() - 1;
    for (int c = 0; c <= last; ++c) {
        if (!cells.at(c))
            continue;
        line += csvCell(*cells.at(c));
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
