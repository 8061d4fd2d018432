// The cyclic and record files of a built-in card: events, faults, activity,
// vehicles, places, calibrations and controls. Each holds a few filled
// records among blank ones.

#include "tools/vcard/ProfileBuilder.h"

#include "tools/vcard/CardBytes.h"
#include "tools/vcard/ProfileDescription.h"

using namespace CardBytes;

namespace {
constexpr char russia = 0x2B;
constexpr int eventGroups = 6;
constexpr int faultGroups = 2;
constexpr int recordSize = 24;

const char *const plates[] = {"А123ВС77", "О777ОО99", "Х001ХХ197", "К432МН50"};
constexpr int plateCount = 4;

QByteArray plate(int index)
{
    return codePageText(QString::fromUtf8(plates[index % plateCount]), 14);
}
} // namespace

QByteArray ProfileBuilder::eventRecord(quint8 type, int daysAgo, int plateIndex) const
{
    const quint32 begin = at(daysAgo, 9 * 3600 + plateIndex * 600);
    return char(type) + be32(begin) + be32(begin + 1800 + plateIndex * 60) + russia + plate(plateIndex);
}

// Events: six groups (types 0x01 to 0x06), the third one blank. Faults: two
// groups (types 0x35 and 0x32). Filled records sit among blank ones.
QByteArray ProfileBuilder::eventsOrFaults(bool events) const
{
    const Counts c = counts();
    const int perGroup = events ? c.events : c.faults;
    const int groups = events ? eventGroups : faultGroups;
    QByteArray out(groups * perGroup * recordSize, 0);
    const auto put = [&](int group, int index, quint8 type, int daysAgo) {
        if (index < perGroup)
            out.replace((group * perGroup + index) * recordSize, recordSize, eventRecord(type, daysAgo, index));
    };
    if (events) {
        put(0, 0, 0x01, 30);
        put(0, 1, 0x01, 21);
        put(1, 2, 0x02, 15);
        put(3, 0, 0x04, 9);
        put(4, 1, 0x05, 5);
        put(5, 0, 0x06, 2);
    } else {
        put(0, 0, 0x35, 25);
        put(0, 3, 0x35, 11);
        put(1, 1, 0x32, 6);
    }
    return out;
}

// Two pointers, then daily records of a week from the start of the ring.
QByteArray ProfileBuilder::activity() const
{
    const int length = counts().activity;
    QByteArray ring;
    int newest = 0;
    int previousLength = 0;
    for (int day = 7; day >= 1; --day) {
        QByteArray changes;
        for (int change = 0; change < 6; ++change)
            changes += be16(quint16((change % 4) << 11 | (change * 150 + day)));
        const int recordLength = 12 + changes.size();
        newest = ring.size();
        ring += be16(quint16(previousLength)) + be16(quint16(recordLength)) + be32(at(day, 0))
                + bcd(QByteArray::number(7 - day).rightJustified(4, '0')) + be16(quint16(180 + day * 17))
                + changes;
        previousLength = recordLength;
    }
    return be16(0) + be16(quint16(newest)) + sized(ring, length, 0);
}

QByteArray ProfileBuilder::vehicles() const
{
    const int count = counts().vehicles;
    QByteArray records(count * 31, 0);
    const int filled = qMin(count, 5);
    for (int i = 0; i < filled; ++i) {
        const quint32 odometer = 120000 + quint32(i) * 850;
        const QByteArray record = be32(odometer).mid(1) + be32(odometer + 640).mid(1) + be32(at(10 - i, 6 * 3600))
                                  + be32(at(10 - i, 18 * 3600)) + russia + plate(i) + be16(quint16(i + 1));
        records.replace(i * 31, 31, record);
    }
    return be16(quint16(filled - 1)) + records;
}

QByteArray ProfileBuilder::places() const
{
    const int count = counts().places;
    QByteArray records(count * 10, 0);
    const int filled = qMin(count, 6);
    for (int i = 0; i < filled; ++i) {
        const QByteArray record = be32(at(10 - i, (i % 2 ? 19 : 6) * 3600)) + char(i % 2) + russia + char(0x12)
                                  + be32(120000 + quint32(i) * 420).mid(1);
        records.replace(i * 10, 10, record);
    }
    return char(filled - 1) + records;
}

QByteArray ProfileBuilder::currentUsage() const
{
    if (!m_description.sessionOpen)
        return QByteArray(19, 0);
    return be32(at(0, 7 * 3600)) + russia + plate(1);
}

QByteArray ProfileBuilder::controlRecord(int daysAgo) const
{
    QByteArray controlledCard = char(0x01) + QByteArray(1, russia) + asciiText(m_description.cardNumber, 16);
    return char(0x18) + be32(at(daysAgo, 14 * 3600)) + controlledCard + russia + plate(daysAgo)
           + be32(at(daysAgo + 28, 0)) + be32(at(daysAgo, 0));
}

QByteArray ProfileBuilder::calibrations() const
{
    const int count = counts().calibrations;
    QByteArray records(count * 105, 0);
    const int filled = qMin(count, 3);
    for (int i = 0; i < filled; ++i) {
        const QByteArray vin = asciiText(QByteArray("XTA21099043") + QByteArray::number(500000 + i), 17);
        const QByteArray record = char(0x03) + vin + russia + plate(i) + pattern(m_seed + 20 + i, 72);
        records.replace(i * 105, 105, record);
    }
    return be16(quint16(filled)) + char(filled - 1) + records;
}

QByteArray ProfileBuilder::controlRecords() const
{
    const int count = counts().controls;
    QByteArray records(count * 46, 0);
    const int filled = qMin(count, 4);
    for (int i = 0; i < filled; ++i)
        records.replace(i * 46, 46, controlRecord(20 - i * 4));
    return be16(quint16(filled - 1)) + records;
}

QByteArray ProfileBuilder::specificConditions() const
{
    const int count = m_description.type == 1 ? 56 : 2;
    QByteArray records(count * 5, 0);
    records.replace(0, 5, be32(at(8, 20 * 3600)) + char(0x01));
    if (count > 2)
        records.replace(5, 5, be32(at(7, 6 * 3600)) + char(0x02));
    return records;
}
