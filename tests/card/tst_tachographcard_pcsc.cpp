// Card commands through pcscd, the virtual reader and the virtual card.

#include "tests/readers/CardCounters.h"
#include "tests/readers/CardDump.h"
#include "tests/readers/CardReaderRig.h"
#include "tests/support/RealLog.h"
#include "tests/support/VirtualCardProcess.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

} // namespace

class TestTachographCardPcsc : public QObject
{
    Q_OBJECT

private slots:
    void statusPinUnblockAndWrite();
    void cleanupTestCase() { QCOMPARE(RealLog::secretsFound({"1234", "9999", "12345678", "4321"}), QStringList()); }
};

// The card's status, the try counter through the real stack, the unblock
// that resets it, and a write that reaches the card's files.
void TestTachographCardPcsc::statusPinUnblockAndWrite()
{
    QTemporaryDir dump;
    VirtualCardProcess vcard;
    QVERIFY(vcard.insert(QStringLiteral("driver-rfskzi"), {QStringLiteral("--dump"), dump.path()}));
    {
        CardReaderRig rig;
        TachographCard &card = rig.reader->card;
        QVERIFY(rig.reader->connectCard() && card.updateCardStatus());
        QCOMPARE(card.atrHex(), QStringLiteral("3B8A8001445256502D544143484F67"));
        // pcsc-lite reports the virtual card as negotiable.
        QCOMPARE(card.cardStateText(), QStringLiteral("(0x0005) SCARD_NEGOTIABLE: Карта была 'сброшена' и ожидает PTS обмена."));

        QVERIFY(card.selectDF());
        QList<QByteArray> sent;
        card.setTransmitter([&](const QByteArray &apdu, quint8 *response, quint32 *length) {
            sent << QByteArray(apdu.constData(), apdu.size());
            return Pcsc::SCardTransmit(card.hCard, card.sendPci, reinterpret_cast<const quint8 *>(apdu.constData()),
                                       quint32(apdu.size()), nullptr, response, length);
        });
        card.pin = SecretBytes("9999");
        QVERIFY(!card.verifyPin());
        QCOMPARE(card.result.statusWord(), quint16(0x63C2));
        QVERIFY(!card.verifyPin());
        QCOMPARE(card.result.statusWord(), quint16(0x63C1));
        QCOMPARE(rig.log.last(),
                 "2|" + vcard.name() + QStringLiteral(": Ошибка проверки ПИН-кода. ") + card.result.toString());
        card.puk = SecretBytes("12345678");
        card.pin = SecretBytes("4321");
        QVERIFY(card.unblockPin());
        QCOMPARE(sent.last(), hex("002C000010") + "12345678" + "4321" + hex("FFFFFFFF"));
        QVERIFY(card.verifyPin());
        QCOMPARE(sent.last(), hex("0020000008") + "4321" + hex("FFFFFFFF"));
        QVERIFY(card.selectEF(0x050E) && card.updateBinary(0x5F5E1000));
        QCOMPARE(sent.last(), hex("00D60000045F5E1000"));
        rig.reader->disconnectCard();
    }
    QVERIFY(vcard.remove());
    const QMap<QString, QString> counters = readCardCounters(dump.path());
    QVERIFY(counters.value("pin-tries") == "3" && counters.value("pin") == "34333231FFFFFFFF");
    QCOMPARE(readCardDump(dump.path()).value(0x050E), hex("5F5E1000"));
}

QTEST_GUILESS_MAIN(TestTachographCardPcsc)
#include "tst_tachographcard_pcsc.moc"
