#pragma once

class CardImage;
class QString;

// What the card holds when it leaves, for tests to check: one file per EF
// named by its identifier ("050E.bin"), and "counters.txt" with the PIN and
// PUK tries and reference blocks as key=value lines.
namespace CardDump {

bool write(const CardImage &card, const QString &dir, QString *error);

} // namespace CardDump
