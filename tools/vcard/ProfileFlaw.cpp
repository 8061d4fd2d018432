#include "tools/vcard/ProfileFlaw.h"

#include "tools/vcard/CardBytes.h"
#include "tools/vcard/CardImage.h"

#include <QDateTime>

using namespace CardBytes;

namespace {

// Offsets in EF 0x0520.
constexpr int issueOffset = 53;
constexpr int beginOffset = 57;
constexpr int expiryOffset = 61;
constexpr int birthOffset = 137; // driver cards only

constexpr int recordSize = 24;
constexpr char russia = 0x2B;

quint32 unixTime(const QDate &date)
{
    return quint32(QDateTime(date, QTime(0, 0), Qt::UTC).toSecsSinceEpoch());
}

QDate dateAt(const QByteArray &data, int offset)
{
    quint32 seconds = 0;
    for (int i = 0; i < 4; ++i)
        seconds = (seconds << 8) | quint8(data.at(offset + i));
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).date();
}

void putDate(QByteArray &data, int offset, const QDate &date)
{
    data.replace(offset, 4, be32(unixTime(date)));
}

void setDates(CardImage *card, const QDate &issue, const QDate &begin, const QDate &expiry)
{
    QByteArray &data = card->file(0x0520)->data;
    putDate(data, issueOffset, issue);
    putDate(data, beginOffset, begin);
    putDate(data, expiryOffset, expiry);
}

void blank(CardImage *card, quint16 fid)
{
    if (CardFile *file = card->file(fid))
        file->data.fill(0);
}

QByteArray record(quint8 type, const QDate &day)
{
    const quint32 begin = unixTime(day) + 9 * 3600;
    return char(type) + be32(begin) + be32(begin + 1800) + russia + asciiText("A123BC77", 14);
}

void putRecords(CardImage *card, quint16 fid, const QVector<quint8> &types, const QDate &today)
{
    QByteArray &data = card->file(fid)->data;
    data.fill(0);
    for (int i = 0; i < types.size(); ++i)
        data.replace(i * recordSize, recordSize, record(types.at(i), today.addDays(i - 10)));
}

} // namespace

void applyProfileFlaw(ProfileFlaw flaw, const QDate &today, CardImage *card)
{
    const QByteArray &identification = card->file(0x0520)->data;
    const QDate issue = dateAt(identification, issueOffset);
    const QDate begin = dateAt(identification, beginOffset);
    const QDate expiry = dateAt(identification, expiryOffset);
    const int years = expiry.year() - begin.year();
    switch (flaw) {
    case ProfileFlaw::None: break;
    case ProfileFlaw::IssuedAfterValidityBegin: setDates(card, begin.addDays(1), begin, expiry); break;
    case ProfileFlaw::IssuedOnValidityBegin: setDates(card, begin, begin, expiry); break;
    case ProfileFlaw::ValidityOneDayShort: setDates(card, issue, begin, expiry.addDays(-1)); break;
    case ProfileFlaw::ValidityOneDayLong: setDates(card, issue, begin, expiry.addDays(1)); break;
    case ProfileFlaw::ValidityOneYearLong: setDates(card, issue, begin, expiry.addYears(1)); break;
    case ProfileFlaw::NotYetValid:
        setDates(card, today.addDays(-14), today.addDays(1), today.addDays(1).addYears(years));
        break;
    case ProfileFlaw::Expired: {
        const QDate earlier = begin.addYears(-years).addMonths(-1);
        setDates(card, earlier.addDays(-14), earlier, earlier.addYears(years));
        break;
    }
    case ProfileFlaw::InvalidBirthDate:
        card->file(0x0520)->data.replace(birthOffset, 4, bcd("19851340"));
        break;
    case ProfileFlaw::BlankUsageData:
        for (const quint16 fid : {0x0504, 0x0505, 0x0506, 0x050A, 0x050C, 0x050D})
            blank(card, quint16(fid));
        break;
    case ProfileFlaw::TruncatedIdentification: card->file(0x0520)->data.truncate(100); break;
    case ProfileFlaw::NoCurrentUsage: card->removeFile(0x0507); break;
    case ProfileFlaw::NoPlaces: card->removeFile(0x0506); break;
    case ProfileFlaw::AttentionRecords:
        putRecords(card, 0x0502, {0x05, 0x07, 0x41}, today);
        putRecords(card, 0x0503, {0x4F, 0x35}, today);
        break;
    case ProfileFlaw::NoEventRecordsNoFaults:
        blank(card, 0x0502);
        card->removeFile(0x0503);
        break;
    }
}
