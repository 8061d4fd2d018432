#pragma once

#include <QString>

// Syncs a folder's own entries (a file created, renamed or removed in it) to
// the disk. False, with the system's reason, when that failed.
bool syncFolder(const QString &folder, QString *failure);
