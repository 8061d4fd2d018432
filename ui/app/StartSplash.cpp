#include "ui/app/StartSplash.h"

#include <QCoreApplication>
#include <QFont>
#include <QPixmap>

StartSplash::StartSplash(const QString& imagePath)
    : QSplashScreen(QPixmap(imagePath))
{
    setFont(QFont(font().family(), 11, QFont::Bold, false));
    say(QStringLiteral("Инициализация..."));
    show();
    // Painted now: the objects made next keep the event loop away for a while.
    QCoreApplication::processEvents();
}

void StartSplash::say(const QString& message)
{
    showMessage(message, Qt::AlignBottom | Qt::AlignHCenter, Qt::black);
}
