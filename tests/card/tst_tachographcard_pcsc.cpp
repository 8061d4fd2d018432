// Every card command through pcscd, the virtual reader and the virtual card.

#include "card/TachographCard.h"
#include "tests/support/VirtualCardProcess.h"


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
    void statusPinUnblockAndWrite();
};

// The card's status, the try counter through the real stack, the unblock
// that resets it, and a write that reaches the card's files.
void TestTachographCardPcsc::statusPinUnblockAndWrite()
{
    QTemporaryDir dump;
    VirtualCardProcess vcard;
    QVERIFY(vcard.insert(QStringLiteral("driver-rfskzi"), {QStringLiteral("--dump"), dump.path()}));
    {
        TachographCard card;
        Connection link(card, vcard.name());
        QVERIFY(link.connected() && card.updateCardStatus());
        QCOMPARE(card.atrHex(), QStringLiteral("3B8A8001445256502D544143484F67"));
        // pcsc-lite reports the virtual card as negotiable.
        QCOMPARE(card.cardStateText(), QStringLiteral("(0x0005) SCARD_NEGOTIABLE: Карта была 'сброшена' и ожидает PTS обмена."));

        QVERIFY(card.selectDF());
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
