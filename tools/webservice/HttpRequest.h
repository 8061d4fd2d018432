#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One HTTP/1.1 request as the service received it.
struct HttpRequest
{
    QByteArray method;
    QByteArray path;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The first header of that name, compared without case.
    QByteArray header(const QByteArray& name) const;
};
