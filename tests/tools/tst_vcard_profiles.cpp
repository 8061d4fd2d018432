// The built-in cards against the card data dictionary and decoder the
// program itself uses: every variant carries exactly its files, at sizes the
// counts of its application identification explain, with texts and records
// the program decodes.

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

CardImage profile(const QString &name)
{
    CardImage card;
    if (!CardProfiles::build(name, today, &card))
        qFatal("no profile %s", qPrintable(name));
    return card;
}

// The file decoded as the program decodes it for this card.
CardFileRecord decoded(const CardImage &card, quint16 fid, quint16 count = 0)
{
    CardFileRecord record;
    quint8 index = 0;
    quint16 key = 0;
    if (!CardDictionary::findFileEntry(fid, card.kind(), card.type(), index, key) || !card.file(fid))
        return record;
    record.fid = fid;
    record.efIndex = index;
    record.layoutKey = key;
    record.data = card.file(fid)->data;
    record.length = quint16(record.data.size());
    record.count = count;
    record.decode();
    return record;
}

QVariant field(const CardFileRecord &record, const char *name)
{
    return record.fields.value(QString::fromLatin1(name)).value;
}

struct CountRule
{
    const char *countField;
    int perRecord;
    int fixed;
};

// Sizes of the cyclic files follow from the counts of EF 0x0501.
const QMap<quint16, CountRule> countRules{
    {0x0502, {"noOfEventsPerType", 144, 0}},        {0x0503, {"noOfFaultsPerType", 48, 0}},
    {0x0504, {"activityStructureLength", 1, 4}},    {0x0505, {"noOfCardVehicleRecords", 31, 2}},
    {0x0506, {"noOfCardPlaceRecords", 10, 1}},      {0x050A, {"noOfCalibrationRecords", 105, 3}},
    {0x050C, {"noOfControlActivityRecords", 46, 2}}, {0x050D, {"noOfControlActivityRecords", 46, 2}}};

void addProfileRows()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : CardProfiles::names())
        QTest::newRow(qPrintable(name)) << name;
}

} // namespace

class TestVcardProfiles : public QObject
{
    Q_OBJECT

private slots:
    void coversEveryKindAndType();
    void carriesExactlyTheFilesOfItsVariant_data() { addProfileRows(); }
    void carriesExactlyTheFilesOfItsVariant();
    void identifiesAsItsKind_data() { addProfileRows(); }
    void identifiesAsItsKind();
    void isValidToday_data() { addProfileRows(); }
    void isValidToday();
    void textsDecodeInTheirCodePage();
    void eventsAndFaultsMixBlankAndFilledRecords();
    void fullDriverCardHasTheGreatestSizes();
};

void TestVcardProfiles::coversEveryKindAndType()
{
    QSet<int> variants;
    for (const QString &name : CardProfiles::names()) {
        const ProfileDescription *d = CardProfiles::find(name);
        QVERIFY(d);
        QVERIFY(d->kind >= 1 && d->kind <= 3 && d->type >= 1 && d->type <= 4);
        variants.insert(d->kind << 8 | d->type);
    }
    QCOMPARE(variants.size(), 12);
    QVERIFY(!CardProfiles::find("driver"));
    CardImage card;
    QVERIFY(!CardProfiles::build("driver", today, &card));
}

void TestVcardProfiles::carriesExactlyTheFilesOfItsVariant()
{
    QFETCH(QString, name);
    const CardImage card = profile(name);
    const ProfileDescription *d = CardProfiles::find(name);
    const CardFileRecord identification = decoded(card, 0x0501);

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
        QVERIFY2(file->data.size() >= layout.minSize && file->data.size() <= layout.maxSize, qPrintable(what));
        if (countRules.contains(row.fid)) {
            const CountRule rule = countRules.value(row.fid);
            const QVariant count = field(identification, rule.countField);
            QVERIFY2(count.isValid(), rule.countField);
            QCOMPARE(file->data.size(), count.toInt() * rule.perRecord + rule.fixed);
        } else {
            QCOMPARE(file->data.size(), int(layout.maxSize));
        }
    }
    QCOMPARE(card.files().size(), carried);
}

void TestVcardProfiles::identifiesAsItsKind()
{
    QFETCH(QString, name);
    const CardImage card = profile(name);
    const ProfileDescription *d = CardProfiles::find(name);
    QCOMPARE(int(card.kind()), int(d->kind));
    QCOMPARE(int(card.type()), int(d->type));

    const CardFileRecord icc = decoded(card, 0x0002);
    if (d->kind == 1)
        QCOMPARE(field(icc, "SKZINumber").toString(), QString::fromLatin1(d->moduleNumber));
    const CardFileRecord identification = decoded(card, 0x0520);
    QCOMPARE(field(identification, "cardNumber").toString(), QString::fromLatin1(d->cardNumber));
}

void TestVcardProfiles::isValidToday()
{
    QFETCH(QString, name);
    const CardFileRecord identification = decoded(profile(name), 0x0520);
    const QDateTime now(today, QTime(12, 0), Qt::UTC);
    const QDateTime issued = field(identification, "cardIssueDate").toDateTime();
    const QDateTime begin = field(identification, "cardValidityBegin").toDateTime();
    const QDateTime expiry = field(identification, "cardExpiryDate").toDateTime();
    QVERIFY(issued <= begin);
    QVERIFY(begin <= now);
    QVERIFY(now < expiry);
    QCOMPARE(begin.date().day(), expiry.date().day());
    QCOMPARE(begin.date().month(), expiry.date().month());
}

void TestVcardProfiles::textsDecodeInTheirCodePage()
{
    const CardFileRecord driver = decoded(profile("driver-estr"), 0x0520);
    QCOMPARE(driver.fields.value("holderSurname").raw.at(0), char(0x05));
    QCOMPARE(field(driver, "holderSurname").toString(), QString::fromUtf8("Петров"));
    QCOMPARE(field(driver, "holderFirstNames").toString(), QString::fromUtf8("Иван Сергеевич"));
    QCOMPARE(field(driver, "cardHolderBirthDate").toDate(), QDate(1985, 3, 21));

    const CardFileRecord workshop = decoded(profile("workshop-estr"), 0x0520);
    QCOMPARE(workshop.fields.value("workshopName").raw.at(0), char(0x01));
    QCOMPARE(field(workshop, "workshopName").toString(), QString::fromUtf8("Autoservice Ångström & Söhne"));
    QCOMPARE(field(workshop, "workshopAddress").toString(), QString::fromUtf8("Bahnhofstraße 12, Zürich"));

    // The national authority written in mixed case with blanks still names it.
    const CardImage control = profile("control-rf");
    QCOMPARE(field(decoded(control, 0x0520), "cardIssuingAuthorityName").toString(), QStringLiteral("RusAutoCard"));
    QCOMPARE(int(control.kind()), 3);

    const CardFileRecord licence = decoded(profile("driver-rf"), 0x0521);
    QCOMPARE(field(licence, "drivingLicenceIssuingAuthority").toString(), QString::fromUtf8("ГИБДД 7701"));
    QCOMPARE(field(licence, "drivingLicenceIssuingNation").toInt(), 0x2B);
}

void TestVcardProfiles::eventsAndFaultsMixBlankAndFilledRecords()
{
    for (const char *name : {"driver-estr", "workshop-rfskzi"}) {
        const CardImage card = profile(name);
        const CardFileRecord identification = decoded(card, 0x0501);
        const quint16 events = quint16(field(identification, "noOfEventsPerType").toInt());
        const quint16 faults = quint16(field(identification, "noOfFaultsPerType").toInt());

        const CardFileRecord eventFile = decoded(card, 0x0502, events);
        const auto eventRecords = eventFile.recordLists.value("CardEventData").records;
        QList<int> types;
        for (const auto &record : eventRecords)
            types << record.value("eventType").value.toInt();
        QCOMPARE(types, QList<int>({1, 1, 2, 4, 5, 6}));
        QVERIFY(eventRecords.size() < 6 * events); // blank records in between
        QVERIFY(eventRecords.first().value("eventBeginTime").value.toDateTime()
                < eventRecords.first().value("eventEndTime").value.toDateTime());

        const CardFileRecord faultFile = decoded(card, 0x0503, faults);
        QCOMPARE(faultFile.recordLists.value("CardFaultData").records.size(), 3);
    }
}

void TestVcardProfiles::fullDriverCardHasTheGreatestSizes()
{
    const CardImage card = profile("driver-estr-full");
    quint8 index = 0;
    quint16 key = 0;
    for (const quint16 fid : {0x0502, 0x0503, 0x0504, 0x0505, 0x0506}) {
        QVERIFY(CardDictionary::findFileEntry(fid, 2, 1, index, key));
        QCOMPARE(card.file(fid)->data.size(), int(CardDictionary::efDescriptors().at(index).layouts.value(key).maxSize));
    }
}

QTEST_GUILESS_MAIN(TestVcardProfiles)
#include "tst_vcard_profiles.moc"
