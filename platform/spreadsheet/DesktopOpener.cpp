#include "platform/spreadsheet/DesktopOpener.h"

DesktopOpener::DesktopOpener(const QString &path, QObject *parent)
    : QObject(parent)
    , path(path)
{
    // The application may inherit these channels and write to them as long
    // as it runs; nobody would read them.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    connect(&process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(false);
    });
    connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) { finish(status == QProcess::NormalExit && code == 0); });
}

DesktopOpener::~DesktopOpener()
{
    // Ending xdg-open leaves an application it started running.
    process.disconnect(this);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
}

void DesktopOpener::start()
{
    process.start(QStringLiteral("xdg-open"), {path});
}

void DesktopOpener::finish(bool opened)
{
    if (!opened)
        emit failed(path);
    deleteLater();
}
