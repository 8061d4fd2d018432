#include "card/CardAppLayout.h"
#include "card/CardCodeTexts.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "card/CardKindParams.h"

#include <QtTest>

namespace {

// The FIDs a card of this kind and type carries, in table order.
QVector<quint16> carriedFiles(quint8 kind, quint8 type)
{
    QVector<quint16> fids;
    for (const CardAppLayout& row : CardDictionary::efDescriptors()) {
        quint16 key = 0;
        if (CardDictionary::layoutKey(row, kind, type, key))
            fids.append(row.fid);
    }
    return fids;
}

} // namespace

class TestCardDictionary : public QObject
{
    Q_OBJECT

private slots:
    void layoutsAreConsistent();
    void variantLookup_data();
    void variantLookup();
    void fileSetsPerVariant_data();
    void fileSetsPerVariant();
    void unknownFileAndRows();
    void dddOrderNamesKnownFiles();
    void namesAndParamsOfMissingRows();
    void codeTexts();
};

// Every fixed layout with fields fills its file exactly, and every value
// type names a decoder: a typo in a size or type name shows here.
void TestCardDictionary::layoutsAreConsistent()
{
    const QVector<CardAppLayout>& rows = CardDictionary::efDescriptors();
    QCOMPARE(rows.size(), 28);
    for (const CardAppLayout& row : rows) {
        QVERIFY2(!row.layouts.isEmpty(), qPrintable(row.name));
        for (auto it = row.layouts.cbegin(); it != row.layouts.cend(); ++it) {
            const CardFileLayout& layout = it.value();
            const QString where = QStringLiteral("%1 key %2").arg(row.fid, 4, 16).arg(it.key(), 4, 16);
            QVERIFY2(layout.minSize <= layout.maxSize, qPrintable(where));
            int minTotal = 0;
            int maxTotal = 0;
            for (const CardFieldLayout& field : layout.fields) {
                minTotal += field.minSize;
                maxTotal += field.maxSize;
                QVERIFY2(field.valueType.isEmpty()
                             || CardFileRecord::valueDecoders().contains(field.valueType),
                         qPrintable(where + QLatin1Char(' ') + field.name));
            }
            if (!layout.fields.isEmpty()) {
                QCOMPARE(minTotal, int(layout.minSize));
                QCOMPARE(maxTotal, int(layout.maxSize));
            }
        }
    }
    for (const QString& list : {QStringLiteral("CardEventData"), QStringLiteral("CardFaultData")}) {
        int total = 0;
        for (const CardFieldLayout& field : CardDictionary::recordLayouts().value(list))
            total += field.maxSize;
        QCOMPARE(total, 24);
    }
}

void TestCardDictionary::variantLookup_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("fid");
    QTest::addColumn<int>("key");   // -1: not carried
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("lastField");

    // EF 0x0501 has three sizes: driver, workshop, and any other card.
    QTest::newRow("0501 driver") << 2 << 1 << 0x0501 << 0x0001 << 10 << "noOfCardPlaceRecords";
    QTest::newRow("0501 workshop") << 1 << 2 << 0x0501 << 0x0002 << 11 << "noOfCalibrationRecords";
    QTest::newRow("0501 control") << 2 << 3 << 0x0501 << 0x0000 << 5 << "noOfControlActivityRecords";
    QTest::newRow("0501 undetermined") << 0 << 0 << 0x0501 << 0x0000 << 5 << "noOfControlActivityRecords";
    // EF 0x0520: one layout per card type, none for an unknown type.
    QTest::newRow("0520 driver") << 3 << 1 << 0x0520 << 0x0001 << 143 << "cardHolderPreferredLanguage";
    QTest::newRow("0520 workshop") << 1 << 2 << 0x0520 << 0x0002 << 211 << "cardHolderPreferredLanguage";
    QTest::newRow("0520 control") << 2 << 3 << 0x0520 << 0x0003 << 211 << "cardHolderPreferredLanguage";
    QTest::newRow("0520 company") << 2 << 4 << 0x0520 << 0x0004 << 139 << "cardHolderPreferredLanguage";
    QTest::newRow("0520 type 0") << 2 << 0 << 0x0520 << -1 << 0 << "";
    // Kind-only, type-only and exact keys.
    QTest::newRow("C100 kind 2") << 2 << 3 << 0xC100 << 0x0200 << 194 << "CardCertificate";
    QTest::newRow("C100 kind 1") << 1 << 1 << 0xC100 << -1 << 0 << "";
    QTest::newRow("050C control") << 2 << 3 << 0x050C << 0x0003 << 23922 << "";
    QTest::newRow("C203 workshop kind 1") << 1 << 2 << 0xC203 << 0x0102 << 1024 << "";
    QTest::newRow("C203 workshop kind 2") << 2 << 2 << 0xC203 << -1 << 0 << "";
    QTest::newRow("C206 company kind 1") << 1 << 4 << 0xC206 << 0x0104 << 14 << "";
    QTest::newRow("0502 driver") << 2 << 1 << 0x0502 << 0x0001 << 1728 << "CardEventData";
    QTest::newRow("0502 control") << 2 << 3 << 0x0502 << -1 << 0 << "";
}

void TestCardDictionary::variantLookup()
{
    QFETCH(int, kind);
    QFETCH(int, type);
    QFETCH(int, fid);
    QFETCH(int, key);
    QFETCH(int, size);
    QFETCH(QString, lastField);

    quint8 index = 0xFF;
    quint16 found = 0xFFFF;
    const bool carried = CardDictionary::findFileEntry(quint16(fid), quint8(kind), quint8(type), index, found);
    QCOMPARE(carried, key >= 0);
    if (!carried)
        return;
    QCOMPARE(int(found), key);
    QCOMPARE(int(CardDictionary::efDescriptors().at(index).fid), fid);
    const CardFileLayout layout = CardDictionary::fileLayout(index, found);
    QCOMPARE(int(layout.maxSize), size);
    QCOMPARE(layout.fields.isEmpty() ? QString() : layout.fields.last().name, lastField);
}

void TestCardDictionary::fileSetsPerVariant_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVector<quint16>>("fids");

    QTest::newRow("undetermined") << 0 << 0 << QVector<quint16>{0x0002, 0x0005, 0x0501};
    QTest::newRow("driver kind 2") << 2 << 1
        << QVector<quint16>{0x0002, 0x0005, 0x0501, 0xC100, 0xC108, 0x0520, 0x050E, 0x0521,
                            0x0502, 0x0503, 0x0504, 0x0505, 0x0506, 0x0507, 0x0508, 0x0522};
    QTest::newRow("workshop kind 1") << 1 << 2
        << QVector<quint16>{0x0002, 0x0005, 0x0501, 0xC200, 0xC201, 0xC203, 0xC204, 0xC205, 0xC206, 0xC207,
                            0xC208, 0x0520, 0x0509, 0x050A, 0x0502, 0x0503, 0x0504, 0x0505, 0x0506, 0x0507,
                            0x0508, 0x0522};
    QTest::newRow("control kind 3") << 3 << 3
        << QVector<quint16>{0x0002, 0x0005, 0x0501, 0xC100, 0xC108, 0x0520, 0x050C};
    QTest::newRow("company kind 1") << 1 << 4
        << QVector<quint16>{0x0002, 0x0005, 0x0501, 0xC200, 0xC201, 0xC206, 0xC208, 0x0520, 0x050D};
}

void TestCardDictionary::fileSetsPerVariant()
{
    QFETCH(int, kind);
    QFETCH(int, type);
    QFETCH(QVector<quint16>, fids);
    QCOMPARE(carriedFiles(quint8(kind), quint8(type)), fids);
}

void TestCardDictionary::unknownFileAndRows()
{
    quint8 index = 7;
    quint16 key = 7;
    QVERIFY(!CardDictionary::findFileEntry(0x050B, 2, 1, index, key));
    QCOMPARE(int(index), 7);
    QCOMPARE(int(key), 7);

    // Out-of-range rows and unknown keys give the empty layout.
    QCOMPARE(int(CardDictionary::fileLayout(28, 0).maxSize), 0);
    QCOMPARE(int(CardDictionary::fileLayout(255, 0).fields.size()), 0);
    QCOMPARE(int(CardDictionary::fileLayout(13, 0x0005).maxSize), 0);
}

void TestCardDictionary::dddOrderNamesKnownFiles()
{
    const QVector<quint16>& order = CardDictionary::dddFileOrder();
    QCOMPARE(order.size(), 29);
    QSet<quint16> tableFids;
    for (const CardAppLayout& row : CardDictionary::efDescriptors())
        tableFids.insert(row.fid);
    QSet<quint16> orderFids;
    for (const quint16 fid : order)
        orderFids.insert(fid);
    QCOMPARE(orderFids.size(), 29);
    QVERIFY(!tableFids.contains(0x050B));
    orderFids.remove(0x050B);
    QCOMPARE(orderFids, tableFids);
}

void TestCardDictionary::namesAndParamsOfMissingRows()
{
    QCOMPARE(CardDictionary::cardKindNames().value(4), QString());
    QCOMPARE(CardDictionary::cardTypeNames().value(5), QString());
    QCOMPARE(CardDictionary::cardTypeNames().value(0), QStringLiteral("Неопределенный"));
    const CardKindParams none = CardDictionary::cardKindParams().value(0);
    QCOMPARE(int(none.signatureTag) + int(none.reserved) + int(none.signatureLength), 0);
    QCOMPARE(int(CardDictionary::cardKindParams().value(1).signatureLength), 0x40);
    QCOMPARE(int(CardDictionary::cardKindParams().value(3).signatureTag), 0x01);
}

void TestCardDictionary::codeTexts()
{
    const QMap<quint8, QString>& events = CardCodeTexts::eventFaultTypeNames();
    const QMap<quint8, QString>& nations = CardCodeTexts::nationNames();
    QCOMPARE(events.size(), 256);
    QCOMPARE(nations.size(), 256);
    const QString reserved = QStringLiteral("Зарезервировано для будущего использования");

    QCOMPARE(events.value(0x23), events.value(0x16));
    QCOMPARE(events.value(0x40), QStringLiteral("Дополнительно не уточняется"));
    QCOMPARE(events.value(0x35), QStringLiteral("Неисправность датчика"));
    QCOMPARE(events.value(0x36), reserved);
    QCOMPARE(events.value(0x4F), reserved);
    QCOMPARE(events.value(0x7F), reserved);
    QCOMPARE(events.value(0x80), QStringLiteral("По усмотрению изготовителя"));

    QCOMPARE(nations.value(0x2B), QStringLiteral("Российская Федерация"));
    QCOMPARE(nations.value(0x33), QStringLiteral("Сербия"));
    QCOMPARE(nations.value(0x34), reserved);
    QCOMPARE(nations.value(0xFC), reserved);
    QCOMPARE(nations.value(0xFD), QStringLiteral("Европейское сообщество"));
    QCOMPARE(nations.value(0xFF), QStringLiteral("Остальная часть мира"));
}

QTEST_GUILESS_MAIN(TestCardDictionary)
#include "tst_carddictionary.moc"
