#include "IcoFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>
#include <algorithm>
#include <cstdio>

namespace {

const int headerSize = 6;
const int entrySize = 16;

// One image as Qt's plugin writes it: a directory of one entry, then the data.
bool encodeSingle(const QImage &image, QByteArray &entry, QByteArray &data)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    if (!writer.write(image)) {
        std::fprintf(stderr, "artgen: ico plugin: %s\n", qPrintable(writer.errorString()));
        return false;
    }
    const QByteArray bytes = buffer.data();
    if (bytes.size() < headerSize + entrySize || qFromLittleEndian<quint16>(bytes.constData() + 4) != 1)
        return false;
    entry = bytes.mid(headerSize, entrySize);
    const quint32 offset = qFromLittleEndian<quint32>(entry.constData() + 12);
    const quint32 length = qFromLittleEndian<quint32>(entry.constData() + 8);
    if (offset + length > quint32(bytes.size()))
        return false;
    data = bytes.mid(int(offset), int(length));
    return true;
}

// Qt's plugin leaves the 1-bit transparency mask after the 32-bit pixels
// partly unwritten, so the file changes from run to run. Write it from the
// alpha channel: a set bit is a transparent pixel; rows run bottom to top.
void writeMask(QByteArray &data, const QImage &image)
{
    const int w = image.width(), h = image.height();
    const int rowBytes = (w + 31) / 32 * 4;
    const int maskStart = 40 + w * h * 4;
    if (qFromLittleEndian<quint16>(data.constData() + 14) != 32 || data.size() != maskStart + rowBytes * h)
        return;
    char *mask = data.data() + maskStart;
    std::fill(mask, mask + rowBytes * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (qAlpha(image.pixel(x, h - 1 - y)) == 0)
                mask[y * rowBytes + x / 8] |= char(0x80 >> (x % 8));
}

} // namespace

bool writeIcoFile(const QString &file, const QVector<QImage> &images)
{
    QByteArray directory(headerSize, '\0');
    qToLittleEndian<quint16>(1, directory.data() + 2); // type: icon
    qToLittleEndian<quint16>(quint16(images.size()), directory.data() + 4);
    QByteArray payload;
    const int dataStart = headerSize + entrySize * images.size();
    for (const QImage &image : images) {
        QByteArray entry, data;
        if (!encodeSingle(image, entry, data)) {
            std::fprintf(stderr, "artgen: cannot encode a %dx%d icon image\n", image.width(), image.height());
            return false;
        }
        writeMask(data, image);
        qToLittleEndian<quint32>(quint32(dataStart + payload.size()), entry.data() + 12);
        directory += entry;
        payload += data;
    }
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(directory + payload) != directory.size() + payload.size()) {
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}
