#pragma once

#include "Picture.h"

// The command column (64 x 64), its settings and about buttons and the two
// buttons of the status page.
QVector<Picture> commandPictures();

// The table, console and dialog buttons and the two service badges.
QVector<Picture> smallButtonPictures();
