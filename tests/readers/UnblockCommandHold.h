#pragma once

// Holds the next RESET RETRY COUNTER the program sends, in the sending
// thread, before it goes to pcsc-lite, until the test lets it go: the test
// can change the world between our connect and that command.
namespace UnblockCommandHold {

void arm();
// Waits until the armed hold has caught its command (false after `ms`).
bool waitUntilHeld(int ms);
void letGo();

} // namespace UnblockCommandHold
