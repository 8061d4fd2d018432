#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One answer of the service; the connection closes after it.
struct HttpResponse
{
    int status = 200;
    QByteArray reason = "OK";
    QByteArray contentType;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray serialised() const;
};
