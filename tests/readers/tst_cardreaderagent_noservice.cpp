#include "tests/readers/MonitorEvents.h"

#include <QtTest>

#include <memory>

// The monitor while the PC/SC service is missing; the test starts it itself.
class TestCardReaderAgentNoService : public QObject
{
    Q_OBJECT

private:
    static constexpr int generousMs = 20000;

private slots:
    static bool startPcscd(QProcess &pcscd)
    {
        const QStringList command = QString::fromLocal8Bit(qgetenv("DRVP_PCSCD_CMD")).split(' ');
        pcscd.start(command.first(), command.mid(1));
        return pcscd.waitForStarted();
    }

    void retriesWithNumberedAttemptsThenRecovers()
    {
        SignalRecorder recorder;
        auto controller = startRecordedMonitor(recorder);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.size() >= 3, generousMs);

        const QString failure = "error::Попытка %1: Агент не смог установить контекст. Ошибка 2146435043 (0x8010001D) "
                                "SCARD_E_NO_SERVICE: Менеджер ресурсов карт не работает.";
        QCOMPARE(recorder.events.mid(0, 3),
                 QStringList({failure.arg(1), failure.arg(2),
                              failure.arg(3) + " <b>Рекомендуется выключить Дравек Про</b> и запустить его "
                                               "повторно после устранеия неполадок."}));

        QProcess pcscd;
        QVERIFY(startPcscd(pcscd));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events.filter("found:").size(), 1, generousMs);
        const QString readers = recorder.events.filter("found:").first().mid(6);
        QCOMPARE(readers.count('|'), 1);

        // A restarted service needs a new context: the readers go and come back.
        pcscd.terminate();
        QVERIFY(pcscd.waitForFinished(generousMs));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.contains("gone:" + readers), generousMs);
        QVERIFY(startPcscd(pcscd));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events.filter("found:").size(), 2, generousMs);
        QCOMPARE(recorder.events.filter("found:").last(), "found:" + readers);

        controller.reset();
        pcscd.terminate();
        QVERIFY(pcscd.waitForFinished(generousMs));
    }

    void stopEndsTheThreadWhileRetrying()
    {
        SignalRecorder recorder;
        auto controller = startRecordedMonitor(recorder);
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.events.isEmpty(), generousMs);
        controller->agent().stop();
        QVERIFY(controller->wait(5000));
    }
};

QTEST_GUILESS_MAIN(TestCardReaderAgentNoService)
#include "tst_cardreaderagent_noservice.moc"
