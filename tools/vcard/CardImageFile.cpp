#include "tools/vcard/CardImageFile.h"

#include "tools/vcard/CardBytes.h"
#include "tools/vcard/CardImage.h"

#include <QString>

namespace CardImageFile {

namespace {
const QByteArray magic = QByteArrayLiteral("VCARD1");
constexpr int headerSize = 5;

quint16 be16At(const QByteArray &bytes, int offset)
{
    return quint16((quint8(bytes.at(offset)) << 8) | quint8(bytes.at(offset + 1)));
}
} // namespace

QByteArray serialize(const CardImage &card)
{
    QByteArray out = magic;
    for (const CardFile &f : card.files()) {
        out += CardBytes::be16(f.fid);
        out += char(f.inApplication ? 1 : 0);
        out += CardBytes::be16(quint16(f.data.size()));
        out += f.data;
    }
    return out;
}

bool parse(const QByteArray &bytes, CardImage *card, QString *error)
{
    if (!bytes.startsWith(magic)) {
        *error = QStringLiteral("not a card image (no VCARD1 header)");
        return false;
    }
    CardImage parsed;
    int offset = magic.size();
    while (offset < bytes.size()) {
        if (bytes.size() - offset < headerSize) {
            *error = QStringLiteral("truncated file header at offset %1").arg(offset);
            return false;
        }
        const quint16 fid = be16At(bytes, offset);
        const quint8 place = quint8(bytes.at(offset + 2));
        const int length = be16At(bytes, offset + 3);
        offset += headerSize;
        if (place > 1) {
            *error = QStringLiteral("file %1: bad place byte %2").arg(fid, 4, 16, QChar('0')).arg(place);
            return false;
        }
        if (bytes.size() - offset < length) {
            *error = QStringLiteral("file %1: %2 bytes announced, %3 present")
                         .arg(fid, 4, 16, QChar('0')).arg(length).arg(bytes.size() - offset);
            return false;
        }
        if (parsed.file(fid)) {
            *error = QStringLiteral("file %1 appears twice").arg(fid, 4, 16, QChar('0'));
            return false;
        }
        parsed.setFile(fid, place == 1, bytes.mid(offset, length));
        offset += length;
    }
    const Credential pin = card->pin();
    const Credential puk = card->puk();
    *card = parsed;
    card->pin() = pin;
    card->puk() = puk;
    return true;
}

} // namespace CardImageFile
