#pragma once

#include "Picture.h"

// The step pictures "imgs/step_<kind><state>.png" (four states per kind) and
// the reader-error picture shown beside them in the reader list.
QVector<Picture> stepPictures();
