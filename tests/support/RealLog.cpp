#include "tests/support/RealLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace RealLog {

namespace {

// Where the logger opened its file; tests may move the data folder later.
QString openedPath;

QString currentPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/dravekpro.log");
}

// The forms a secret may take in a message.
QStringList formsOf(const QByteArray &secret)
{
    const QString typed = QString::fromUtf8(secret);
    return {typed, typed.toHtmlEscaped(), QString::fromLatin1(QUrl::toPercentEncoding(typed)),
            QString::fromLatin1(secret.toHex()), QString::fromLatin1(secret.toHex().toUpper()),
            QString::fromLatin1(secret.toHex(' ')), QString::fromLatin1(secret.toHex(' ').toUpper())};
}

bool holds(const QString &log, const QString &form)
{
    static const QRegularExpression digitsOnly(QStringLiteral("^[0-9]+$"));
    if (!digitsOnly.match(form).hasMatch())
        return log.contains(form);
    const QRegularExpression alone(QStringLiteral("(?<![\\w])%1(?![\\w])").arg(form),
                                   QRegularExpression::UseUnicodePropertiesOption);
    return alone.match(log).hasMatch();
}

} // namespace

void open()
{
    if (!openedPath.isEmpty())
        return;
    openedPath = currentPath();
    // An earlier program run would show old lines as this run's.
    QFile::remove(openedPath);
    eventLogger->openLog();
}

QString text()
{
    QCoreApplication::processEvents();
    QFile file(openedPath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QStringList secretsFound(const QList<QByteArray> &secrets)
{
    const QString log = text();
    QStringList found;
    for (const QByteArray &secret : secrets) {
        for (const QString &form : formsOf(secret)) {
            if (holds(log, form)) {
                found << form;
                break;
            }
        }
    }
    return found;
}

} // namespace RealLog
