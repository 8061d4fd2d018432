#pragma once

#include <QString>

// The settings file of the running program, found and checked without
// opening it: the settings store reads the file as soon as it is made, and a
// named pipe there would hold the program for good.

// The native per-user INI file under the organisation and application names.
QString settingsFilePath();

// Empty when the file at path may be read and replaced: absent, or (links
// followed) a regular file, with no lock file of the store in the way.
// Otherwise the reason, to follow "could not use the file ...:". The store
// writes through a link, so a link to a device would replace the device.
QString settingsFileObstacle(const QString &path);
