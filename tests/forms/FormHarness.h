#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the warnings Qt prints while a test case runs, so that a style
// sheet that does not parse or a slot without its signal fails the test.
class WarningCatcher
{
public:
    WarningCatcher()
    {
        caught().clear();
        previous() = qInstallMessageHandler(&WarningCatcher::handle);
    }
    ~WarningCatcher() { qInstallMessageHandler(previous()); }
    WarningCatcher(const WarningCatcher&) = delete;
    WarningCatcher& operator=(const WarningCatcher&) = delete;

    static QStringList& caught()
    {
        static QStringList list;
        return list;
    }

private:
    static QtMessageHandler& previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        // The offscreen platform reports what it cannot do; that is no fault of ours.
        if (type != QtDebugMsg && type != QtInfoMsg && !text.startsWith(QLatin1String("QStandardPaths:"))
            && !text.startsWith(QLatin1String("This plugin does not support")))
            caught().append(text);
        if (previous())
            previous()(type, context, text);
    }
};

inline QString applicationStyleSheet()
{
    QFile file(QStringLiteral(":/qss/style.qss"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
