#pragma once

#include <QString>

struct CommandApdu;

// The commands a tachograph card knows, as named on the command line.
enum class CommandKind { Select, Read, Update, Verify, Unblock, Hash, Sign, Other };

CommandKind commandKindOf(const CommandApdu &apdu);
// "select", "read", "update", "verify", "unblock", "hash", "sign"; false for others.
bool commandKindFromName(const QString &name, CommandKind *kind);
