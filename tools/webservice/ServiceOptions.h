#pragma once

#include <QByteArray>
#include <QString>

// How the service behaves, from the command line. Steps are named "page"
// (login page), "login" (login post), "create", "read" and "messages".
// A flood sends 256 KB every 10 ms, a trickle one byte every 100 ms, both
// without end.
struct ServiceOptions
{
    QString dir;
    QString user = QStringLiteral("driver");
    QString password = QStringLiteral("secret");
    bool refuseLogin = false;
    bool brokenToken = false;
    QString state = QStringLiteral("done");
    QString http500At;
    QString rpcErrorAt;
    QString htmlAt;
    QString stallAt;
    QString floodAt;
    QString trickleAt;
    double errorCode = 200;
    QByteArray createResult;
    // Above 0: the service's own texts (an HTTP error's reason, a JSON-RPC
    // error's message, each message body) are that many letters "x".
    int textLength = 0;
    QString certFile;
    QString keyFile;
};
