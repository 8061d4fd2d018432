#pragma once

#include <QByteArray>

class CardImage;
class QString;

// The card image file: the magic "VCARD1", then for each file its identifier
// (2 bytes, big-endian), its place (1 byte: 0 master file, 1 tachograph
// application), its length (2 bytes, big-endian) and its bytes.
namespace CardImageFile {

QByteArray serialize(const CardImage &card);
bool parse(const QByteArray &bytes, CardImage *card, QString *error);

} // namespace CardImageFile
