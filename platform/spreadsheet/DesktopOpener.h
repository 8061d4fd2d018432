#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

// Hands one file to the desktop's default application through xdg-open.
// Whether an application took it shows only when xdg-open ends, which may be
// long after (some desktops keep it waiting for the application), so the
// outcome comes later, through `failed`. The opener deletes itself once
// xdg-open has ended.
class DesktopOpener : public QObject
{
    Q_OBJECT

public:
    DesktopOpener(const QString &path, QObject *parent);
    ~DesktopOpener() override;

    // Connect to `failed` first: a missing xdg-open may be told at once.
    void start();

signals:
    // No opener, or it ended with an error: no application shows the file.
    void failed(const QString &path);

private:
    void finish(bool opened);

    QString path;
    QProcess process;
};
