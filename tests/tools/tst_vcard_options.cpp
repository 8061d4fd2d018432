// The virtual card's command line, image file and dump: what tests hand to
// the card and what they read back from it.

#include "tools/vcard/ApduEngine.h"
#include "tools/vcard/CardDump.h"
#include "tools/vcard/CardImage.h"
#include "tools/vcard/CardImageFile.h"
#include "tools/vcard/CardOptions.h"
#include "tools/vcard/CardProfiles.h"

#include <QDate>
#include <QTemporaryDir>
#include <QtTest>

namespace {

quint16 sw(const QByteArray &response)
{
    return quint16((quint8(response.at(response.size() - 2)) << 8) | quint8(response.back()));
}

QStringList args(const char *line)
{
    return QString::fromLatin1(line).split(QLatin1Char(' '));
}

} // namespace

class TestVcardOptions : public QObject
{
    Q_OBJECT

private slots:
    void faultOptionsReachTheEngine();
    void rejectsMisuse_data();
    void rejectsMisuse();
    void buildsPatchedCardWithCredentials();
    void defaultAtrCarriesValidCheckByte();
    void imageFileRoundTrips();
    void rejectsBrokenImages_data();
    void rejectsBrokenImages();
    void dumpHoldsFilesAndCounters();
};

void TestVcardOptions::faultOptionsReachTheEngine()
{
    CardOptions options;
    QString error;
    QVERIFY2(options.parse(args("--port 40000 --profile driver-estr --fail select:2:6A88 --fail read:1:6581 "
                                "--short read:2 --delay-ms 5 --remove-after 7 --dump /tmp/x --atr 3B00"),
                           &error),
             qPrintable(error));
    QCOMPARE(options.port, quint16(40000));
    QCOMPARE(options.delayMs, 5);
    QCOMPARE(options.removeAfter, 7);
    QCOMPARE(options.dumpDir, QStringLiteral("/tmp/x"));
    QCOMPARE(options.atr, QByteArray::fromHex("3B00"));

    CardImage card;
    QVERIFY(options.buildCard(&card, &error));
    ApduEngine engine(&card);
    engine.setFaultPlan(options.faults);
    QCOMPARE(sw(engine.transmit(QByteArray::fromHex("00A4040C06FF544143484F"))), quint16(0x9000));
    QCOMPARE(sw(engine.transmit(QByteArray::fromHex("00A4020C020520"))), quint16(0x6A88));
    QCOMPARE(sw(engine.transmit(QByteArray::fromHex("00A4020C020520"))), quint16(0x9000));
    QCOMPARE(sw(engine.transmit(QByteArray::fromHex("00B0000010"))), quint16(0x6581));
    QCOMPARE(engine.transmit(QByteArray::fromHex("00B0000010")).size(), 8 + 2);
}

void TestVcardOptions::rejectsMisuse_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("no card") << "--port 40000";
    QTest::newRow("two cards") << "--port 40000 --profile driver-estr --image x.img";
    QTest::newRow("no port") << "--profile driver-estr";
    QTest::newRow("unknown kind") << "--port 1 --profile driver-estr --fail write:1:6A82";
    QTest::newRow("short status") << "--port 1 --profile driver-estr --fail read:1:6A8";
    QTest::newRow("status in short") << "--port 1 --profile driver-estr --short read:1:6A82";
    QTest::newRow("odd atr") << "--port 1 --profile driver-estr --atr 3B0";
    QTest::newRow("tries") << "--port 1 --profile driver-estr --pin-tries 16";
    QTest::newRow("patch") << "--port 1 --profile driver-estr --patch 0520:x:00";
}

void TestVcardOptions::rejectsMisuse()
{
    QFETCH(QString, line);
    CardOptions options;
    QString error;
    QVERIFY(!options.parse(line.split(QLatin1Char(' ')), &error));
    QVERIFY(!error.isEmpty());
}

void TestVcardOptions::buildsPatchedCardWithCredentials()
{
    CardOptions options;
    QString error;
    QVERIFY(options.parse(args("--port 1 --profile company-rf --patch 0520:4:30 --patch 0520:18:2020 "
                               "--pin 9876 --puk 11112222 --pin-tries 1 --puk-tries 0"),
                          &error));
    CardImage card;
    QVERIFY2(options.buildCard(&card, &error), qPrintable(error));
    // The patched fourth character of the card number makes the card kind 2.
    QCOMPARE(card.file(0x0520)->data.mid(1, 5), QByteArray("RUE00"));
    QCOMPARE(card.file(0x0520)->data.mid(18, 2), QByteArray("  "));
    QCOMPARE(int(card.kind()), 2);
    QCOMPARE(card.pin().reference(), QByteArray::fromHex("39383736FFFFFFFF"));
    QCOMPARE(card.pin().triesLeft(), 1);
    QCOMPARE(card.puk().reference(), QByteArray("11112222"));
    QCOMPARE(card.puk().triesLeft(), 0);

    QVERIFY(options.parse(args("--port 1 --profile company-rf --patch 0520:138:0000"), &error));
    QVERIFY(!options.buildCard(&card, &error));
    QVERIFY(options.parse(args("--port 1 --profile lorry"), &error));
    QVERIFY(!options.buildCard(&card, &error));
    QVERIFY(error.contains("lorry"));
}

void TestVcardOptions::defaultAtrCarriesValidCheckByte()
{
    const QByteArray atr = CardOptions::defaultAtr();
    QCOMPARE(atr.at(0), char(0x3B));
    QCOMPARE(atr.size(), 4 + 10 + 1);
    char check = 0;
    for (int i = 1; i < atr.size(); ++i)
        check ^= atr.at(i);
    QCOMPARE(check, char(0));
}

void TestVcardOptions::imageFileRoundTrips()
{
    CardImage card;
    QVERIFY(CardProfiles::build("workshop-rfskzi", QDate(2026, 1, 31), &card));
    const QByteArray image = CardImageFile::serialize(card);

    CardImage parsed;
    parsed.pin() = Credential("4444", 2, 3);
    QString error;
    QVERIFY2(CardImageFile::parse(image, &parsed, &error), qPrintable(error));
    QCOMPARE(parsed.files().size(), card.files().size());
    for (const CardFile &f : card.files()) {
        QVERIFY(parsed.file(f.fid));
        QCOMPARE(parsed.file(f.fid)->inApplication, f.inApplication);
        QCOMPARE(parsed.file(f.fid)->data, f.data);
    }
    QCOMPARE(int(parsed.kind()), 1);
    QCOMPARE(parsed.pin().triesLeft(), 2); // the image holds files only

    QTemporaryDir dir;
    const QString path = dir.filePath("card.img");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(image);
    file.close();
    CardOptions options;
    QVERIFY(options.parse({"--port", "1", "--image", path}, &error));
    CardImage fromFile;
    QVERIFY2(options.buildCard(&fromFile, &error), qPrintable(error));
    QCOMPARE(CardImageFile::serialize(fromFile), image);
}

void TestVcardOptions::rejectsBrokenImages_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray magic("VCARD1");
    QTest::newRow("no magic") << QByteArray::fromHex("0002000001AA");
    QTest::newRow("cut header") << magic + QByteArray::fromHex("000200");
    QTest::newRow("cut data") << magic + QByteArray::fromHex("0002000004AABB");
    QTest::newRow("bad place") << magic + QByteArray::fromHex("0002020001AA");
    QTest::newRow("twice") << magic + QByteArray::fromHex("0002000001AA 0002010001BB");
}

void TestVcardOptions::rejectsBrokenImages()
{
    QFETCH(QByteArray, bytes);
    CardImage card;
    card.setFile(0x0005, false, "kept");
    QString error;
    QVERIFY(!CardImageFile::parse(bytes, &card, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(card.file(0x0005)->data, QByteArray("kept"));
}

void TestVcardOptions::dumpHoldsFilesAndCounters()
{
    CardImage card;
    QVERIFY(CardProfiles::build("driver-estr", QDate(2026, 1, 31), &card));
    card.file(0x050E)->data = QByteArray::fromHex("5F5E1000");
    card.pin() = Credential("1234", 1, 3);

    QTemporaryDir dir;
    const QString target = dir.filePath("dump/nested");
    QString error;
    QVERIFY2(CardDump::write(card, target, &error), qPrintable(error));
    QDir written(target);
    QCOMPARE(written.entryList(QDir::Files).size(), card.files().size() + 1);
    QFile download(written.filePath("050E.bin"));
    QVERIFY(download.open(QIODevice::ReadOnly));
    QCOMPARE(download.readAll(), QByteArray::fromHex("5F5E1000"));
    QFile counters(written.filePath("counters.txt"));
    QVERIFY(counters.open(QIODevice::ReadOnly));
    const QByteArray text = counters.readAll();
    QVERIFY(text.contains("pin-tries=1\n"));
    QVERIFY(text.contains("puk-tries=3\n"));
    QVERIFY(text.contains("pin=31323334FFFFFFFF\n"));

    // A plain file where the folder should be.
    QFile blocker(dir.filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!CardDump::write(card, dir.filePath("blocker/dump"), &error));
}

QTEST_GUILESS_MAIN(TestVcardOptions)
#include "tst_vcard_options.moc"
