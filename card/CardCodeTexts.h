#pragma once

#include <QMap>
#include <QString>

// Display texts of the one-byte codes that card files carry. Both tables
// have a row for every byte value.
namespace CardCodeTexts {

const QMap<quint8, QString>& eventFaultTypeNames();
const QMap<quint8, QString>& nationNames();

} // namespace CardCodeTexts
