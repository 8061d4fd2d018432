#pragma once

#include <QByteArray>
#include <QVector>

// One block of a .ddd file: a file's data (tag 0) or its signature.
struct DddBlock
{
    quint16 fid = 0;
    quint8 tag = 0;
    QByteArray bytes;
};

// Splits a .ddd file into its blocks. False unless every block is whole and
// the last one ends exactly at the end of the file.
inline bool parseDddBlocks(const QByteArray &file, QVector<DddBlock> *blocks)
{
    constexpr int header = 5;
    blocks->clear();
    int offset = 0;
    while (offset < file.size()) {
        if (file.size() - offset < header)
            return false;
        const auto byte = [&](int i) { return quint8(file.at(offset + i)); };
        DddBlock block;
        block.fid = quint16((byte(0) << 8) | byte(1));
        block.tag = byte(2);
        const int length = (byte(3) << 8) | byte(4);
        if (file.size() - offset - header < length)
            return false;
        block.bytes = file.mid(offset + header, length);
        blocks->append(block);
        offset += header + length;
    }
    return true;
}
