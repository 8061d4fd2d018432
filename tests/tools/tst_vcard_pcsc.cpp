// The virtual card through the real stack: the card process in the virtual
// reader, pcscd, and the program's PC/SC layer.

#include "platform/Pcsc.h"
#include "tools/vcard/CardOptions.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Pcsc;

namespace {

constexpr int cardWaitMs = 20000;

QString toolPath()
{
    return qEnvironmentVariable("DRVP_TOOLS_DIR") + QStringLiteral("/vcard");
}

QString port()
{
    return qEnvironmentVariable("DRVP_VPCD_PORT", QStringLiteral("40000"));
}

quint16 sw(const QByteArray &response)
{
    return response.size() < 2 ? 0 : quint16((quint8(response.at(response.size() - 2)) << 8) | quint8(response.back()));
}

} // namespace

class TestVcardPcsc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void answersThroughPcscdAndDumpsOnTermination();
    void leavesTheReaderAfterTheOrderedCommand();
    void reportsAReaderItCannotReach();

private:
    bool startCard(QProcess *card, const QStringList &extra);
    bool waitForCard(quint32 presence);
    QByteArray transmit(const char *hex);

    SCARDCONTEXT m_context = 0;
    QString m_reader;
    SCARDHANDLE m_card = 0;
    quint32 m_protocol = 0;
    qint32 m_lastCode = 0;
};

void TestVcardPcsc::initTestCase()
{
    QVERIFY2(QFileInfo(toolPath()).isExecutable(), qPrintable(toolPath()));
    QCOMPARE(SCardEstablishContext(SCARD_SCOPE_USER, &m_context), SCARD_S_SUCCESS);
    QStringList readers;
    QCOMPARE(SCardListReadersW(m_context, &readers), SCARD_S_SUCCESS);
    const QString prefix = qEnvironmentVariable("DRVP_READER_PREFIX");
    for (const QString &reader : qAsConst(readers)) {
        if (reader.startsWith(prefix) && reader.endsWith(QLatin1String("00 00")))
            m_reader = reader;
    }
    QVERIFY2(!m_reader.isEmpty(), qPrintable(readers.join(", ")));
}

void TestVcardPcsc::cleanupTestCase()
{
    SCardReleaseContext(m_context);
}

bool TestVcardPcsc::startCard(QProcess *card, const QStringList &extra)
{
    card->setProcessChannelMode(QProcess::ForwardedChannels);
    card->start(toolPath(), QStringList{"--port", port(), "--profile", "driver-estr"} + extra);
    return card->waitForStarted() && waitForCard(SCARD_STATE_PRESENT);
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
    m_lastCode = SCardTransmit(m_card, pci, reinterpret_cast<const quint8 *>(apdu.constData()), quint32(apdu.size()),
                               nullptr, response, &length);
    return m_lastCode == SCARD_S_SUCCESS ? QByteArray(reinterpret_cast<char *>(response), int(length)) : QByteArray();
}

void TestVcardPcsc::answersThroughPcscdAndDumpsOnTermination()
{
    QTemporaryDir dump;
    QProcess card;
    QVERIFY(startCard(&card, {"--dump", dump.path()}));
    QCOMPARE(SCardConnectW(m_context, m_reader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_card,
                           &m_protocol),
             SCARD_S_SUCCESS);

    quint8 atr[MAX_ATR_SIZE] = {};
    quint32 atrLength = sizeof atr;
    quint32 state = 0;
    quint32 protocol = 0;
    QCOMPARE(SCardStatusW(m_card, nullptr, &state, &protocol, atr, &atrLength), SCARD_S_SUCCESS);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(atr), int(atrLength)), CardOptions::defaultAtr());

    QCOMPARE(transmit("00A4040C06FF544143484F"), QByteArray::fromHex("9000"));
    QCOMPARE(transmit("00A4020C020520"), QByteArray::fromHex("9000"));
    QCOMPARE(transmit("00B0000110"), QByteArray("RUD0000001100200") + QByteArray::fromHex("9000"));
    QCOMPARE(transmit("00A4020C020504"), QByteArray::fromHex("9000"));
    const QByteArray chunk = transmit("00B00000FF");
    QCOMPARE(chunk.size(), 255 + 2);
    QCOMPARE(sw(chunk), quint16(0x9000));
    QCOMPARE(transmit("00A4020C02050E"), QByteArray::fromHex("9000"));
    QCOMPARE(transmit("00D60000045F5E1000"), QByteArray::fromHex("9000"));
    QCOMPARE(transmit("802A9000"), QByteArray::fromHex("9000"));
    QCOMPARE(transmit("002A9E9A80").size(), 128 + 2);

    // A reset on disconnect brings the card back to its master file.
    QCOMPARE(SCardDisconnect(m_card, SCARD_RESET_CARD), SCARD_S_SUCCESS);
    QCOMPARE(SCardConnectW(m_context, m_reader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_card,
                           &m_protocol),
             SCARD_S_SUCCESS);
    QCOMPARE(sw(transmit("00A4020C020520")), quint16(0x6A82));
    QCOMPARE(sw(transmit("00A4020C020002")), quint16(0x9000));
    QCOMPARE(SCardDisconnect(m_card, SCARD_LEAVE_CARD), SCARD_S_SUCCESS);

    card.terminate();
    QVERIFY(card.waitForFinished(cardWaitMs));
    QCOMPARE(card.exitStatus(), QProcess::NormalExit);
    QCOMPARE(card.exitCode(), 0);
    QVERIFY(waitForCard(SCARD_STATE_EMPTY));
    QFile written(dump.filePath("050E.bin"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray::fromHex("5F5E1000"));
}

void TestVcardPcsc::leavesTheReaderAfterTheOrderedCommand()
{
    QProcess card;
    QVERIFY(startCard(&card, {"--remove-after", "2", "--fail", "select:1:6A88"}));
    QCOMPARE(SCardConnectW(m_context, m_reader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_card,
                           &m_protocol),
             SCARD_S_SUCCESS);
    QCOMPARE(transmit("00A4040C06FF544143484F"), QByteArray::fromHex("6A88"));
    QCOMPARE(transmit("00A4040C06FF544143484F"), QByteArray::fromHex("9000"));
    QVERIFY(card.waitForFinished(cardWaitMs));
    QCOMPARE(card.exitCode(), 0);
    QVERIFY(transmit("00A4020C020520").isEmpty());
    QVERIFY(m_lastCode != SCARD_S_SUCCESS);
    SCardDisconnect(m_card, SCARD_LEAVE_CARD);
    QVERIFY(waitForCard(SCARD_STATE_EMPTY));
}

void TestVcardPcsc::reportsAReaderItCannotReach()
{
    QProcess card;
    card.start(toolPath(), {"--port", "1", "--profile", "driver-estr"});
    QVERIFY(card.waitForFinished(cardWaitMs));
    QVERIFY(card.exitCode() != 0);
    QVERIFY(card.readAllStandardError().contains("cannot connect"));
}

QTEST_GUILESS_MAIN(TestVcardPcsc)
#include "tst_vcard_pcsc.moc"
