#pragma once

#include <QStringList>

// Sheet names a spreadsheet accepts: at most 31 characters, none of
// [ ] : * ? / \, no apostrophe at either end, not empty, and unique without
// regard to case (a clash gets " (2)", " (3)", ...).
QStringList validSheetNames(const QStringList &names);
