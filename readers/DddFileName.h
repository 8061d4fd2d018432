#pragma once

#include <QString>

class QDateTime;

// Names of .ddd files. Parts that come from the card are made safe, so a
// name never leaves the folder it is saved in.
namespace DddFileName {

QString noName();
// "<kind>_<card number>-<yyyyMMdd_hhmm>.ddd"
QString forCard(const QString &kindName, const QString &cardNumber, const QDateTime &when);
// Every character other than a letter, a digit, '-' or '_' becomes '_'.
QString safePart(const QString &text);
// The n-th alternative (n from 2) of a name already taken: "<base>_<n>.ddd".
QString numbered(const QString &name, int n);

} // namespace DddFileName
