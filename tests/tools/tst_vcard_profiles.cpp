// The built-in cards against the card dictionary and decoder the program
// itself uses: every variant carries exactly its files, at sizes the counts
// of its application identification explain, and identifies as its kind.

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "tools/vcard/CardImage.h"
#include "tools/vcard/CardProfiles.h"
#include "tools/vcard/ProfileDescription.h"

#include <QDate>
#include <QDateTime>
#include <QtTest>

namespace {

const QDate today(2026, 2, 27);

// The file's fields as the program decodes them for this card.
QMap<QString, CardDataElement> decoded(const CardImage &card, quint16 fid)
{
    CardFileRecord record;
    if (!CardDictionary::findFileEntry(fid, card.kind(), card.type(), record.efIndex, record.layoutKey)
        || !card.file(fid))
        return {};
    record.fid = fid;
    record.data = card.file(fid)->data;
    record.length = quint16(record.data.size());
    record.decode();
    return record.fields;
}

// Sizes of the cyclic files follow from the counts of EF 0x0501.
struct CountRule { const char *countField; int perRecord; int fixed; };
const QMap<quint16, CountRule> countRules{
    {0x0502, {"noOfEventsPerType", 144, 0}},        {0x0503, {"noOfFaultsPerType", 48, 0}},
    {0x0504, {"activityStructureLength", 1, 4}},    {0x0505, {"noOfCardVehicleRecords", 31, 2}},
    {0x0506, {"noOfCardPlaceRecords", 10, 1}},      {0x050A, {"noOfCalibrationRecords", 105, 3}},
    {0x050C, {"noOfControlActivityRecords", 46, 2}}, {0x050D, {"noOfControlActivityRecords", 46, 2}}};

} // namespace

class TestVcardProfiles : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheDictionary_data();
    void matchesTheDictionary();
    void textsDecodeInTheirCodePage();
};

void TestVcardProfiles::matchesTheDictionary_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : CardProfiles::names())
        QTest::newRow(qPrintable(name)) << name;
}

void TestVcardProfiles::matchesTheDictionary()
{
    QFETCH(QString, name);
    CardImage card;
    QVERIFY(CardProfiles::build(name, today, &card));
    const ProfileDescription *d = CardProfiles::find(name);
    QCOMPARE(int(card.kind()), int(d->kind));
    QCOMPARE(int(card.type()), int(d->type));
    const QMap<QString, CardDataElement> counts = decoded(card, 0x0501);

    int carried = 0;
    for (const CardAppLayout &row : CardDictionary::efDescriptors()) {
        quint16 key = 0;
        const bool expected = CardDictionary::layoutKey(row, d->kind, d->type, key);
        const CardFile *file = card.file(row.fid);
        const QString what = QStringLiteral("%1 %2").arg(row.fid, 4, 16, QChar('0')).arg(row.name);
        QVERIFY2(bool(file) == expected, qPrintable(what));
        if (!file)
            continue;
        ++carried;
        QVERIFY2(file->inApplication == row.inTachoDF, qPrintable(what));
        const CardFileLayout layout = row.layouts.value(key);
        const int size = file->data.size();
        QVERIFY2(size >= layout.minSize && size <= layout.maxSize, qPrintable(what));
        if (countRules.contains(row.fid)) {
            const CountRule rule = countRules.value(row.fid);
            const QVariant count = counts.value(QLatin1String(rule.countField)).value;
            QVERIFY2(count.isValid(), rule.countField);
            QCOMPARE(size, count.toInt() * rule.perRecord + rule.fixed);
        }
        if (!countRules.contains(row.fid) || d->fullSize) // fixed files, and every file of a full card
            QVERIFY2(size == layout.maxSize, qPrintable(what));
    }
    QCOMPARE(card.files().size(), carried);

    const QMap<QString, CardDataElement> identification = decoded(card, 0x0520);
    QCOMPARE(identification.value("cardNumber").value.toString(), QString::fromLatin1(d->cardNumber));
    if (d->kind == 1)
        QCOMPARE(decoded(card, 0x0002).value("SKZINumber").value.toString(), QString::fromLatin1(d->moduleNumber));
    const QDateTime now(today, QTime(12, 0), Qt::UTC);
    QVERIFY(identification.value("cardIssueDate").value.toDateTime()
            <= identification.value("cardValidityBegin").value.toDateTime());
    QVERIFY(identification.value("cardValidityBegin").value.toDateTime() <= now);
    QVERIFY(now < identification.value("cardExpiryDate").value.toDateTime());
}

void TestVcardProfiles::textsDecodeInTheirCodePage()
{
    const auto text = [](const char *profile, quint16 fid, const char *field) {
        CardImage card;
        CardProfiles::build(QString::fromLatin1(profile), today, &card);
        return decoded(card, fid).value(QLatin1String(field)).value.toString();
    };
    QCOMPARE(text("driver-estr", 0x0520, "holderSurname"), QString::fromUtf8("Петров"));
    QCOMPARE(text("workshop-estr", 0x0520, "workshopName"), QString::fromUtf8("Autoservice Ångström & Söhne"));
    QCOMPARE(text("driver-rf", 0x0521, "drivingLicenceIssuingAuthority"), QString::fromUtf8("ГИБДД 7701"));
    // The national authority written in mixed case with blanks still names it.
    QCOMPARE(text("control-rf", 0x0520, "cardIssuingAuthorityName"), QStringLiteral("RusAutoCard"));
}

QTEST_GUILESS_MAIN(TestVcardProfiles)
#include "tst_vcard_profiles.moc"
