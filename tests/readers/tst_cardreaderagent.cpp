#include "tests/readers/MonitorEvents.h"
#include "tests/support/VirtualCardProcess.h"

#include <QtTest>

#include <memory>

// The monitor against a private pcscd with two virtual readers.
class TestCardReaderAgent : public QObject
{
    Q_OBJECT

private:
    static constexpr int generousMs = 15000;

    std::unique_ptr<CRAController> controller;
    SignalRecorder recorder;

    void startMonitor() { controller = startRecordedMonitor(recorder, true); }

    QStringList errors() const { return recorder.events.filter(QRegularExpression("^error:")); }

private slots:
    void cleanup()
    {
        controller.reset();
        recorder.events.clear();
    }

    // A card already in reader 1 when the monitor starts, and one that comes
    // into reader 0, is held by another connection and pulled out.
    void reportsCardsAsPcscLiteShowsThem()
    {
        const QString reader = VirtualCardProcess::readerName(0);
        VirtualCardProcess present(1);
        QVERIFY(present.insert("driver-estr"));
        startMonitor();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events,
                                  QStringList({"context", "found:" + reader + '|' + present.name(),
                                               "mounted:" + present.name()}),
                                  generousMs);
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

        QVERIFY(card.remove());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("unmounted:" + reader), 1, generousMs);
        QTRY_COMPARE_WITH_TIMEOUT(errors(), QStringList("error:" + reader
                                                         + ":Отключение карты в процессе ее использования. Данное "
                                                           "действие могло вывести карту тахографа из строя, т. е. "
                                                           "привести к поломке карты."),
                                  generousMs);
        QCOMPARE(recorder.count("mounted:" + reader), 1);
        Pcsc::SCardDisconnect(handle, Pcsc::SCARD_LEAVE_CARD);
        Pcsc::SCardReleaseContext(context);
        QVERIFY(present.remove());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("unmounted:" + present.name()), 1, generousMs);
        QCOMPARE(errors().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCardReaderAgent)
#include "tst_cardreaderagent.moc"
