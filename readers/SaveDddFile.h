#pragma once

#include <QString>

#include <functional>

class CardReader;
class Config;

using LogLine = std::function<void(uchar type, const QString &msg)>;

enum class DddSaveResult {
    // No file; the card's last-download date is as before (or the log says
    // it could not be put back).
    NotSaved,
    Saved,
    // The file is saved, but a workshop card's calibration count could not
    // be set to 0: a warning for the user, not plain success.
    SavedCountNotReset,
};

// The read road, in the reader-manager thread:
//   reader.connectCard(); for kind 1: card.pin = PIN, card.verifyPin();
//   reader.readAllFiles(); reader.disconnectCard(); reader.updateCardInfo();
//   saveDddFile(reader, config, log);
//   card.pin.clear();  // only now: the save presents the PIN again
// The save claims the output file first, then writes the last-download date
// into the card and reads it back signed, writes the file (putting the old
// date back when that fails) and finally sets a workshop card's calibration
// count to 0. It connects to the card and disconnects by itself. Log lines
// go to `log` and to the reader's logginMessage.
DddSaveResult saveDddFile(CardReader &reader, Config &config, const LogLine &log);
