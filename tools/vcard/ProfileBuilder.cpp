#include "tools/vcard/ProfileBuilder.h"

#include "tools/vcard/CardBytes.h"
#include "tools/vcard/CardImage.h"
#include "tools/vcard/ProfileDescription.h"

#include <QDateTime>
#include <QHash>
#include <QString>

using namespace CardBytes;

namespace {
constexpr char russia = 0x2B;

int validityYears(quint8 type)
{
    switch (type) {
    case 2: return 1;
    case 3: return 2;
    default: return 3;
    }
}

quint32 unixTime(const QDate &date)
{
    return quint32(QDateTime(date, QTime(0, 0), Qt::UTC).toSecsSinceEpoch());
}
} // namespace

ProfileBuilder::ProfileBuilder(const ProfileDescription &description, const QDate &today)
    : m_description(description),
      m_today(today),
      m_seed(qHash(QByteArray(description.name)))
{
}

CardImage ProfileBuilder::build() const
{
    const quint8 kind = m_description.kind;
    const quint8 type = m_description.type;
    CardImage card;
    card.setFile(0x0002, false, iccFile());
    card.setFile(0x0005, false, icFile());
    card.setFile(0x0501, true, applicationIdentification());
    if (kind == 1) {
        card.setFile(0xC200, true, derObject(m_seed + 1, 0x0226, 1000));
        card.setFile(0xC201, true, pattern(m_seed + 2, 16));
        card.setFile(0xC208, true, derObject(m_seed + 3, 0x01D9, 1000));
        if (type == 2) {
            card.setFile(0xC203, true, derObject(m_seed + 4, 0x01C0, 1024));
            card.setFile(0xC204, true, derObject(m_seed + 5, 0x0120, 1024));
            card.setFile(0xC205, true, derObject(m_seed + 6, 0x03A0, 2048));
            card.setFile(0xC207, true, derObject(m_seed + 7, 0x0110, 1024));
        }
        if (type >= 2)
            card.setFile(0xC206, true, archiveRequests());
    } else if (kind != 0) {
        // A card of kind 0 carries neither pair of certificates.
        card.setFile(0xC100, true, pattern(m_seed + 8, 194));
        card.setFile(0xC108, true, pattern(m_seed + 9, 194));
    }
    card.setFile(0x0520, true, identification());
    if (type == 1) {
        card.setFile(0x050E, true, be32(at(3, 8 * 3600 + 30 * 60)));
        card.setFile(0x0521, true, drivingLicence());
    } else if (type == 2) {
        card.setFile(0x0509, true, be16(3));
        card.setFile(0x050A, true, calibrations());
    }
    if (type == 1 || type == 2) {
        card.setFile(0x0502, true, eventsOrFaults(true));
        card.setFile(0x0503, true, eventsOrFaults(false));
        card.setFile(0x0504, true, activity());
        card.setFile(0x0505, true, vehicles());
        card.setFile(0x0506, true, places());
        card.setFile(0x0507, true, currentUsage());
        card.setFile(0x0508, true, controlRecord(12));
        card.setFile(0x0522, true, specificConditions());
    }
    if (type == 3)
        card.setFile(0x050C, true, controlRecords());
    if (type == 4)
        card.setFile(0x050D, true, controlRecords());
    return card;
}

// The least counts each card type allows, or the greatest for a full card.
ProfileBuilder::Counts ProfileBuilder::counts() const
{
    const bool full = m_description.fullSize;
    Counts c;
    switch (m_description.type) {
    case 1:
        c.events = full ? 12 : 6;
        c.faults = full ? 24 : 12;
        c.activity = full ? 13776 : 5544;
        c.vehicles = full ? 200 : 84;
        c.places = full ? 112 : 84;
        break;
    case 2:
        c.events = 3;
        c.faults = 6;
        c.activity = full ? 492 : 198;
        c.vehicles = full ? 8 : 4;
        c.places = full ? 8 : 6;
        c.calibrations = full ? 255 : 88;
        break;
    default:
        c.controls = full ? 520 : 230;
        break;
    }
    return c;
}

quint32 ProfileBuilder::at(int daysAgo, int secondOfDay) const
{
    return unixTime(m_today.addDays(-daysAgo)) + quint32(secondOfDay);
}

QByteArray ProfileBuilder::text(const char *utf8, int size) const
{
    return codePageText(QString::fromUtf8(utf8 ? utf8 : ""), size);
}

QByteArray ProfileBuilder::iccFile() const
{
    QByteArray out(1, char(0x0C));
    out += be32(m_seed % 10000000) + bcd("0326") + char(0x01) + char(0xA1);
    if (m_description.moduleNumber)
        out += asciiText(m_description.moduleNumber, 15);
    else
        out += QByteArray("84TC0042") + char(0x17) + QByteArray("EMB07") + char(0x4D);
    out += char(0x21);
    return out;
}

QByteArray ProfileBuilder::icFile() const
{
    return be32(0x10000000 + m_seed % 0x0FFFFFFF) + be32(0x4D310207);
}

QByteArray ProfileBuilder::applicationIdentification() const
{
    const Counts c = counts();
    QByteArray out(1, char(m_description.type));
    out += be16(0x0100);
    if (m_description.type == 1 || m_description.type == 2) {
        out += char(c.events);
        out += char(c.faults);
        out += be16(quint16(c.activity));
        out += be16(quint16(c.vehicles));
        out += char(c.places);
        if (m_description.type == 2)
            out += char(c.calibrations);
    } else {
        out += be16(quint16(c.controls));
    }
    return out;
}

QByteArray ProfileBuilder::identification() const
{
    const ProfileDescription &d = m_description;
    const QDate begin(m_today.year(), m_today.month(), 1);
    QByteArray out(1, russia);
    out += asciiText(d.cardNumber, 16);
    out += text(d.authority, 36);
    out += be32(unixTime(begin.addDays(-14)));
    out += be32(unixTime(begin));
    out += be32(unixTime(begin.addYears(validityYears(d.type))));
    if (d.type == 2 || d.type == 3 || d.type == 4)
        out += text(d.organisation, 36) + text(d.address, 36);
    if (d.type != 4)
        out += text(d.holderSurname, 36) + text(d.holderFirstNames, 36);
    if (d.type == 1)
        out += bcd(d.birthDate);
    out += "ru";
    return out;
}

QByteArray ProfileBuilder::drivingLicence() const
{
    return text("ГИБДД 7701", 36) + russia + asciiText("7701123456", 16);
}

// A certificate or request in DER form: tag, two-byte length, content, then
// zero bytes up to the size of the file.
QByteArray ProfileBuilder::derObject(quint32 seed, int contentLength, int fileSize) const
{
    QByteArray out("\x30\x82", 2);
    out += be16(quint16(contentLength)) + pattern(seed, contentLength);
    return sized(out, fileSize, 0);
}

QByteArray ProfileBuilder::archiveRequests() const
{
    return be16(1) + be32(at(40, 11 * 3600)) + pattern(m_seed + 10, 8);
}
