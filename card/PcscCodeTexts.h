#pragma once

#include <QString>

// The text of a Windows-valued PC/SC return code ("NAME: description");
// empty when the code has no row.
QString findScardErrorText(qint32 code);
