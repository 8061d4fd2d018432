#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

// One request as the web-service double recorded it.
struct RecordedRequest
{
    QString method;
    QString path;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The value of the first header of that name (any case), or a null array.
    QByteArray header(const QByteArray& name) const;
    // Names of the headers in the order they came.
    QList<QByteArray> headerNames() const;
    // The body parsed as a JSON object.
    QJsonObject json() const;
};
