#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "card/CardTextCodecs.h"

#include <QtTest>

namespace {

QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}

// A card text: the bytes padded with zeros to the field size.
QByteArray padded(const QByteArray& bytes, int size)
{
    return bytes.leftJustified(size, '\0', true);
}

QDateTime utc(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

// A record as the reading command leaves it for a card of this kind and
// type: the file's bytes laid out by its layout, unnamed bytes zero.
CardFileRecord readFile(quint16 fid, quint8 kind, quint8 type, const QMap<QString, QByteArray>& values,
                        quint16 count = 0)
{
    CardFileRecord record;
    const bool carried = CardDictionary::findFileEntry(fid, kind, type, record.efIndex, record.layoutKey);
    if (!carried)
        qFatal("file %04x not carried by variant %d/%d", fid, kind, type);
    const CardFileLayout layout = CardDictionary::fileLayout(record.efIndex, record.layoutKey);
    record.fid = fid;
    record.count = count;
    record.name = CardDictionary::efDescriptors().at(record.efIndex).name;
    for (const CardFieldLayout& field : layout.fields) {
        const int size = field.minSize == field.maxSize ? field.maxSize : values.value(field.name).size();
        record.data += padded(values.value(field.name), size);
    }
    record.data = padded(record.data, qMax(int(layout.minSize), record.data.size()));
    record.length = quint16(record.data.size());
    return record;
}

CardFileRecord decoded(CardFileRecord record)
{
    const bool ok = record.decode();
    if (!ok)
        qFatal("decode returned false");
    return record;
}

// One 24-byte event or fault record.
QByteArray eventRecord(quint8 type, quint32 begin, quint32 end, quint8 nation, const QByteArray& vehicle)
{
    QByteArray bytes;
    bytes += char(type);
    for (const quint32 time : {begin, end}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += char((time >> shift) & 0xFF);
    }
    bytes += char(nation);
    bytes += padded(vehicle, 14);
    return bytes;
}

const QByteArray blankRecord(24, '\0');

} // namespace

class TestCardDecoding : public QObject
{
    Q_OBJECT

private slots:
    void codecsExist();
    void driverCard();
    void workshopCard();
    void controlCard();
    void companyCard();
    void eventGroupsOfDriverCard();
    void blankBlocksAndRecords();
    void faultGroupsPastFileEnd();
    void oversizedCounts();
    void shortAndLongFiles();
    void filesWithoutFields();
    void codePageTexts_data();
    void codePageTexts();
    void numbersAtTheirEdges();
    void unsignedTimes();
    void bcdHexAndSerialNumber();
    void stringDates_data();
    void stringDates();
    void blankBytes();
};

void TestCardDecoding::codecsExist()
{
    QCOMPARE(CardTextCodecs::missingCodecs(), QStringList());
}

void TestCardDecoding::driverCard()
{
    const CardFileRecord icc = decoded(readFile(0x0002, 1, 1, {
        {"clockStop", hex("01")},
        {"cardExtendedSerialNumber", hex("0001E240031906A1")},
        {"cardApprovalNumber", "e1-12345"},
        {"cardPersonaliserID", "0"},
        {"embedderIcAssemblerId", "AB123"},
        {"icIdentifier", "9" + hex("A5")},
    }));
    QCOMPARE(icc.fields.size(), 7);
    QCOMPARE(icc.fields.value("clockStop").value, QVariant(1));
    QCOMPARE(icc.fields.value("cardExtendedSerialNumber").value.toString(), QStringLiteral("123456031906A1"));
    QCOMPARE(icc.fields.value("cardApprovalNumber").value.toString(), QStringLiteral("e1-12345"));
    QCOMPARE(icc.fields.value("cardPersonaliserID").value, QVariant(0x30));
    QCOMPARE(icc.fields.value("embedderIcAssemblerId").value.toString(), QStringLiteral("AB123"));
    QCOMPARE(icc.fields.value("icIdentifier").value.toString(), QStringLiteral("39A5"));
    // The crypto-module number spans bytes 9 to 23.
    const CardDataElement skzi = icc.fields.value("SKZINumber");
    QCOMPARE(skzi.type, QStringLiteral("String"));
    QCOMPARE(skzi.raw, icc.data.mid(9, 15));
    QCOMPARE(skzi.value.toString(), QStringLiteral("e1-123450AB1239"));

    const CardFileRecord ic = decoded(readFile(0x0005, 1, 1, {
        {"icSerialNumber", hex("FFFFFFFF")}, {"icManufacturingReferences", hex("00000100")}}));
    QCOMPARE(ic.fields.value("icSerialNumber").value, QVariant(4294967295u));
    QCOMPARE(ic.fields.value("icManufacturingReferences").value, QVariant(256u));

    const CardFileRecord app = decoded(readFile(0x0501, 2, 1, {
        {"typeOfTachographCardId", hex("01")}, {"cardStructureVersion", hex("0102")},
        {"noOfEventsPerType", hex("0C")}, {"noOfFaultsPerType", hex("18")},
        {"activityStructureLength", hex("35D0")}, {"noOfCardVehicleRecords", hex("00C8")},
        {"noOfCardPlaceRecords", hex("70")}}));
    QCOMPARE(app.data.size(), 10);
    QCOMPARE(app.fields.size(), 7);
    QCOMPARE(app.fields.value("cardStructureVersion").value, QVariant(258));
    QCOMPARE(app.fields.value("noOfEventsPerType").value, QVariant(12));
    QCOMPARE(app.fields.value("activityStructureLength").value, QVariant(13776));
    QCOMPARE(app.fields.value("noOfCardPlaceRecords").value, QVariant(112));

    const CardFileRecord id = decoded(readFile(0x0520, 2, 1, {
        {"cardIssuingMemberState", hex("2B")},
        {"cardNumber", "RUD0000000001000"},
        {"cardIssuingAuthorityName", hex("05BCB2B4")},          // ISO 8859-5 "МВД"
        {"cardIssueDate", hex("5F5E1000")},
        {"cardValidityBegin", hex("00000000")},
        {"cardExpiryDate", hex("FFFFFFFF")},
        {"holderSurname", hex("014DFC4C4C4552")},               // Latin-1 "Müller" in capitals
        {"holderFirstNames", hex("C8E2E0ED")},                  // Windows-1251 "Иван"
        {"cardHolderBirthDate", hex("19850321")},
        {"cardHolderPreferredLanguage", "ru"}}));
    QCOMPARE(id.data.size(), 143);
    QCOMPARE(id.fields.size(), 10);
    QCOMPARE(id.fields.value("cardIssuingMemberState").value, QVariant(0x2B));
    QCOMPARE(id.fields.value("cardNumber").value.toString(), QStringLiteral("RUD0000000001000"));
    QCOMPARE(id.fields.value("cardIssuingAuthorityName").value.toString(), QStringLiteral("МВД"));
    QCOMPARE(id.fields.value("cardIssuingAuthorityName").raw.size(), 36);
    QCOMPARE(id.fields.value("cardIssueDate").value.toDateTime(), utc(1600000000));
    QCOMPARE(id.fields.value("cardValidityBegin").value.toDateTime(), utc(0));
    QCOMPARE(id.fields.value("cardExpiryDate").value.toDateTime(), utc(4294967295LL));
    QCOMPARE(id.fields.value("holderSurname").value.toString(), QStringLiteral("MüLLER"));
    QCOMPARE(id.fields.value("holderFirstNames").value.toString(), QStringLiteral("Иван"));
    QCOMPARE(id.fields.value("cardHolderBirthDate").value, QVariant(QDate(1985, 3, 21)));
    QCOMPARE(id.fields.value("cardHolderPreferredLanguage").value.toString(), QStringLiteral("ru"));

    const CardFileRecord licence = decoded(readFile(0x0521, 2, 1, {
        {"drivingLicenceIssuingAuthority", "GIBDD"}, {"drivingLicenceIssuingNation", hex("2B")},
        {"drivingLicenceNumber", "77AB123456"}}));
    QCOMPARE(licence.fields.size(), 3);
    QCOMPARE(licence.fields.value("drivingLicenceIssuingNation").value, QVariant(0x2B));
    QCOMPARE(licence.fields.value("drivingLicenceNumber").value.toString(), QStringLiteral("77AB123456"));

    const CardFileRecord usage = decoded(readFile(0x0507, 2, 1, {
        {"sessionOpenTime", hex("5F5E1000")}, {"vehicleRegistrationNation", hex("2B")},
        {"vehicleRegistrationNumber", hex("01") + "A123BC77"}}));
    QCOMPARE(usage.fields.value("sessionOpenTime").value.toDateTime(), utc(1600000000));
    QCOMPARE(usage.fields.value("vehicleRegistrationNumber").value.toString(), QStringLiteral("A123BC77"));

    const CardFileRecord download = decoded(readFile(0x050E, 2, 1, {{"LastCardDownload", hex("5F5E1000")}}));
    QCOMPARE(download.fields.value("LastCardDownload").value.toDateTime(), utc(1600000000));
    QCOMPARE(download.fields.value("LastCardDownload").type, QStringLiteral("UnixDateTimeUTC"));
}

void TestCardDecoding::workshopCard()
{
    const CardFileRecord app = decoded(readFile(0x0501, 1, 2, {
        {"typeOfTachographCardId", hex("02")}, {"noOfEventsPerType", hex("03")},
        {"noOfCalibrationRecords", hex("FF")}}));
    QCOMPARE(app.data.size(), 11);
    QCOMPARE(app.fields.size(), 8);
    QCOMPARE(app.fields.value("noOfCalibrationRecords").value, QVariant(255));

    const CardFileRecord id = decoded(readFile(0x0520, 1, 2, {
        {"cardNumber", "W000000000000100"},
        {"workshopName", hex("05BCD0E1E2D5E0E1DAD0EF")},        // ISO 8859-5 "Мастерская"
        {"workshopAddress", "Moscow"},
        {"holderSurname", hex("C8E2E0EDEEE2")},
        {"holderFirstNames", hex("01C9") + "mile"}}));
    QCOMPARE(id.data.size(), 211);
    QCOMPARE(id.fields.size(), 11);
    QCOMPARE(id.fields.value("workshopName").value.toString(), QStringLiteral("Мастерская"));
    QCOMPARE(id.fields.value("workshopAddress").value.toString(), QStringLiteral("Moscow"));
    QCOMPARE(id.fields.value("holderSurname").value.toString(), QStringLiteral("Иванов"));
    QCOMPARE(id.fields.value("holderFirstNames").value.toString(), QStringLiteral("Émile"));
    QVERIFY(!id.fields.contains("cardHolderBirthDate"));
    QVERIFY(id.isFieldBlank("cardHolderPreferredLanguage"));

    const CardFileRecord calibrations = decoded(readFile(0x0509, 1, 2, {{"NoOfCalibrationsSinceDownload", hex("FFFF")}}));
    QCOMPARE(calibrations.fields.value("NoOfCalibrationsSinceDownload").value, QVariant(65535));
}

void TestCardDecoding::controlCard()
{
    const CardFileRecord app = decoded(readFile(0x0501, 2, 3, {
        {"typeOfTachographCardId", hex("03")}, {"cardStructureVersion", hex("0100")},
        {"noOfControlActivityRecords", hex("0208")}}));
    QCOMPARE(app.data.size(), 5);
    QCOMPARE(app.fields.keys(), (QList<QString>{"cardStructureVersion", "noOfControlActivityRecords",
                                                 "typeOfTachographCardId"}));
    QCOMPARE(app.fields.value("noOfControlActivityRecords").value, QVariant(520));

    const CardFileRecord id = decoded(readFile(0x0520, 2, 3, {
        {"controlBodyName", "Control body"}, {"controlBodyAddress", "Street 1"},
        {"holderSurname", "Petrov"}, {"cardHolderPreferredLanguage", "en"}}));
    QCOMPARE(id.fields.size(), 11);
    QCOMPARE(id.fields.value("controlBodyName").value.toString(), QStringLiteral("Control body"));
    QCOMPARE(id.fields.value("controlBodyAddress").raw, padded("Street 1", 36));
    QCOMPARE(id.fields.value("cardHolderPreferredLanguage").raw, QByteArray("en"));
}

void TestCardDecoding::companyCard()
{
    const CardFileRecord id = decoded(readFile(0x0520, 3, 4, {
        {"cardIssuingMemberState", hex("FD")}, {"companyName", hex("CECECE20CAEEECEFE0EDE8FF")},
        {"companyAddress", "   Tver   "}, {"cardHolderPreferredLanguage", "ru"}}));
    QCOMPARE(id.data.size(), 139);
    QCOMPARE(id.fields.size(), 9);
    QCOMPARE(id.fields.value("companyName").value.toString(), QStringLiteral("ООО Компания"));
    QCOMPARE(id.fields.value("companyAddress").value.toString(), QStringLiteral("Tver"));
    QCOMPARE(id.fields.value("cardIssuingMemberState").value, QVariant(0xFD));
}

void TestCardDecoding::eventGroupsOfDriverCard()
{
    // Twelve records per type, two filled in each of the six groups.
    QByteArray events;
    for (int group = 0; group < 6; ++group) {
        QByteArray block = eventRecord(quint8(group * 0x10 + 1), 1000, 2000, 0x2B, "A" + QByteArray::number(group))
            + eventRecord(quint8(group * 0x10 + 2), 3000, 4000, 0x0D, hex("01") + "B" + QByteArray::number(group));
        events += padded(block, 12 * 24);
    }
    const CardFileRecord record = decoded(readFile(0x0502, 2, 1, {{"CardEventData", events}}, 12));
    QCOMPARE(record.data.size(), 1728);

    const CardDataElement field = record.fields.value("CardEventData");
    QCOMPARE(field.value, QVariant(0));
    QCOMPARE(field.raw, events);

    const CardRecordList list = record.recordLists.value("CardEventData");
    QCOMPARE(list.name, QStringLiteral("CardEventData"));
    QCOMPARE(list.raw, events);
    QCOMPARE(list.records.size(), 12);
    for (int i = 0; i < 12; ++i)
        QCOMPARE(list.records.at(i).value("eventType").value.toInt(), (i / 2) * 0x10 + 1 + i % 2);
    const QMap<QString, CardDataElement>& last = list.records.last();
    QCOMPARE(last.size(), 5);
    QCOMPARE(last.value("eventBeginTime").value.toDateTime(), utc(3000));
    QCOMPARE(last.value("eventEndTime").value.toDateTime(), utc(4000));
    QCOMPARE(last.value("vehicleRegistrationNation").value, QVariant(0x0D));
    QCOMPARE(last.value("vehicleRegistrationNumber").value.toString(), QStringLiteral("B5"));
    QCOMPARE(last.value("vehicleRegistrationNumber").raw.size(), 14);
}

void TestCardDecoding::blankBlocksAndRecords()
{
    // Workshop cards hold three records per type in a fixed 432-byte file.
    QByteArray events(432, '\0');
    CardFileRecord record = decoded(readFile(0x0502, 2, 2, {{"CardEventData", events}}, 3));
    QVERIFY(record.recordLists.isEmpty());
    QCOMPARE(record.fields.value("CardEventData").value, QVariant(0));

    // Only the third record of the second group is filled; blank records
    // of white space count as empty too.
    events.replace(0, 24, QByteArray(24, ' '));
    events.replace(3 * 24 + 2 * 24, 24, eventRecord(0x05, 10, 20, 0x2B, "X1"));
    record.data = events;
    QVERIFY(record.decode());
    const CardRecordList list = record.recordLists.value("CardEventData");
    QCOMPARE(list.records.size(), 1);
    QCOMPARE(list.records.first().value("eventType").value, QVariant(5));
    QCOMPARE(list.records.first().value("vehicleRegistrationNumber").value.toString(), QStringLiteral("X1"));

    // Decoding again starts afresh.
    record.data = QByteArray(432, '\0');
    QVERIFY(record.decode());
    QVERIFY(record.recordLists.isEmpty());

    // A count of 0 makes every block empty.
    record.data = events;
    record.count = 0;
    QVERIFY(record.decode());
    QVERIFY(record.recordLists.isEmpty());
}

void TestCardDecoding::faultGroupsPastFileEnd()
{
    QByteArray faults = padded(eventRecord(0x31, 100, 200, 0x01, "F0"), 24 * 24)
        + padded(blankRecord + eventRecord(0x32, 300, 400, 0x02, "F1"), 24 * 24);
    const CardFileRecord record = decoded(readFile(0x0503, 2, 1, {{"CardFaultData", faults}}, 24));
    QCOMPARE(record.data.size(), 1152);
    const CardRecordList list = record.recordLists.value("CardFaultData");
    QCOMPARE(list.records.size(), 2);
    QCOMPARE(list.records.at(0).value("faultType").value, QVariant(0x31));
    QCOMPARE(list.records.at(1).value("faultBeginTime").value.toDateTime(), utc(300));
    QCOMPARE(list.records.at(1).value("faultRegistrationNation").value, QVariant(2));
    QCOMPARE(list.records.at(1).value("faultRegistrationNumber").value.toString(), QStringLiteral("F1"));
    QVERIFY(!record.recordLists.contains("CardEventData"));
}

void TestCardDecoding::oversizedCounts()
{
    // Counts far beyond the file: the records present are found, nothing is
    // read past the data, and the walk ends.
    QByteArray events = eventRecord(0x07, 1, 2, 0x2B, "V1") + eventRecord(0x08, 3, 4, 0x2B, "V2");
    for (const quint16 count : {quint16(256), quint16(2731), quint16(65535)}) {
        CardFileRecord record = readFile(0x0502, 2, 1, {{"CardEventData", events}}, count);
        record.data = events + hex("1F");
        QVERIFY(record.decode());
        const CardRecordList list = record.recordLists.value("CardEventData");
        QCOMPARE(list.records.size(), 3);
        QCOMPARE(list.records.at(2).value("eventType").value, QVariant(0x1F));
        QCOMPARE(list.records.at(2).value("eventBeginTime").raw, QByteArray());
        QCOMPARE(list.records.at(2).value("eventBeginTime").value.toDateTime(), utc(0));
        QCOMPARE(record.fields.value("CardEventData").raw, record.data);
    }
}

void TestCardDecoding::shortAndLongFiles()
{
    const QMap<QString, QByteArray> values = {
        {"cardIssuingMemberState", hex("2B")}, {"cardNumber", "RUD0000000001000"},
        {"cardIssuingAuthorityName", "AUTHORITY"}, {"cardIssueDate", hex("5F5E1000")},
        {"holderSurname", "SURNAME"}, {"cardHolderBirthDate", hex("19850321")},
        {"cardHolderPreferredLanguage", "ru"}};
    const CardFileRecord full = decoded(readFile(0x0520, 2, 1, values));

    CardFileRecord longer = readFile(0x0520, 2, 1, values);
    longer.data += QByteArray(100, 'Z');
    QVERIFY(longer.decode());
    QCOMPARE(longer.fields.size(), full.fields.size());
    for (const CardDataElement& element : full.fields)
        QCOMPARE(longer.fields.value(element.name).value, element.value);

    // Cut inside the authority name: the fields after it decode from no bytes.
    CardFileRecord shorter = readFile(0x0520, 2, 1, values);
    shorter.data.truncate(17 + 4);
    QVERIFY(shorter.decode());
    QCOMPARE(shorter.fields.size(), 10);
    QCOMPARE(shorter.fields.value("cardNumber").value.toString(), QStringLiteral("RUD0000000001000"));
    QCOMPARE(shorter.fields.value("cardIssuingAuthorityName").raw, QByteArray("AUTH"));
    QCOMPARE(shorter.fields.value("cardIssuingAuthorityName").value.toString(), QStringLiteral("AUTH"));
    QVERIFY(shorter.fields.value("cardIssueDate").raw.isEmpty());
    QCOMPARE(shorter.fields.value("cardIssueDate").value.toDateTime(), utc(0));
    QCOMPARE(shorter.fields.value("holderSurname").value.toString(), QString());
    QCOMPARE(shorter.fields.value("cardHolderBirthDate").value, QVariant(QDate()));
    QVERIFY(shorter.isFieldBlank("cardHolderBirthDate"));
    QVERIFY(!shorter.isFieldBlank("cardNumber"));
    QVERIFY(shorter.isFieldBlank("neverDecoded"));

    // A numeric field cut in half keeps its high byte first.
    CardFileRecord app = readFile(0x0501, 2, 1, {{"typeOfTachographCardId", hex("01")},
                                                 {"cardStructureVersion", hex("1234")}});
    app.data.truncate(2);
    QVERIFY(app.decode());
    QCOMPARE(app.fields.value("cardStructureVersion").value, QVariant(0x12));
    QCOMPARE(app.fields.value("noOfEventsPerType").value, QVariant(0));

    // The crypto-module number of a short EFICC takes what is there.
    CardFileRecord icc = readFile(0x0002, 1, 1, {{"cardApprovalNumber", "e1-12345"}});
    icc.data.truncate(12);
    QVERIFY(icc.decode());
    QCOMPARE(icc.fields.value("SKZINumber").value.toString(), QStringLiteral("e1-"));
}

void TestCardDecoding::filesWithoutFields()
{
    CardFileRecord empty = readFile(0x0520, 2, 1, {});
    empty.data.clear();
    QVERIFY(empty.decode());
    QVERIFY(empty.fields.isEmpty());
    QVERIFY(empty.recordLists.isEmpty());

    // Certificates are stored, not decoded.
    const CardFileRecord certificate = decoded(readFile(0xC100, 2, 1, {{"CardCertificate", QByteArray(194, 'C')}}));
    QCOMPARE(certificate.data.size(), 194);
    QVERIFY(certificate.fields.isEmpty());

    const CardFileRecord activity = decoded(readFile(0x0504, 2, 1, {}, 600));
    QVERIFY(activity.fields.isEmpty());

    // A row index beyond the table has no layout.
    CardFileRecord stray;
    stray.efIndex = 200;
    stray.fid = 0x0520;
    stray.data = QByteArray(143, 'x');
    QVERIFY(stray.decode());
    QVERIFY(stray.fields.isEmpty());
}

void TestCardDecoding::codePageTexts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("latin-1") << hex("014D554C4C4552202020") << QStringLiteral("MULLER");
    QTest::newRow("latin-1 accents") << hex("01C9E8EAF1FCDF") << QStringLiteral("Éèêñüß");
    QTest::newRow("iso 8859-5") << hex("05B8B2B0BDDEB2") << QStringLiteral("ИВАНоВ");
    QTest::newRow("iso 8859-5 lower") << hex("05D0D1D2F1") << QStringLiteral("абвё");
    QTest::newRow("cp1251 without page byte") << hex("C8C2C0CDCEC2") << QStringLiteral("ИВАНОВ");
    QTest::newRow("cp1251 yo") << hex("A8B8") << QStringLiteral("Ёё");
    QTest::newRow("ascii") << QByteArray("RUD") << QStringLiteral("RUD");
    QTest::newRow("unknown page byte kept") << hex("02C8") << QStringLiteral("\u0002И");
    QTest::newRow("zero padded") << padded(hex("01") + "ABC", 36) << QStringLiteral("ABC");
    QTest::newRow("inner zero") << hex("01410042") << QStringLiteral("A B");
    QTest::newRow("leading zero") << padded(hex("00") + "ABC", 10) << QStringLiteral("ABC");
    QTest::newRow("page byte only") << padded(hex("05"), 14) << QString();
    QTest::newRow("zeros") << QByteArray(36, '\0') << QString();
    QTest::newRow("spaces") << QByteArray(36, ' ') << QString();
    QTest::newRow("no bytes") << QByteArray() << QString();
}

void TestCardDecoding::codePageTexts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(CardFileRecord::decodeCodePageString(bytes), text);
    CardFileRecord record;
    QCOMPARE(record.decodeString(bytes), QVariant(text));
}

void TestCardDecoding::numbersAtTheirEdges()
{
    CardFileRecord r;
    QCOMPARE(r.decodeUInt8(QByteArray()), QVariant(0));
    QCOMPARE(r.decodeUInt8(hex("FF")), QVariant(255));
    QCOMPARE(r.decodeUInt8(hex("1234")), QVariant(0x12));
    QCOMPARE(r.decodeUInt16(QByteArray()), QVariant(0));
    QCOMPARE(r.decodeUInt16(hex("12")), QVariant(18));
    QCOMPARE(r.decodeUInt16(hex("FFFF")), QVariant(65535));
    QCOMPARE(r.decodeUInt16(hex("FFFE01")), QVariant(65534));
    QCOMPARE(r.decodeUInt32(QByteArray()), QVariant(0u));
    QCOMPARE(r.decodeUInt32(hex("0000010000")), QVariant(256u));
    QCOMPARE(r.decodeUInt32(hex("FFFFFFFF")), QVariant(4294967295u));
    QCOMPARE(r.decodeUInt32(hex("8000")), QVariant(0x8000u));
}

void TestCardDecoding::unsignedTimes()
{
    CardFileRecord r;
    const QDateTime epoch = r.decodeUnixTime(QByteArray()).toDateTime();
    QVERIFY(epoch.isValid());
    QCOMPARE(epoch.timeSpec(), Qt::UTC);
    QCOMPARE(epoch, QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC));
    QCOMPARE(r.decodeUnixTime(hex("80000000")).toDateTime(), QDateTime(QDate(2038, 1, 19), QTime(3, 14, 8), Qt::UTC));
    QCOMPARE(r.decodeUnixTime(hex("FFFFFFFF")).toDateTime(), QDateTime(QDate(2106, 2, 7), QTime(6, 28, 15), Qt::UTC));
    QCOMPARE(r.decodeUnixTime(hex("0100")).toDateTime(), utc(256));
}

void TestCardDecoding::bcdHexAndSerialNumber()
{
    CardFileRecord r;
    QCOMPARE(r.decodeBcd(hex("3A")), QVariant(QStringLiteral("310")));
    QCOMPARE(r.decodeBcd(hex("0925")), QVariant(QStringLiteral("0925")));
    QCOMPARE(r.decodeBcd(hex("FF")), QVariant(QStringLiteral("1515")));
    QCOMPARE(r.decodeBcd(QByteArray()), QVariant(QString()));
    QCOMPARE(r.decodeHexString(hex("0A00ff")), QVariant(QStringLiteral("0A00FF")));
    QCOMPARE(r.decodeExtendedSerialNumber(hex("0001E240031906A1")), QVariant(QStringLiteral("123456031906A1")));
    QCOMPARE(r.decodeExtendedSerialNumber(hex("FFFFFFFF00000000")), QVariant(QStringLiteral("429496729500000000")));
    QCOMPARE(r.decodeExtendedSerialNumber(hex("0001E2")), QVariant(QStringLiteral("482")));
    QCOMPARE(r.decodeExtendedSerialNumber(hex("0000000112")), QVariant(QStringLiteral("112")));
}

void TestCardDecoding::stringDates_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QDate>("date");

    QTest::newRow("date") << hex("19850321") << QDate(1985, 3, 21);
    QTest::newRow("leap day") << hex("20000229") << QDate(2000, 2, 29);
    QTest::newRow("zeros") << hex("00000000") << QDate();
    QTest::newRow("nibble above 9 in month") << hex("19850A21") << QDate();
    QTest::newRow("nibble above 9 in year") << hex("1F850321") << QDate();
    QTest::newRow("nibble above 9 in day") << hex("1985032B") << QDate();
    QTest::newRow("no such day") << hex("20230230") << QDate();
    QTest::newRow("month 13") << hex("20231301") << QDate();
    QTest::newRow("short") << hex("198503") << QDate();
    QTest::newRow("long") << hex("1985032100") << QDate();
    QTest::newRow("none") << QByteArray() << QDate();
}

void TestCardDecoding::stringDates()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QDate, date);
    CardFileRecord r;
    const QVariant value = r.decodeStringDate(bytes);
    QCOMPARE(value.userType(), int(QMetaType::QDate));
    QCOMPARE(value.toDate(), date);
}

void TestCardDecoding::blankBytes()
{
    QVERIFY(CardFileRecord::isBlank(QByteArray()));
    QVERIFY(CardFileRecord::isBlank(QByteArray("\0\t\n\v\f\r ", 7)));
    QVERIFY(!CardFileRecord::isBlank(hex("0000000001")));
    QVERIFY(!CardFileRecord::isBlank(hex("A0")));
    QVERIFY(!CardFileRecord::isBlank(hex("FF")));
}

QTEST_GUILESS_MAIN(TestCardDecoding)
#include "tst_carddecoding.moc"
