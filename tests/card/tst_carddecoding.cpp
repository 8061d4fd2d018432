// Card files: the layout tables, lookups per card variant, and decoding.

#include "card/CardAppLayout.h"
#include "card/CardCodeTexts.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "card/CardTextCodecs.h"

#include <QtTest>

namespace {

QByteArray hex(const char* digits) { return QByteArray::fromHex(digits); }

// A card text: the bytes padded with zeros to the field size.
QByteArray padded(const QByteArray& bytes, int size) { return bytes.leftJustified(size, '\0', true); }

QDateTime utc(qint64 seconds) { return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC); }

// A record as the reading command leaves it for a card of this kind and
// type: the file's bytes laid out by its layout, unnamed bytes zero.
CardFileRecord readFile(quint16 fid, quint8 kind, quint8 type, const QVariantMap& values, quint16 count = 0)
{
    CardFileRecord record;
    if (!CardDictionary::findFileEntry(fid, kind, type, record.efIndex, record.layoutKey))
        qFatal("file %04x not carried by variant %d/%d", fid, kind, type);
    const CardFileLayout layout = CardDictionary::fileLayout(record.efIndex, record.layoutKey);
    record.fid = fid;
    record.count = count;
    record.name = CardDictionary::efDescriptors().at(record.efIndex).name;
    for (const CardFieldLayout& field : layout.fields) {
        const QByteArray value = values.value(field.name).toByteArray();
        record.data += padded(value, field.minSize == field.maxSize ? field.maxSize : value.size());
    }
    record.data = padded(record.data, qMax(int(layout.minSize), record.data.size()));
    record.length = quint16(record.data.size());
    return record;
}

// One 24-byte event or fault record.
QByteArray eventRecord(quint8 type, quint32 begin, quint32 end, quint8 nation, const QByteArray& vehicle)
{
    QByteArray bytes(1, char(type));
    for (const quint32 time : {begin, end}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += char((time >> shift) & 0xFF);
    }
    return bytes + char(nation) + padded(vehicle, 14);
}

} // namespace

class TestCardDecoding : public QObject
{
    Q_OBJECT

private slots:
    void layoutsAreConsistent();
    void codeTexts_data();
    void codeTexts();
    void filesOfEachCardType_data();
    void filesOfEachCardType();
    void eventAndFaultGroups();
    void blankBlocksAndRecords();
    void oversizedCounts();
    void shortLongAndEmptyFiles();
    void codePageTexts_data();
    void codePageTexts();
    void numbersTimesAndSerials();
    void stringDates_data();
    void stringDates();
};

// Every fixed layout with fields fills its file exactly and every value type
// names a decoder: a typo in a size or type shows here.
void TestCardDecoding::layoutsAreConsistent()
{
    QSet<quint16> tableFids;
    for (const CardAppLayout& row : CardDictionary::efDescriptors()) {
        tableFids.insert(row.fid);
        QVERIFY2(!row.layouts.isEmpty(), qPrintable(row.name));
        for (auto it = row.layouts.cbegin(); it != row.layouts.cend(); ++it) {
            const QString where = QStringLiteral("%1 key %2").arg(row.fid, 4, 16).arg(it.key(), 4, 16);
            QVERIFY2(it->minSize <= it->maxSize, qPrintable(where));
            int minTotal = 0;
            int maxTotal = 0;
            for (const CardFieldLayout& field : it->fields) {
                minTotal += field.minSize;
                maxTotal += field.maxSize;
                QVERIFY2(field.valueType.isEmpty() || CardFileRecord::valueDecoders().contains(field.valueType),
                         qPrintable(where + QLatin1Char(' ') + field.name));
            }
            QVERIFY2(it->fields.isEmpty() || (minTotal == it->minSize && maxTotal == it->maxSize), qPrintable(where));
        }
    }
    QCOMPARE(tableFids.size(), 28);
    for (const QString& list : {QStringLiteral("CardEventData"), QStringLiteral("CardFaultData")}) {
        int total = 0;
        for (const CardFieldLayout& field : CardDictionary::recordLayouts().value(list))
            total += field.maxSize;
        QCOMPARE(total, 24);
    }
}

void TestCardDecoding::codeTexts_data()
{
    QTest::addColumn<bool>("event");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("event 0x05") << true << 0x05 << "Ввод карточки в процессе управления";
    QTest::newRow("event 0x4F") << true << 0x4F << "Зарезервировано для будущего использования";
    QTest::newRow("event 0x80") << true << 0x80 << "По усмотрению изготовителя";
    QTest::newRow("nation 0x2B") << false << 0x2B << "Российская Федерация";
    QTest::newRow("nation 0xFF") << false << 0xFF << "Остальная часть мира";
}

// Every code byte has a text, so no lookup of a card byte comes back empty.
void TestCardDecoding::codeTexts()
{
    QFETCH(bool, event);
    QFETCH(int, code);
    QFETCH(QString, text);
    const auto &table = event ? CardCodeTexts::eventFaultTypeNames() : CardCodeTexts::nationNames();
    QCOMPARE(table.size(), 256);
    QCOMPARE(table.value(quint8(code)), text);
    QCOMPARE(CardTextCodecs::missingCodecs(), QStringList());
    // Out-of-range rows and unknown keys give the empty layout.
    QCOMPARE(int(CardDictionary::fileLayout(28, 0).maxSize) + int(CardDictionary::fileLayout(13, 5).maxSize), 0);
}

void TestCardDecoding::filesOfEachCardType_data()
{
    QTest::addColumn<int>("fid");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("fieldCount");
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QVariantMap>("expected"); // an invalid value: the field is absent

    // The crypto-module number spans bytes 9 to 23, across three fields.
    QTest::newRow("driver ICC") << 0x0002 << 1 << 1 << 25 << 7
        << QVariantMap{{"clockStop", hex("01")}, {"cardExtendedSerialNumber", hex("0001E240031906A1")},
                       {"cardApprovalNumber", "e1-12345"}, {"cardPersonaliserID", "0"},
                       {"embedderIcAssemblerId", "AB123"}, {"icIdentifier", "9" + hex("A5")}}
        << QVariantMap{{"clockStop", 1}, {"cardExtendedSerialNumber", "123456031906A1"},
                       {"cardPersonaliserID", 0x30}, {"icIdentifier", "39A5"}, {"SKZINumber", "e1-123450AB1239"}};
    QTest::newRow("driver application") << 0x0501 << 2 << 1 << 10 << 7
        << QVariantMap{{"cardStructureVersion", hex("0102")}, {"activityStructureLength", hex("35D0")},
                       {"noOfCardPlaceRecords", hex("70")}}
        << QVariantMap{{"cardStructureVersion", 258}, {"activityStructureLength", 13776}, {"noOfCardPlaceRecords", 112}};
    // ISO 8859-5 authority, Latin-1 surname, Windows-1251 first names.
    QTest::newRow("driver identification") << 0x0520 << 2 << 1 << 143 << 10
        << QVariantMap{{"cardIssuingMemberState", hex("2B")}, {"cardNumber", "RUD0000000001000"},
                       {"cardIssuingAuthorityName", hex("05BCB2B4")}, {"cardIssueDate", hex("5F5E1000")},
                       {"cardExpiryDate", hex("FFFFFFFF")}, {"holderSurname", hex("014DFC4C4C4552")},
                       {"holderFirstNames", hex("C8E2E0ED")}, {"cardHolderBirthDate", hex("19850321")},
                       {"cardHolderPreferredLanguage", "ru"}}
        << QVariantMap{{"cardIssuingMemberState", 0x2B}, {"cardNumber", "RUD0000000001000"},
                       {"cardIssuingAuthorityName", "МВД"}, {"cardIssueDate", utc(1600000000)},
                       {"cardValidityBegin", utc(0)}, {"cardExpiryDate", utc(4294967295LL)},
                       {"holderSurname", "MüLLER"}, {"holderFirstNames", "Иван"},
                       {"cardHolderBirthDate", QDate(1985, 3, 21)}, {"cardHolderPreferredLanguage", "ru"}};
    QTest::newRow("workshop identification") << 0x0520 << 1 << 2 << 211 << 11
        << QVariantMap{{"workshopName", hex("05BCD0E1E2D5E0E1DAD0EF")}, {"workshopAddress", "Moscow"},
                       {"holderFirstNames", hex("01C9") + "mile"}}
        << QVariantMap{{"workshopName", "Мастерская"}, {"workshopAddress", "Moscow"},
                       {"holderFirstNames", "Émile"}, {"cardHolderBirthDate", QVariant()}};
    QTest::newRow("control application") << 0x0501 << 2 << 3 << 5 << 3
        << QVariantMap{{"noOfControlActivityRecords", hex("0208")}}
        << QVariantMap{{"noOfControlActivityRecords", 520}, {"noOfCardPlaceRecords", QVariant()}};
    QTest::newRow("company identification") << 0x0520 << 3 << 4 << 139 << 9
        << QVariantMap{{"cardIssuingMemberState", hex("FD")}, {"companyName", hex("CECECE20CAEEECEFE0EDE8FF")},
                       {"companyAddress", "   Tver   "}}
        << QVariantMap{{"cardIssuingMemberState", 0xFD}, {"companyName", "ООО Компания"}, {"companyAddress", "Tver"},
                       {"holderSurname", QVariant()}};
}

void TestCardDecoding::filesOfEachCardType()
{
    QFETCH(int, fid);
    QFETCH(int, kind);
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(int, fieldCount);
    QFETCH(QVariantMap, values);
    QFETCH(QVariantMap, expected);
    CardFileRecord record = readFile(quint16(fid), quint8(kind), quint8(type), values);
    QVERIFY(record.decode());
    QCOMPARE(record.data.size(), size);
    QCOMPARE(record.fields.size(), fieldCount);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QCOMPARE(record.fields.contains(it.key()), it->isValid());
        if (it->isValid())
            QVERIFY2(record.fields.value(it.key()).value == *it, qPrintable(it.key()));
    }
}

void TestCardDecoding::eventAndFaultGroups()
{
    // Twelve records per type, two filled in each of the six groups.
    QByteArray events;
    for (int group = 0; group < 6; ++group) {
        const QByteArray n = QByteArray::number(group);
        events += padded(eventRecord(quint8(group * 0x10 + 1), 1000, 2000, 0x2B, "A" + n)
                             + eventRecord(quint8(group * 0x10 + 2), 3000, 4000, 0x0D, hex("01") + "B" + n),
                         12 * 24);
    }
    CardFileRecord record = readFile(0x0502, 2, 1, {{"CardEventData", events}}, 12);
    QVERIFY(record.decode());
    QCOMPARE(record.fields.value("CardEventData").raw, events);
    const CardRecordList list = record.recordLists.value("CardEventData");
    QCOMPARE(list.raw, events);
    QCOMPARE(list.records.size(), 12);
    for (int i = 0; i < 12; ++i)
        QCOMPARE(list.records.at(i).value("eventType").value.toInt(), (i / 2) * 0x10 + 1 + i % 2);
    const QMap<QString, CardDataElement>& last = list.records.last();
    QCOMPARE(last.size(), 5);
    QCOMPARE(last.value("eventEndTime").value.toDateTime(), utc(4000));
    QCOMPARE(last.value("vehicleRegistrationNation").value, QVariant(0x0D));
    QCOMPARE(last.value("vehicleRegistrationNumber").value.toString(), QStringLiteral("B5"));

    // 24 faults per type: the second group's block runs past the 1152-byte file.
    const QByteArray faults = padded(eventRecord(0x31, 100, 200, 0x01, "F0"), 24 * 24)
        + padded(QByteArray(24, '\0') + eventRecord(0x32, 300, 400, 0x02, "F1"), 24 * 24);
    record = readFile(0x0503, 2, 1, {{"CardFaultData", faults}}, 24);
    QVERIFY(record.decode());
    const CardRecordList faultList = record.recordLists.value("CardFaultData");
    QCOMPARE(faultList.records.size(), 2);
    QCOMPARE(faultList.records.at(0).value("faultType").value, QVariant(0x31));
    QCOMPARE(faultList.records.at(1).value("faultBeginTime").value.toDateTime(), utc(300));
    QCOMPARE(faultList.records.at(1).value("faultRegistrationNumber").value.toString(), QStringLiteral("F1"));
    QVERIFY(!record.recordLists.contains("CardEventData"));
}

void TestCardDecoding::blankBlocksAndRecords()
{
    // Workshop cards hold three records per type in a fixed 432-byte file.
    QByteArray events(432, '\0');
    CardFileRecord record = readFile(0x0502, 2, 2, {{"CardEventData", events}}, 3);
    QVERIFY(record.decode());
    QVERIFY(record.recordLists.isEmpty());

    // Only the third record of the second group is filled; a record of
    // white space counts as empty too.
    events.replace(0, 24, QByteArray(24, ' '));
    events.replace(5 * 24, 24, eventRecord(0x05, 10, 20, 0x2B, "X1"));
    record.data = events;
    QVERIFY(record.decode());
    const CardRecordList list = record.recordLists.value("CardEventData");
    QCOMPARE(list.records.size(), 1);
    QCOMPARE(list.records.first().value("eventType").value, QVariant(5));

    // Decoding again starts afresh; a count of 0 makes every block empty.
    record.data = QByteArray(432, '\0');
    QVERIFY(record.decode());
    QVERIFY(record.recordLists.isEmpty());
    record.data = events;
    record.count = 0;
    QVERIFY(record.decode());
    QVERIFY(record.recordLists.isEmpty());
}

void TestCardDecoding::oversizedCounts()
{
    // Counts far beyond the file: the records present are found, nothing is
    // read past the data, and the walk ends.
    const QByteArray events = eventRecord(0x07, 1, 2, 0x2B, "V1") + eventRecord(0x08, 3, 4, 0x2B, "V2");
    for (const quint16 count : {quint16(256), quint16(2731), quint16(65535)}) {
        CardFileRecord record = readFile(0x0502, 2, 1, {{"CardEventData", events}}, count);
        record.data = events + hex("1F");
        QVERIFY(record.decode());
        const CardRecordList list = record.recordLists.value("CardEventData");
        QCOMPARE(list.records.size(), 3);
        QCOMPARE(list.records.at(2).value("eventType").value, QVariant(0x1F));
        QCOMPARE(list.records.at(2).value("eventBeginTime").raw, QByteArray());
        QCOMPARE(list.records.at(2).value("eventBeginTime").value.toDateTime(), utc(0));
    }
}

void TestCardDecoding::shortLongAndEmptyFiles()
{
    const QVariantMap values = {{"cardNumber", "RUD0000000001000"}, {"cardIssuingAuthorityName", "AUTHORITY"},
                                {"cardIssueDate", hex("5F5E1000")}, {"cardHolderBirthDate", hex("19850321")}};
    CardFileRecord longer = readFile(0x0520, 2, 1, values);
    longer.data += QByteArray(100, 'Z'); // bytes past the layout are ignored
    QVERIFY(longer.decode() && longer.fields.size() == 10);
    QCOMPARE(longer.fields.value("cardHolderPreferredLanguage").value.toString(), QString());

    // Cut inside the authority name: the fields after it decode from no bytes.
    CardFileRecord shorter = readFile(0x0520, 2, 1, values);
    shorter.data.truncate(17 + 4);
    QVERIFY(shorter.decode());
    QCOMPARE(shorter.fields.size(), 10);
    QCOMPARE(shorter.fields.value("cardIssuingAuthorityName").value.toString(), QStringLiteral("AUTH"));
    QVERIFY(shorter.fields.value("cardIssueDate").raw.isEmpty());
    QCOMPARE(shorter.fields.value("cardIssueDate").value.toDateTime(), utc(0));
    QCOMPARE(shorter.fields.value("cardHolderBirthDate").value, QVariant(QDate()));
    QVERIFY(shorter.isFieldBlank("cardHolderBirthDate") && shorter.isFieldBlank("neverDecoded"));
    QVERIFY(!shorter.isFieldBlank("cardNumber"));

    // The crypto-module number of a short ICC file takes what is there.
    CardFileRecord icc = readFile(0x0002, 1, 1, {{"cardApprovalNumber", "e1-12345"}});
    icc.data.truncate(12);
    QVERIFY(icc.decode());
    QCOMPARE(icc.fields.value("SKZINumber").value.toString(), QStringLiteral("e1-"));

    // No data, a certificate (stored, not decoded), a row beyond the table.
    CardFileRecord empty = readFile(0x0520, 2, 1, {});
    empty.data.clear();
    CardFileRecord certificate = readFile(0xC100, 2, 1, {{"CardCertificate", QByteArray(194, 'C')}});
    CardFileRecord stray = readFile(0x0520, 2, 1, {});
    stray.efIndex = 200;
    for (CardFileRecord* record : {&empty, &certificate, &stray}) {
        QVERIFY(record->decode());
        QVERIFY(record->fields.isEmpty() && record->recordLists.isEmpty());
    }
}

void TestCardDecoding::codePageTexts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("latin-1, spaces trimmed") << hex("01C9E8EAF1FCDF202020") << QStringLiteral("Éèêñüß");
    QTest::newRow("iso 8859-5") << hex("05B8B2B0BDDEB2D0F1") << QStringLiteral("ИВАНоВаё");
    QTest::newRow("cp1251 without page byte") << hex("C8C2A8B8") << QStringLiteral("ИВЁё");
    QTest::newRow("unknown page byte kept") << hex("02C8") << QStringLiteral("\u0002И");
    QTest::newRow("zero padded") << padded(hex("01") + "ABC", 36) << QStringLiteral("ABC");
    QTest::newRow("inner zero") << hex("01410042") << QStringLiteral("A B");
    QTest::newRow("leading zero") << padded(hex("00") + "ABC", 10) << QStringLiteral("ABC");
    QTest::newRow("page byte only") << padded(hex("05"), 14) << QString();
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

void TestCardDecoding::numbersTimesAndSerials()
{
    CardFileRecord r;
    // Short input reads as the bytes there are; long input stops at the size.
    QCOMPARE(r.decodeUInt8(QByteArray()), QVariant(0));
    QCOMPARE(r.decodeUInt8(hex("1234")), QVariant(0x12));
    QCOMPARE(r.decodeUInt16(hex("12")), QVariant(18));
    QCOMPARE(r.decodeUInt16(hex("FFFE01")), QVariant(65534));
    QCOMPARE(r.decodeUInt32(hex("0000010000")), QVariant(256u));
    QCOMPARE(r.decodeUInt32(hex("FFFFFFFF")), QVariant(4294967295u));

    // Card times are unsigned: past 2038 up to 2106, and never invalid.
    const QDateTime epoch = r.decodeUnixTime(QByteArray()).toDateTime();
    QCOMPARE(epoch.timeSpec(), Qt::UTC);
    QCOMPARE(epoch, QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC));
    QCOMPARE(r.decodeUnixTime(hex("80000000")).toDateTime(), QDateTime(QDate(2038, 1, 19), QTime(3, 14, 8), Qt::UTC));
    QCOMPARE(r.decodeUnixTime(hex("FFFFFFFF")).toDateTime(), QDateTime(QDate(2106, 2, 7), QTime(6, 28, 15), Qt::UTC));

    QCOMPARE(r.decodeBcd(hex("3A")), QVariant(QStringLiteral("310")));
    QCOMPARE(r.decodeExtendedSerialNumber(hex("FFFFFFFF00000000")), QVariant(QStringLiteral("429496729500000000")));
    QCOMPARE(r.decodeExtendedSerialNumber(hex("0000000112")), QVariant(QStringLiteral("112")));
    // Month and year are BCD: a nibble above 9 shows as its two digits.
    QCOMPARE(r.decodeExtendedSerialNumber(hex("0001E2400A1906A1")), QVariant(QStringLiteral("1234560101906A1")));

    QVERIFY(CardFileRecord::isBlank(QByteArray()));
    QVERIFY(CardFileRecord::isBlank(QByteArray("\0\t\n\v\f\r ", 7)));
    QVERIFY(!CardFileRecord::isBlank(hex("0000000001")) && !CardFileRecord::isBlank(hex("A0")));
}

void TestCardDecoding::stringDates_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QDate>("date");
    QTest::newRow("leap day") << hex("20000229") << QDate(2000, 2, 29);
    QTest::newRow("nibble above 9 in month") << hex("19850A21") << QDate();
    QTest::newRow("no such day") << hex("20230230") << QDate();
    QTest::newRow("short") << hex("198503") << QDate();
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

QTEST_GUILESS_MAIN(TestCardDecoding)
#include "tst_carddecoding.moc"
