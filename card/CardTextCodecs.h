#pragma once

#include <QStringList>

class QTextCodec;

// The three text codecs that card texts are written in. They come from the
// Qt installation, so the program checks for them once at start-up.
namespace CardTextCodecs {

QTextCodec* latin1();
QTextCodec* cyrillic();
QTextCodec* windows1251();

// Names of the codecs this Qt installation lacks; empty when all exist.
QStringList missingCodecs();

} // namespace CardTextCodecs
