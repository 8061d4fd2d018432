#pragma once

#include <QMap>
#include <QString>

// Descriptions shown beside each editable settings key, one table per group.
extern const QMap<QString, QString> pathParams;
extern const QMap<QString, QString> certParams;
extern const QMap<QString, QString> unblockServerParams;
extern const QMap<QString, QString> serviceParams;

// Patterns of the values that must have a form; each must match the whole text.
extern const QString hostRegExp;
extern const QString portRegExp;
extern const QString timeoutRegExp;
