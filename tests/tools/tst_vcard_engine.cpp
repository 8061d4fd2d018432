// The virtual card's command engine, in-process: what each command answers,
// the retry counters, what a reset forgets and the PIN rule of kind 1.

#include "tools/vcard/ApduEngine.h"
#include "tools/vcard/CardImage.h"
#include "tools/vcard/CardProfiles.h"
#include "tools/vcard/FaultPlan.h"

#include <QCryptographicHash>
#include <QDate>
#include <QtTest>

namespace {

const QDate today(2026, 5, 14);

CardImage profile(const char *name)
{
    CardImage card;
    if (!CardProfiles::build(QString::fromLatin1(name), today, &card))
        qFatal("no profile %s", name);
    return card;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

quint16 sw(const QByteArray &response)
{
    return quint16((quint8(response.at(response.size() - 2)) << 8) | quint8(response.back()));
}

QByteArray body(const QByteArray &response)
{
    return response.left(response.size() - 2);
}

// The APDUs the host sends.
const char *const selectApplication = "00A4040C06FF54414348 4F";
QByteArray selectFile(quint16 fid)
{
    return hex("00A4020C02") + char(fid >> 8) + char(fid & 0xFF);
}
QByteArray readBinary(int offset, int length)
{
    return hex("00B0") + char(offset >> 8) + char(offset & 0xFF) + char(length);
}
QByteArray verify(const QByteArray &pin)
{
    return hex("0020000008") + pin.leftJustified(4, '\0', true) + hex("FFFFFFFF");
}
QByteArray unblock(const QByteArray &puk, const QByteArray &newPin)
{
    return hex("002C000010") + puk.leftJustified(8, char(0xFF), true) + newPin.leftJustified(8, char(0xFF), true);
}
const char *const performHash = "802A9000";

} // namespace

class TestVcardEngine : public QObject
{
    Q_OBJECT

private slots:
    void selectsFilesWhereTheyLive();
    void readBinaryStaysInsideTheFile();
    void refusesMalformedCommands_data();
    void refusesMalformedCommands();
    void updatesOnlyTheWritableFiles();
    void pinCounterBlocksAfterThreeWrongTries();
    void unblockSetsNewPinAndCountsPukTries();
    void resetForgetsSelectionPinAndHash();
    void kindOneHidesAllButGeneralFilesWithoutPin();
    void signsTheLastHashWithTheKindsLength();
    void faultPlanForcesAndShortensAnswers();
};

void TestVcardEngine::selectsFilesWhereTheyLive()
{
    CardImage card = profile("driver-estr");
    ApduEngine engine(&card);

    QCOMPARE(sw(engine.transmit(selectFile(0x0002))), quint16(0x9000));
    QCOMPARE(sw(engine.transmit(selectFile(0x0520))), quint16(0x6A82)); // not in the master file
    QCOMPARE(engine.currentFid(), quint16(0x0002));

    QCOMPARE(sw(engine.transmit(hex("00A4040C06FF5441434841"))), quint16(0x6A82));
    QVERIFY(!engine.applicationSelected());
    QCOMPARE(sw(engine.transmit(hex(selectApplication))), quint16(0x9000));
    QVERIFY(engine.applicationSelected());
    QCOMPARE(engine.currentFid(), quint16(0));

    QCOMPARE(sw(engine.transmit(selectFile(0x0005))), quint16(0x6A82)); // master file only
    QCOMPARE(sw(engine.transmit(selectFile(0x0520))), quint16(0x9000));
    QCOMPARE(sw(engine.transmit(selectFile(0xC200))), quint16(0x6A82)); // not on a kind-2 card
    QCOMPARE(engine.currentFid(), quint16(0x0520));

    const QByteArray number = engine.transmit(readBinary(1, 16));
    QCOMPARE(sw(number), quint16(0x9000));
    QCOMPARE(body(number), QByteArray("RUD0000001100200"));
}

void TestVcardEngine::readBinaryStaysInsideTheFile()
{
    CardImage card = profile("driver-estr");
    ApduEngine engine(&card);
    engine.transmit(hex(selectApplication));
    QCOMPARE(sw(engine.transmit(readBinary(0, 16))), quint16(0x6986)); // nothing selected

    engine.transmit(selectFile(0x0520));
    const QByteArray file = card.file(0x0520)->data;
    QCOMPARE(file.size(), 143);
    QCOMPARE(sw(engine.transmit(readBinary(143, 1))), quint16(0x6B00));
    QCOMPARE(sw(engine.transmit(readBinary(500, 1))), quint16(0x6B00));

    const QByteArray tail = engine.transmit(readBinary(140, 16));
    QCOMPARE(sw(tail), quint16(0x6282));
    QCOMPARE(body(tail), file.mid(140));

    engine.transmit(selectFile(0x0504));
    const QByteArray whole = engine.transmit(readBinary(0, 0)); // Le 00 asks for 256
    QCOMPARE(sw(whole), quint16(0x9000));
    QCOMPARE(body(whole), card.file(0x0504)->data.left(256));
    const QByteArray middle = engine.transmit(readBinary(510, 94));
    QCOMPARE(body(middle), card.file(0x0504)->data.mid(510, 94));
}

void TestVcardEngine::refusesMalformedCommands_data()
{
    QTest::addColumn<QByteArray>("apdu");
    QTest::addColumn<int>("status");
    QTest::newRow("too short") << hex("00A404") << 0x6700;
    QTest::newRow("Lc beyond data") << hex("00A4020C0205") << 0x6700;
    QTest::newRow("select asking for FCI") << hex("00A4020002 0520") << 0x6A86;
    QTest::newRow("select by path") << hex("00A4080C020520") << 0x6A86;
    QTest::newRow("unknown instruction") << hex("00CA000000") << 0x6D00;
    QTest::newRow("unknown class") << hex("90B0000010") << 0x6E00;
    QTest::newRow("hash in class 00") << hex("002A9000") << 0x6E00;
    QTest::newRow("other security operation") << hex("002A8086") << 0x6A86;
    QTest::newRow("read without Le") << hex("00B00000") << 0x6700;
    QTest::newRow("verify short block") << hex("002000000431323334") << 0x6700;
    QTest::newRow("unblock short block") << hex("002C0000083132333435363738") << 0x6700;
    QTest::newRow("verify other reference") << hex("00200001083132333 4FFFFFFFF") << 0x6A86;
}

void TestVcardEngine::refusesMalformedCommands()
{
    QFETCH(QByteArray, apdu);
    QFETCH(int, status);
    CardImage card = profile("driver-estr");
    ApduEngine engine(&card);
    engine.transmit(hex(selectApplication));
    engine.transmit(selectFile(0x0520));

    const QByteArray response = engine.transmit(apdu);
    QCOMPARE(response.size(), 2);
    QCOMPARE(sw(response), quint16(status));
    QCOMPARE(card.pin().triesLeft(), 3);
}

void TestVcardEngine::updatesOnlyTheWritableFiles()
{
    CardImage card = profile("workshop-estr");
    ApduEngine engine(&card);
    engine.transmit(hex(selectApplication));
    QCOMPARE(sw(engine.transmit(hex("00D600000207E2"))), quint16(0x6986));

    engine.transmit(selectFile(0x0520));
    QCOMPARE(sw(engine.transmit(hex("00D60000020102"))), quint16(0x6982));

    engine.transmit(selectFile(0x0509));
    QCOMPARE(sw(engine.transmit(hex("00D600000301020304"))), quint16(0x6700)); // longer than the file
    QCOMPARE(sw(engine.transmit(hex("00D6000201FF"))), quint16(0x6B00));
    QCOMPARE(sw(engine.transmit(hex("00D600000207E2"))), quint16(0x9000));
    QCOMPARE(body(engine.transmit(readBinary(0, 2))), hex("07E2"));

    // Written data outlives a reset.
    engine.reset();
    engine.transmit(hex(selectApplication));
    engine.transmit(selectFile(0x0509));
    QCOMPARE(body(engine.transmit(readBinary(0, 2))), hex("07E2"));
    QCOMPARE(card.file(0x0509)->data, hex("07E2"));
}

void TestVcardEngine::pinCounterBlocksAfterThreeWrongTries()
{
    CardImage card = profile("driver-rfskzi");
    ApduEngine engine(&card);

    QCOMPARE(sw(engine.transmit(verify("1111"))), quint16(0x63C2));
    QCOMPARE(sw(engine.transmit(verify("1234"))), quint16(0x9000)); // a match restores the counter
    QVERIFY(engine.pinVerified());
    QCOMPARE(card.pin().triesLeft(), 3);

    QCOMPARE(sw(engine.transmit(verify("1111"))), quint16(0x63C2));
    QVERIFY(!engine.pinVerified());
    QCOMPARE(sw(engine.transmit(verify("2222"))), quint16(0x63C1));
    QCOMPARE(sw(engine.transmit(verify("12"))), quint16(0x63C0));
    QCOMPARE(sw(engine.transmit(verify("1234"))), quint16(0x6983));
    QVERIFY(!engine.pinVerified());
    QCOMPARE(card.pin().triesLeft(), 0);
}

void TestVcardEngine::unblockSetsNewPinAndCountsPukTries()
{
    CardImage card = profile("driver-rfskzi");
    card.pin() = Credential("1234", 0, 3);
    ApduEngine engine(&card);

    QCOMPARE(sw(engine.transmit(unblock("87654321", "4321"))), quint16(0x63C2));
    QCOMPARE(sw(engine.transmit(unblock("12345678", "4321"))), quint16(0x9000));
    QCOMPARE(card.puk().triesLeft(), 3);
    QCOMPARE(card.pin().triesLeft(), 3);
    QVERIFY(!engine.pinVerified()); // an unblock verifies nothing
    QCOMPARE(sw(engine.transmit(verify("1234"))), quint16(0x63C2));
    QCOMPARE(sw(engine.transmit(verify("4321"))), quint16(0x9000));

    for (const quint16 expected : {0x63C2, 0x63C1, 0x63C0, 0x6983})
        QCOMPARE(sw(engine.transmit(unblock("00000000", "1111"))), expected);
    QCOMPARE(sw(engine.transmit(unblock("12345678", "1111"))), quint16(0x6983));
    QCOMPARE(card.pin().reference(), hex("34333231FFFFFFFF"));
}

void TestVcardEngine::resetForgetsSelectionPinAndHash()
{
    CardImage card = profile("driver-rfskzi");
    ApduEngine engine(&card);
    engine.transmit(hex(selectApplication));
    engine.transmit(verify("1234"));
    engine.transmit(selectFile(0x0502));
    QCOMPARE(sw(engine.transmit(hex(performHash))), quint16(0x9000));
    QVERIFY(!engine.lastHash().isEmpty());

    engine.reset();
    QVERIFY(!engine.applicationSelected());
    QCOMPARE(engine.currentFid(), quint16(0));
    QVERIFY(!engine.pinVerified());
    QVERIFY(engine.lastHash().isEmpty());
    QCOMPARE(sw(engine.transmit(hex("002A9E9A40"))), quint16(0x6985));
    QCOMPARE(sw(engine.transmit(selectFile(0x0502))), quint16(0x6A82)); // back in the master file
    QCOMPARE(sw(engine.transmit(selectFile(0x0002))), quint16(0x9000));
    // The counters are the card's, not the session's.
    engine.transmit(verify("9999"));
    engine.reset();
    QCOMPARE(card.pin().triesLeft(), 2);
}

void TestVcardEngine::kindOneHidesAllButGeneralFilesWithoutPin()
{
    CardImage card = profile("driver-rfskzi");
    ApduEngine engine(&card);
    engine.transmit(hex(selectApplication));
    for (const quint16 general : {0x0501, 0x0520, 0x050E, 0x0521}) {
        QCOMPARE(sw(engine.transmit(selectFile(general))), quint16(0x9000));
        QCOMPARE(sw(engine.transmit(readBinary(0, 1))), quint16(0x9000));
    }
    for (const quint16 hidden : {0x0502, 0x0504, 0xC200, 0x0522}) {
        QCOMPARE(sw(engine.transmit(selectFile(hidden))), quint16(0x9000)); // selecting is allowed
        QCOMPARE(sw(engine.transmit(readBinary(0, 1))), quint16(0x6982));
        QCOMPARE(sw(engine.transmit(hex(performHash))), quint16(0x6982));
    }
    // The host verifies in the master file right after connecting; the
    // application select that follows keeps the PIN.
    engine.reset();
    QCOMPARE(sw(engine.transmit(verify("1234"))), quint16(0x9000));
    engine.transmit(hex(selectApplication));
    engine.transmit(selectFile(0x0502));
    QCOMPARE(sw(engine.transmit(readBinary(0, 16))), quint16(0x9000));

    CardImage workshop = profile("workshop-rfskzi");
    ApduEngine workshopEngine(&workshop);
    workshopEngine.transmit(hex(selectApplication));
    workshopEngine.transmit(selectFile(0x0509));
    QCOMPARE(sw(workshopEngine.transmit(readBinary(0, 2))), quint16(0x9000));
    QCOMPARE(sw(workshopEngine.transmit(hex("00D60000020000"))), quint16(0x9000));
    workshopEngine.transmit(selectFile(0x050A));
    QCOMPARE(sw(workshopEngine.transmit(readBinary(0, 2))), quint16(0x6982));
}

void TestVcardEngine::signsTheLastHashWithTheKindsLength()
{
    CardImage card = profile("control-estr");
    ApduEngine engine(&card);
    engine.transmit(hex(selectApplication));
    QCOMPARE(sw(engine.transmit(hex(performHash))), quint16(0x6986));
    QCOMPARE(sw(engine.transmit(hex("002A9E9A80"))), quint16(0x6985));

    engine.transmit(selectFile(0x0520));
    QCOMPARE(sw(engine.transmit(hex(performHash))), quint16(0x9000));
    QCOMPARE(engine.lastHash(), QCryptographicHash::hash(card.file(0x0520)->data, QCryptographicHash::Sha1));
    QCOMPARE(sw(engine.transmit(hex("002A9E9A40"))), quint16(0x6700));
    const QByteArray signature = engine.transmit(hex("002A9E9A80"));
    QCOMPARE(sw(signature), quint16(0x9000));
    QCOMPARE(body(signature), ApduEngine::signatureOf(engine.lastHash(), 128));
    QCOMPARE(body(engine.transmit(hex("002A9E9A00"))).size(), 128);


    CardImage gost = profile("company-rfskzi");
    ApduEngine gostEngine(&gost);
    gostEngine.transmit(hex(selectApplication));
    gostEngine.transmit(selectFile(0x0520));
    gostEngine.transmit(hex(performHash));
    QCOMPARE(gostEngine.lastHash().size(), 32);
    QCOMPARE(sw(gostEngine.transmit(hex("002A9E9A80"))), quint16(0x6700));
    const QByteArray gostSignature = gostEngine.transmit(hex("002A9E9A40"));
    QCOMPARE(body(gostSignature), ApduEngine::signatureOf(gostEngine.lastHash(), 64));
}

void TestVcardEngine::faultPlanForcesAndShortensAnswers()
{
    CardImage card = profile("driver-estr");
    ApduEngine engine(&card);
    FaultPlan plan;
    plan.forceStatus(CommandKind::Read, 2, 0x6A82);
    plan.forceStatus(CommandKind::Verify, 1, 0x6400);
    plan.shortenAnswer(CommandKind::Read, 3);
    engine.setFaultPlan(plan);
    engine.transmit(hex(selectApplication));
    engine.transmit(selectFile(0x0504));

    QCOMPARE(sw(engine.transmit(readBinary(0, 200))), quint16(0x9000));
    QCOMPARE(engine.transmit(readBinary(0, 200)), hex("6A82"));
    const QByteArray shortened = engine.transmit(readBinary(0, 200));
    QCOMPARE(sw(shortened), quint16(0x9000));
    QCOMPARE(body(shortened), card.file(0x0504)->data.left(100));
    QCOMPARE(body(engine.transmit(readBinary(0, 200))).size(), 200);

    // A forced answer replaces the command: the wrong PIN costs no try.
    QCOMPARE(sw(engine.transmit(verify("0000"))), quint16(0x6400));
    QCOMPARE(card.pin().triesLeft(), 3);
    QCOMPARE(sw(engine.transmit(verify("0000"))), quint16(0x63C2));
}

QTEST_GUILESS_MAIN(TestVcardEngine)
#include "tst_vcard_engine.moc"
