#pragma once

#include "tests/readers/CardReaderRig.h"

#include <QByteArray>
#include <QString>

// The writable file of a workshop card and of a driver card, patched to a
// known value: its bytes, and how the rows and the boxes name the value.
struct Writable
{
    quint16 fid;
    QString patch;
    QByteArray bytes;
    QString text;
};

inline Writable writableOf(const QString &profile)
{
    if (profile.startsWith(QLatin1String("workshop")))
        return {0x0509, "0509:0:ABCD", QByteArray::fromHex("ABCD"), "0xABCD / 43981"};
    return {0x050E, "050E:0:5E0BE100", QByteArray::fromHex("5E0BE100"),
            "0x5E0BE100 / 1577836800, соответствует 01.01.2020 00:00:00"};
}

// Where the test write falls in a diagnosis of the profile, as the card
// counts: its number among all commands, and the number of the READ BINARY
// that follows it among the reads.
struct TestWrite
{
    int command = 0;
    int readBack = 0;
};

// Found by a diagnosis of the patched card in a reader of its own; when
// `chosen`, a diagnosis for the card identified, as the reader manager makes
// it, which proves the card in its hold.
inline TestWrite testWriteOf(const QString &profile, bool chosen = false)
{
    CardReaderRig rig;
    if (!rig.insert(profile, {"--patch", writableOf(profile).patch}))
        return {};
    if (chosen)
        rig.reader->chooseCard(rig.reader->identifiedCard());
    rig.reader->checkCard(SecretBytes("1234"));
    TestWrite write{1, 1};
    for (int i = 0; i < rig.apdus.size() && quint8(rig.apdus.at(i).at(1)) != 0xD6; ++i) {
        ++write.command;
        write.readBack += quint8(rig.apdus.at(i).at(1)) == 0xB0 ? 1 : 0;
    }
    return write;
}
