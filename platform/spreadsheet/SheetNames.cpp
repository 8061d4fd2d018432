#include "platform/spreadsheet/SheetNames.h"

#include <QRegularExpression>
#include <QSet>

namespace {

const int maxLength = 31;

QString cleanName(const QString &name)
{
    QString clean = name;
    clean.replace(QRegularExpression(QStringLiteral("[\\[\\]:*?/\\\\\\x00-\\x1f]")), QStringLiteral("_"));
    clean = clean.left(maxLength);
    while (clean.startsWith(QLatin1Char('\'')))
        clean.remove(0, 1);
    while (clean.endsWith(QLatin1Char('\'')))
        clean.chop(1);
    return clean.isEmpty() ? QStringLiteral("Лист") : clean;
}

} // namespace

QStringList validSheetNames(const QStringList &names)
{
    QStringList result;
    QSet<QString> taken;
    for (const QString &name : names) {
        const QString base = cleanName(name);
        QString candidate = base;
        for (int n = 2; taken.contains(candidate.toCaseFolded()); ++n) {
            const QString suffix = QStringLiteral(" (%1)").arg(n);
            candidate = base.left(maxLength - suffix.size()) + suffix;
        }
        taken.insert(candidate.toCaseFolded());
        result << candidate;
    }
    return result;
}
