#include "tests/readers/MonitorEvents.h"
#include "tests/support/VirtualCardProcess.h"

#include <QtTest>

namespace {

constexpr int generousMs = 20000;

bool startPcscd(QProcess &pcscd)
{
    const QStringList command = QString::fromLocal8Bit(qgetenv("DRVP_PCSCD_CMD")).split(' ');
    pcscd.start(command.first(), command.mid(1));
    return pcscd.waitForStarted();
}

} // namespace

// The monitor against a private pcscd with two virtual readers, which the
// test starts itself: the states pcsc-lite really reports, which the
// in-process service of the states test plays back.
class TestCardReaderAgent : public QObject
{
    Q_OBJECT

private slots:
    void stopEndsTheThreadWhileRetrying()
    {
        SignalRecorder recorder;
        auto controller = startRecordedMonitor(recorder);
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.events.isEmpty(), generousMs);
        controller->agent().stop();
        QVERIFY(controller->wait(5000));
    }

    // The service missing, then there: a card comes into reader 0, is held
    // by another connection, let go, held again and pulled out, comes again,
    // is held exclusively and pulled out; then the service restarts.
    void followsTheServiceAndTheCards()
    {
        SignalRecorder recorder;
        auto controller = startRecordedMonitor(recorder, true);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.size() >= 3, generousMs);
        const QString failure = "error::Попытка %1: Агент не смог установить контекст. Ошибка 2146435043 (0x8010001D) "
                                "SCARD_E_NO_SERVICE: Менеджер ресурсов карт не работает.";
        QCOMPARE(recorder.events.mid(0, 3),
                 QStringList({failure.arg(1), failure.arg(2),
                              failure.arg(3) + " <b>Рекомендуется выключить Дравек Про</b> и запустить его "
                                               "повторно после устранеия неполадок."}));

        QProcess pcscd;
        QVERIFY(startPcscd(pcscd));
        const QString reader = VirtualCardProcess::readerName(0);
        const QString readers = "found:" + reader + '|' + VirtualCardProcess::readerName(1);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(readers), 1, generousMs);
        recorder.events.clear();

        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-estr"));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events, QStringList("mounted:" + reader), generousMs);
        Pcsc::SCARDCONTEXT context = 0;
        QCOMPARE(Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context), 0);
        Pcsc::SCARDHANDLE handle = 0;
        quint32 protocol = 0;
        QCOMPARE(Pcsc::SCardConnectW(context, reader, Pcsc::SCARD_SHARE_SHARED,
                                     Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1, &handle, &protocol),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.count("using:" + reader + ":1") >= 1, generousMs);
        // Let go, the card may be pulled: the service never says it is unpowered.
        QCOMPARE(Pcsc::SCardDisconnect(handle, Pcsc::SCARD_LEAVE_CARD), 0);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("using:" + reader + ":0"), 1, generousMs);
        QCOMPARE(Pcsc::SCardConnectW(context, reader, Pcsc::SCARD_SHARE_SHARED,
                                     Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1, &handle, &protocol),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.count("using:" + reader + ":1") >= 2, generousMs);
        QVERIFY(card.remove());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("unmounted:" + reader), 1, generousMs);
        Pcsc::SCardDisconnect(handle, Pcsc::SCARD_LEAVE_CARD);
        // Held exclusively, then pulled: gone all the same.
        QVERIFY(card.insert("driver-estr"));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("mounted:" + reader), 2, generousMs);
        QCOMPARE(Pcsc::SCardConnectW(context, reader, Pcsc::SCARD_SHARE_EXCLUSIVE,
                                     Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1, &handle, &protocol),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.count("using:" + reader + ":1") >= 3, generousMs);
        QVERIFY(card.remove());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("unmounted:" + reader), 2, generousMs);
        Pcsc::SCardDisconnect(handle, Pcsc::SCARD_LEAVE_CARD);
        Pcsc::SCardReleaseContext(context);
        QCOMPARE(recorder.events.filter(QRegularExpression("^error:")), QStringList());

        // A restarted service needs a new context: the readers go and come back.
        pcscd.terminate();
        QVERIFY(pcscd.waitForFinished(generousMs));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.contains("gone:" + readers.mid(6)), generousMs);
        QVERIFY(startPcscd(pcscd));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(readers), 1, generousMs);

        controller.reset();
        pcscd.terminate();
        QVERIFY(pcscd.waitForFinished(generousMs));
    }
};

QTEST_GUILESS_MAIN(TestCardReaderAgent)
#include "tst_cardreaderagent.moc"
