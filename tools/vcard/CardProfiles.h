#pragma once

#include <QStringList>

class CardImage;
class QDate;
struct ProfileDescription;

// The built-in cards: one per kind and type, plus a full-size driver card,
// plus cards with flawed data.
namespace CardProfiles {

QStringList names();
// Cards with one flaw in their data each, for the host's data checks.
QStringList flawedNames();
const ProfileDescription *find(const QString &name);

// Builds the named card with dates around today (UTC): valid now, with a
// recent last download and recent events. False for an unknown name.
bool build(const QString &name, const QDate &today, CardImage *card);

} // namespace CardProfiles
