#pragma once

#include <QByteArray>
#include <QString>

// How the service behaves, from the command line. Steps are named "page"
// (login page), "login" (login post), "create", "read" and "messages".
struct ServiceOptions
{
    QString dir;
    QString user = QStringLiteral("driver");
    QString password = QStringLiteral("secret");
    bool refuseLogin = false;
    bool brokenToken = false;
    bool processingFailed = false;
    QString http500At;
    QString rpcErrorAt;
    QString htmlAt;
    QString stallAt;
    double errorCode = 200;
    QByteArray createResult;
    QString certFile;
    QString keyFile;
};
