#pragma once

#include <QSplashScreen>

// The splash screen of start-up: shown as soon as it is made, with every
// message in bold black at the bottom centre.
class StartSplash : public QSplashScreen
{
    Q_OBJECT

public:
    explicit StartSplash(const QString& imagePath = QStringLiteral(":/imgs/splash.png"));

    void say(const QString& message);
};
