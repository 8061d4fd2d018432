// The virtual card's command engine, in-process: each row builds a card from
// its command line, runs a script of commands and resets, and checks every
// answer and the retry counters left on the card.

#include "tools/vcard/ApduEngine.h"
#include "tools/vcard/CardImage.h"
#include "tools/vcard/CardOptions.h"

#include <QtTest>

namespace {

// A step is "APDU>EXPECTED" or "reset". EXPECTED is the whole answer in hex,
// or "SW/n" for an answer of n data bytes and status SW.
QString step(const QByteArray &apdu, const char *expected)
{
    return QString::fromLatin1(apdu.toHex().toUpper() + '>' + expected);
}
QString raw(const QByteArray &hex, const char *expected) { return step(QByteArray::fromHex(hex), expected); }
QString app(const char *expected = "9000") { return raw("00A4040C06FF544143484F", expected); }
QString hash(const char *expected) { return raw("802A9000", expected); }
QString sign(const char *le, const char *expected) { return raw(QByteArray("002A9E9A") + le, expected); }
QByteArray be16(int value) { return QByteArray(1, char(value >> 8)) + char(value & 0xFF); }
QString sel(int fid, const char *expected = "9000")
{
    return step(QByteArray::fromHex("00A4020C02") + be16(fid), expected);
}
QString rd(int offset, int length, const char *expected)
{
    return step(QByteArray::fromHex("00B0") + be16(offset) + char(length), expected);
}
QString vfy(const QByteArray &pin, const char *expected)
{
    return step(QByteArray::fromHex("0020000008") + pin.leftJustified(4, '\0') + QByteArray(4, char(0xFF)), expected);
}
const QString resetCard = QStringLiteral("reset");

} // namespace

class TestVcardEngine : public QObject
{
    Q_OBJECT

private slots:
    void answersScript_data();
    void answersScript();
    void leavesOnlyOnceItsCommandIsCarriedOut();
};

void TestVcardEngine::answersScript_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("pinTries");
    QTest::addColumn<int>("pukTries");

    QTest::newRow("read stays inside the file") << "driver-estr"
        << QStringList{app(), rd(0, 16, "6986"), sel(0x0520), rd(143, 1, "6B00"), rd(500, 1, "6B00"),
                       rd(140, 16, "6282/3"), sel(0x0504), rd(0, 0, "9000/256"), rd(510, 94, "9000/94")} << 3 << 3;
    QTest::newRow("update only where writable, kept over reset") << "workshop-estr"
        << QStringList{app(), raw("00D600000207E2", "6986"), sel(0x0520), raw("00D60000020102", "6982"), sel(0x0509),
                       raw("00D600000301020304", "6700"), raw("00D6000201FF", "6B00"), raw("00D600000207E2", "9000"),
                       resetCard, app(), sel(0x0509), rd(0, 2, "07E29000")} << 3 << 3;
    QTest::newRow("pin blocks after three wrong tries") << "driver-rfskzi"
        << QStringList{vfy("1111", "63C2"), vfy("1234", "9000") /* a match restores the counter */, app(),
                       sel(0x0502), rd(0, 1, "9000/1"), vfy("1111", "63C2"), rd(0, 1, "6982"), vfy("2222", "63C1"),
                       vfy("12", "63C0"), vfy("1234", "6983"), rd(0, 1, "6982")} << 0 << 3;
    // The counters are the card's and outlive the reset.
    QTest::newRow("reset forgets selection, pin and hash") << "driver-rfskzi"
        << QStringList{app(), vfy("1234", "9000"), sel(0x0502), hash("9000"), resetCard, sign("40", "6985"),
                       sel(0x0502, "6A82") /* back in the master file */, sel(0x0002), app(), sel(0x0502),
                       rd(0, 1, "6982"), vfy("9999", "63C2"), resetCard} << 2 << 3;
    QTest::newRow("signature needs a hash and the kind's length") << "control-estr"
        << QStringList{app(), hash("6986"), sign("80", "6985"), sel(0x0520), hash("9000"), sign("40", "6700"),
                       sign("80", "9000/128"), sign("00", "9000/128")} << 3 << 3;
    // A forced answer replaces the command: the wrong PIN costs no try.
    QTest::newRow("fault plan forces and shortens answers")
        << "driver-estr --fail read:2:6A82 --fail verify:1:6400 --short read:3 --fail select:4:6A88"
        << QStringList{app(), sel(0x0504), rd(0, 200, "9000/200"), rd(0, 200, "6A82"), rd(0, 200, "9000/100"),
                       rd(0, 200, "9000/200"), vfy("0000", "6400"), vfy("0000", "63C2"), sel(0x0520),
                       sel(0x0520, "6A88")} << 2 << 3;
}

void TestVcardEngine::answersScript()
{
    QFETCH(QString, card);
    QFETCH(QStringList, steps);
    QFETCH(int, pinTries);
    QFETCH(int, pukTries);

    CardOptions options;
    CardImage image;
    QString error;
    QVERIFY2(options.parse(("--port 1 --profile " + card).split(QLatin1Char(' ')), &error)
                 && options.buildCard(&image, &error),
             qPrintable(error));
    ApduEngine engine(&image);
    engine.setFaultPlan(options.faults);

    for (int i = 0; i < steps.size(); ++i) {
        if (steps.at(i) == resetCard) {
            engine.reset();
            continue;
        }
        const QString apdu = steps.at(i).section(QLatin1Char('>'), 0, 0);
        const QString expected = steps.at(i).section(QLatin1Char('>'), 1);
        const QByteArray answer = engine.transmit(QByteArray::fromHex(apdu.toLatin1()));
        QString got = QString::fromLatin1(answer.toHex().toUpper());
        if (expected.contains(QLatin1Char('/')))
            got = QStringLiteral("%1/%2").arg(got.right(4)).arg(answer.size() - 2);
        QVERIFY2(got == expected, qPrintable(QStringLiteral("step %1 %2: %3, not %4").arg(i).arg(apdu, got, expected)));
    }
    QCOMPARE(image.pin().triesLeft(), pinTries);
    QCOMPARE(image.puk().triesLeft(), pukTries);
}

// The card that leaves before its answer has done what it was told: the
// host cannot know, and the tests of that road rely on it.
void TestVcardEngine::leavesOnlyOnceItsCommandIsCarriedOut()
{
    CardOptions options;
    CardImage image;
    QString error;
    QVERIFY2(options.parse(QStringLiteral("--port 1 --profile workshop-estr --leave-on update:2").split(' '), &error)
                 && options.buildCard(&image, &error),
             qPrintable(error));
    ApduEngine engine(&image);
    engine.setFaultPlan(options.faults);
    for (const char *apdu : {"00A4040C06FF544143484F", "00A4020C020509", "00D60000020001", "00B0000002"}) {
        engine.transmit(QByteArray::fromHex(apdu));
        QVERIFY2(!engine.leaving(), apdu);
    }
    QCOMPARE(engine.transmit(QByteArray::fromHex("00D600000207E2")).toHex(), QByteArray("9000"));
    QVERIFY(engine.leaving());
    QCOMPARE(image.file(0x0509)->data.toHex(), QByteArray("07e2"));
}

QTEST_GUILESS_MAIN(TestVcardEngine)
#include "tst_vcard_engine.moc"
