// Every card command through pcscd, the virtual reader and the virtual card.

#include "tests/card/ReadCardFile.h"
#include "tests/support/RealLog.h"
#include "tests/support/VirtualCardProcess.h"

#include "tools/vcard/ApduEngine.h"
#include "tools/vcard/CardOptions.h"
#include "tools/vcard/CardProfiles.h"
#include "tools/vcard/ProfileDescription.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// Connects the card object to the card in the reader, as the card reader will.
class Connection
{
public:
    Connection(TachographCard &card, const QString &reader) : m_card(card)
    {
        card.readerName = reader;
        if (Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &m_context) != 0)
            return;
        m_connected = Pcsc::SCardConnectW(m_context, reader, Pcsc::SCARD_SHARE_SHARED,
                                          Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1, &card.hCard,
                                          &card.activeProtocol) == 0;
        card.sendPci = card.activeProtocol == Pcsc::SCARD_PROTOCOL_T0 ? Pcsc::g_rgSCardT0Pci : Pcsc::g_rgSCardT1Pci;
        QObject::connect(&card, &TachographCard::logginMessage, [this](uchar, const QString &m) { logged << m; });
        RealLog::attach(&card, &TachographCard::logginMessage);
    }
    ~Connection()
    {
        if (m_connected)
            Pcsc::SCardDisconnect(m_card.hCard, Pcsc::SCARD_RESET_CARD);
        if (m_context)
            Pcsc::SCardReleaseContext(m_context);
    }
    bool connected() const { return m_connected; }
    // Records the APDUs on their way to the reader.
    void recordApdus()
    {
        m_card.setTransmitter([this](const QByteArray &apdu, quint8 *response, quint32 *length) {
            sent << apdu;
            return Pcsc::SCardTransmit(m_card.hCard, m_card.sendPci,
                                       reinterpret_cast<const quint8 *>(apdu.constData()), quint32(apdu.size()),
                                       nullptr, response, length);
        });
    }

    QList<QByteArray> sent;
    QStringList logged;

private:
    TachographCard &m_card;
    Pcsc::SCARDCONTEXT m_context = 0;
    bool m_connected = false;
};

QByteArray dumped(const QTemporaryDir &dir, const QString &name)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestTachographCardPcsc : public QObject
{
    Q_OBJECT

private slots:
    void statusReadHashAndSign_data();
    void statusReadHashAndSign();
    void wrongPinUnblockAndWrite();
    void cleanupTestCase() { QCOMPARE(RealLog::secretsFound({"1234", "9999", "12345678", "4321"}), QStringList()); }
};

void TestTachographCardPcsc::statusReadHashAndSign_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<quint8>("signatureLength");
    QTest::addColumn<quint8>("tag");
    QTest::newRow("kind 1") << QStringLiteral("driver-rfskzi") << quint8(0x40) << quint8(0x81);
    QTest::newRow("kind 2") << QStringLiteral("control-estr") << quint8(0x80) << quint8(0x01);
    QTest::newRow("kind 3") << QStringLiteral("company-rf") << quint8(0x80) << quint8(0x01);
}

void TestTachographCardPcsc::statusReadHashAndSign()
{
    QFETCH(QString, profile);
    QFETCH(quint8, signatureLength);
    QFETCH(quint8, tag);
    VirtualCardProcess vcard;
    QVERIFY(vcard.insert(profile));
    {
        TachographCard card;
        Connection link(card, vcard.name());
        QVERIFY(link.connected());
        QVERIFY(card.updateCardStatus());
        QCOMPARE(card.atrHex(), QString::fromLatin1(CardOptions::defaultAtr().toHex().toUpper()));
        // pcsc-lite reports the virtual card as negotiable, a real one as specific.
        QVERIFY(card.cardState == Pcsc::SCARD_NEGOTIABLE || card.cardState == Pcsc::SCARD_SPECIFIC);
        QVERIFY(card.cardStateText().startsWith(QStringLiteral("(0x000%1) SCARD_").arg(card.cardState)));

        QVERIFY(readCardFile(card, 0x0002) && readCardFile(card, 0x0005));
        card.cardKind = CardProfiles::find(profile)->kind;
        card.cardType = CardProfiles::find(profile)->type;
        const bool gost = card.cardKind == 1;
        card.pin = "1234";
        QVERIFY(card.selectDF());
        QVERIFY(!gost || card.verifyPin());
        QVERIFY(readCardFile(card, 0x0501) && readCardFile(card, 0x0520));
        const quint16 counted = card.cardType == 1 ? 0x0504 : card.cardType == 3 ? 0x050C : 0x050D;
        QVERIFY(readCardFile(card, counted));
        QVERIFY(card.readData.value(counted)->count > 0);
        QVERIFY(readCardFile(card, gost ? 0xC200 : 0xC100));
        QCOMPARE(card.readData.value(gost ? 0xC200 : 0xC100)->data.size(), gost ? 1000 : 194);

        QVERIFY(card.selectEF(0x0520));
        link.recordApdus();
        QVERIFY(card.performHash() && card.computeSignature());
        QCOMPARE(link.sent, (QList<QByteArray>{hex("802A9000"), hex("002A9E9A") + char(signatureLength)}));
        const CardFileRecord *identification = card.readData.value(0x0520);
        const auto algorithm = gost ? QCryptographicHash::Sha256 : QCryptographicHash::Sha1;
        QCOMPARE(identification->signature,
                 ApduEngine::signatureOf(QCryptographicHash::hash(identification->data, algorithm), signatureLength));
        QCOMPARE(int(identification->signatureLength), int(signatureLength));
        QCOMPARE(identification->signatureTag, tag);

        // A signature of a file never read leaves a record holding only the signature.
        QVERIFY(card.selectEF(0x0501) && card.performHash());
        card.clearReadData();
        QVERIFY(card.computeSignature());
        QVERIFY(card.readData.value(0x0501)->data.isEmpty());
        QCOMPARE(card.readData.value(0x0501)->signature.size(), int(signatureLength));
        QVERIFY(link.logged.isEmpty());
    }
    QVERIFY(vcard.remove());
}

// The try counter through the real stack, the unblock that resets it, and a
// write that reaches the card's files.
void TestTachographCardPcsc::wrongPinUnblockAndWrite()
{
    QTemporaryDir dump;
    VirtualCardProcess vcard;
    QVERIFY(vcard.insert(QStringLiteral("driver-rfskzi"), {QStringLiteral("--dump"), dump.path()}));
    {
        TachographCard card;
        Connection link(card, vcard.name());
        QVERIFY(link.connected() && card.selectDF());
        link.recordApdus();
        card.pin = "9999";
        QVERIFY(!card.verifyPin());
        QCOMPARE(card.result.statusWord(), quint16(0x63C2));
        QVERIFY(!card.verifyPin());
        QCOMPARE(card.result.statusWord(), quint16(0x63C1));
        QCOMPARE(link.logged.last(),
                 vcard.name() + QStringLiteral(": Ошибка проверки ПИН-кода. ") + card.result.toString());

        card.puk = "12345678";
        card.pin = "4321";
        QVERIFY(card.unblockPin());
        QCOMPARE(link.sent.last(), hex("002C000010") + "12345678" + "4321" + hex("FFFFFFFF"));
        QVERIFY(card.verifyPin());
        QCOMPARE(link.sent.last(), hex("0020000008") + "4321" + hex("FFFFFFFF"));

        QVERIFY(card.selectEF(0x050E) && card.updateBinary(0x5F5E1000));
        QCOMPARE(link.sent.last(), hex("00D60000045F5E1000"));
    }
    QVERIFY(vcard.remove());
    const QByteArray counters = dumped(dump, QStringLiteral("counters.txt"));
    QVERIFY(counters.contains("pin-tries=3\n"));
    QVERIFY(counters.contains("pin=34333231FFFFFFFF\n"));
    QCOMPARE(dumped(dump, QStringLiteral("050E.bin")), hex("5F5E1000"));
}

QTEST_GUILESS_MAIN(TestTachographCardPcsc)
#include "tst_tachographcard_pcsc.moc"
