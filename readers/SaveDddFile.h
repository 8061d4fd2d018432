#pragma once

#include <QString>

#include <functional>

class CardReader;
class Config;

using LogLine = std::function<void(uchar type, const QString &msg)>;

// Saves what `reader` read from its card as a .ddd file in the folder of the
// "dddPath" setting, records the path as the last saved one and then, for a
// workshop card, sets the card's calibration count to 0 (the card object must
// still hold the PIN of a kind-1 card). Log lines go to `log`. False when no
// file was written.
bool saveDddFile(CardReader &reader, Config &config, const LogLine &log);
