#include "readers/DddFileName.h"

#include <QDateTime>

namespace {
const QString extension = QStringLiteral(".ddd");
}

namespace DddFileName {

QString noName()
{
    return QStringLiteral("NoName.ddd");
}

QString forCard(const QString &kindName, const QString &cardNumber, const QDateTime &when)
{
    // One pass of arg(): a placeholder inside a card text stays as it is.
    return QStringLiteral("%1_%2-%3.ddd")
        .arg(safePart(kindName), safePart(cardNumber), when.toString(QStringLiteral("yyyyMMdd_hhmm")));
}

QString safePart(const QString &text)
{
    QString safe = text;
    for (QChar &c : safe) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    }
    return safe;
}

QString numbered(const QString &name, int n)
{
    const QString base = name.endsWith(extension) ? name.left(name.size() - extension.size()) : name;
    return QStringLiteral("%1_%2%3").arg(base, QString::number(n), extension);
}

} // namespace DddFileName
