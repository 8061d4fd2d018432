#pragma once

#include <QString>

// Shown for any code or status word the tables do not know.
QString unknownErrorText();
// Prefix of every failed result text.
QString errorTitle();
