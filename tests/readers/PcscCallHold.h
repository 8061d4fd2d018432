#pragma once

// Holds the next PC/SC call of a kind the program makes, in the thread that
// makes it, before it goes to pcsc-lite, until the test lets it go: the test
// can change the world at that point (swap the card, restart pcscd, let
// another program in). One call is held at a time.
namespace PcscCallHold {

enum class Call {
    Connect,
    Disconnect,
    // The commands that change the card: UPDATE BINARY, RESET RETRY COUNTER.
    Update,
    Unblock,
    // The card proving itself in a hold: the READ BINARY of its number, the
    // reset, the READ BINARY of its chip's file.
    NumberRead,
    Reset,
    ChipRead,
};

void arm(Call call);
// Waits until the armed hold has caught its call (false after `ms`).
bool waitUntilHeld(int ms);
void letGo();

} // namespace PcscCallHold
