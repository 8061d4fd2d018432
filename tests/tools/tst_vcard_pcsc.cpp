// The virtual card through the real stack: the card process in the virtual
// reader, pcscd, and the program's PC/SC layer.

#include "platform/Pcsc.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Pcsc;

namespace {

constexpr int cardWaitMs = 20000;
const QString toolPath = qEnvironmentVariable("DRVP_TOOLS_DIR") + QStringLiteral("/vcard");

} // namespace

class TestVcardPcsc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { SCardReleaseContext(m_context); }
    void answersThroughPcscdAndLeavesWithADump();

private:
    bool waitForCard(quint32 presence);
    bool connectCard()
    {
        return SCardConnectW(m_context, m_reader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_card,
                             &m_protocol)
            == SCARD_S_SUCCESS;
    }
    // The answer in hex; empty when the transmission failed.
    QByteArray transmit(const char *hex);

    SCARDCONTEXT m_context = 0;
    QString m_reader;
    SCARDHANDLE m_card = 0;
    quint32 m_protocol = 0;
};

void TestVcardPcsc::initTestCase()
{
    QVERIFY2(QFileInfo(toolPath).isExecutable(), qPrintable(toolPath));
    QCOMPARE(SCardEstablishContext(SCARD_SCOPE_USER, &m_context), SCARD_S_SUCCESS);
    QStringList readers;
    QCOMPARE(SCardListReadersW(m_context, &readers), SCARD_S_SUCCESS);
    for (const QString &reader : qAsConst(readers)) {
        if (reader.startsWith(qEnvironmentVariable("DRVP_READER_PREFIX")) && reader.endsWith(QLatin1String("00 00")))
            m_reader = reader;
    }
    QVERIFY2(!m_reader.isEmpty(), qPrintable(readers.join(", ")));
}

// Bounded status-change waits until the reader shows the wanted presence.
bool TestVcardPcsc::waitForCard(quint32 presence)
{
    SCARD_READERSTATEW state;
    state.szReader = m_reader;
    const QDeadlineTimer deadline(cardWaitMs);
    while (!deadline.hasExpired()) {
        const qint32 rc = SCardGetStatusChangeW(m_context, 500, &state, 1);
        if (rc != SCARD_S_SUCCESS && rc != SCARD_E_TIMEOUT)
            return false;
        if (state.dwEventState & presence)
            return true;
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
    }
    return false;
}

QByteArray TestVcardPcsc::transmit(const char *hex)
{
    const QByteArray apdu = QByteArray::fromHex(hex);
    quint8 response[258] = {};
    quint32 length = sizeof response;
    const SCARD_IO_REQUEST *pci = m_protocol == SCARD_PROTOCOL_T1 ? g_rgSCardT1Pci : g_rgSCardT0Pci;
    if (SCardTransmit(m_card, pci, reinterpret_cast<const quint8 *>(apdu.constData()), quint32(apdu.size()), nullptr,
                      response, &length)
        != SCARD_S_SUCCESS)
        return {};
    return QByteArray(reinterpret_cast<char *>(response), int(length)).toHex().toUpper();
}

// One card process through its whole life: a forced answer, reads of
// the largest size, a write, signing, a reset, and leaving the reader after
// the ordered command with its files in the dump.
void TestVcardPcsc::answersThroughPcscdAndLeavesWithADump()
{
    QTemporaryDir dump;
    QProcess card;
    card.setProcessChannelMode(QProcess::ForwardedChannels);
    card.start(toolPath, {"--port", qEnvironmentVariable("DRVP_VPCD_PORT", "40000"), "--profile", "driver-estr",
                          "--dump", dump.path(), "--fail", "select:1:6A88", "--remove-after", "12"});
    QVERIFY(card.waitForStarted() && waitForCard(SCARD_STATE_PRESENT));
    QVERIFY(connectCard());

    QCOMPARE(transmit("00A4040C06FF544143484F"), "6A88");
    QCOMPARE(transmit("00A4040C06FF544143484F"), "9000");
    QCOMPARE(transmit("00A4020C020520"), "9000");
    QCOMPARE(transmit("00B0000110"), QByteArray("RUD0000001100200").toHex().toUpper() + "9000");
    QCOMPARE(transmit("00A4020C020504"), "9000");
    QCOMPARE(transmit("00B00000FF").size(), 2 * (255 + 2)); // the largest answer passes whole
    QCOMPARE(transmit("00A4020C02050E"), "9000");
    QCOMPARE(transmit("00D60000045F5E1000"), "9000");
    QCOMPARE(transmit("802A9000"), "9000");
    QCOMPARE(transmit("002A9E9A80").size(), 2 * (128 + 2));

    // A reset on disconnect brings the card back to its master file.
    QCOMPARE(SCardDisconnect(m_card, SCARD_RESET_CARD), SCARD_S_SUCCESS);
    QVERIFY(connectCard());
    QCOMPARE(transmit("00A4020C020520"), "6A82");
    QCOMPARE(transmit("00A4020C020002"), "9000"); // the twelfth command: the card leaves

    QVERIFY(card.waitForFinished(cardWaitMs));
    QCOMPARE(card.exitCode(), 0);
    QVERIFY(transmit("00A4020C020002").isEmpty());
    SCardDisconnect(m_card, SCARD_LEAVE_CARD);
    QVERIFY(waitForCard(SCARD_STATE_EMPTY));
    QFile written(dump.filePath("050E.bin"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray::fromHex("5F5E1000"));
}

QTEST_GUILESS_MAIN(TestVcardPcsc)
#include "tst_vcard_pcsc.moc"
