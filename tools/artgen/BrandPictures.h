#pragma once

#include "Picture.h"

class QImage;

// The product's own marks: the logo, the splash screen and the window icons.
QVector<Picture> brandPictures();

// The square emblem at one icon size; the short form leaves out the card.
QImage emblemImage(int size, bool shortForm);
