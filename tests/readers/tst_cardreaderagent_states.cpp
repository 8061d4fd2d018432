#include "readers/CRAController.h"
#include "tests/support/SignalRecorder.h"

#include <QtTest>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include <winscard.h>

// A PC/SC service inside this process: the executable's definitions come
// before pcsc-lite's, so the product's PC/SC layer calls these. Readers
// report the states the test sets; the notification entry never changes.
namespace {

struct FakeService
{
    std::mutex mutex;
    std::condition_variable changed;
    QStringList listed;
    QMap<QString, quint32> states;
    int listings = 0;
    int revision = 0;
    bool cancelled = false;

    template<typename Change> void change(Change apply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        apply();
        ++revision;
        changed.notify_all();
    }
};

FakeService service;

} // namespace

extern "C" {

LONG SCardEstablishContext(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT context)
{
    *context = 1;
    return SCARD_S_SUCCESS;
}

LONG SCardReleaseContext(SCARDCONTEXT) { return SCARD_S_SUCCESS; }

LONG SCardCancel(SCARDCONTEXT)
{
    service.change([] { service.cancelled = true; });
    return SCARD_S_SUCCESS;
}

LONG SCardFreeMemory(SCARDCONTEXT, LPCVOID memory)
{
    std::free(const_cast<void *>(memory));
    return SCARD_S_SUCCESS;
}

LONG SCardListReaders(SCARDCONTEXT, LPCSTR, LPSTR buffer, LPDWORD length)
{
    std::lock_guard<std::mutex> lock(service.mutex);
    ++service.listings;
    if (service.listed.isEmpty())
        return SCARD_E_NO_READERS_AVAILABLE;
    const QByteArray names = service.listed.join(QChar('\0')).toUtf8() + QByteArray(2, '\0');
    char *copy = static_cast<char *>(std::malloc(size_t(names.size())));
    std::memcpy(copy, names.constData(), size_t(names.size()));
    *reinterpret_cast<char **>(buffer) = copy;
    *length = DWORD(names.size());
    return SCARD_S_SUCCESS;
}

LONG SCardGetStatusChange(SCARDCONTEXT, DWORD timeout, SCARD_READERSTATE *entries, DWORD count)
{
    std::unique_lock<std::mutex> lock(service.mutex);
    for (;;) {
        bool any = false;
        for (DWORD i = 0; i < count; ++i) {
            const quint32 current = quint32(entries[i].dwCurrentState) & ~SCARD_STATE_CHANGED;
            const quint32 now = service.states.value(QString::fromUtf8(entries[i].szReader), current);
            entries[i].dwEventState = now == current ? now : now | SCARD_STATE_CHANGED;
            any = any || now != current;
        }
        if (any)
            return SCARD_S_SUCCESS;
        if (service.cancelled) {
            service.cancelled = false;
            return SCARD_E_CANCELLED;
        }
        const int seen = service.revision;
        if (!service.changed.wait_for(lock, std::chrono::milliseconds(timeout),
                                      [seen] { return service.revision != seen; }))
            return SCARD_E_TIMEOUT;
    }
}

} // extern "C"

class TestCardReaderAgentStates : public QObject
{
    Q_OBJECT

private:
    static constexpr int generousMs = 10000;
    const QString removedInUse = QStringLiteral(
        "error:R1:Отключение карты в процессе ее использования. Данное действие могло вывести карту "
        "тахографа из строя, т. е. привести к поломке карты.");

    std::unique_ptr<CRAController> controller;
    SignalRecorder recorder;

    void startMonitor()
    {
        controller = std::make_unique<CRAController>();
        CardReaderAgent &agent = controller->agent();
        connect(&agent, &CardReaderAgent::foundCardReaders, &recorder,
                [this](const QStringList &names) { recorder.record("found:" + names.join('|')); });
        connect(&agent, &CardReaderAgent::unmountedCardReader, &recorder,
                [this](const QStringList &names) { recorder.record("gone:" + names.join('|')); });
        connect(&agent, &CardReaderAgent::mountedCard, &recorder,
                [this](const QString &name) { recorder.record("mounted:" + name); });
        connect(&agent, &CardReaderAgent::unmountedCard, &recorder,
                [this](const QString &name) { recorder.record("unmounted:" + name); });
        connect(&agent, &CardReaderAgent::errorCardReader, &recorder,
                [this](const QString &msg, const QString &name) { recorder.record("error:" + name + ':' + msg); });
        controller->start();
    }

    int listings()
    {
        std::lock_guard<std::mutex> lock(service.mutex);
        return service.listings;
    }

private slots:
    void init()
    {
        service.change([] {
            service.listed = QStringList{"R1", "R2"};
            service.states.clear();
            service.listings = 0;
            service.cancelled = false;
        });
    }

    void cleanup()
    {
        controller.reset();
        recorder.events.clear();
    }

    // A state that brings itself back after every listing must not make the
    // monitor list without pause.
    void neverListsWithoutPause_data()
    {
        QTest::addColumn<quint32>("state");
        QTest::addColumn<bool>("gone");
        QTest::newRow("driver failing, 0x000A") << 0x0008u << false;
        QTest::newRow("gone yet listed, 0x0007") << 0x0005u << true;
        QTest::newRow("removed yet listed, 0x000E") << 0x000Cu << false;
    }

    void neverListsWithoutPause()
    {
        QFETCH(quint32, state);
        QFETCH(bool, gone);
        service.change([state] { service.states.insert("R1", state); });
        startMonitor();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.count("found:R1|R2") >= 1, generousMs);
        QTest::qWait(1000);
        QVERIFY2(listings() <= 4, qPrintable(QString::number(listings())));
        QCOMPARE(recorder.count("gone:R1") > 0, gone);
        QCOMPARE(recorder.count("gone:R2"), 0);
    }

    void unpluggedReaderTakesItsCardAlong_data()
    {
        QTest::addColumn<quint32>("removedState");
        QTest::addColumn<bool>("held");
        QTest::newRow("pcsc-lite 0x000E") << 0x000Cu << false;
        QTest::newRow("pcsc-lite 0x000E, card held") << 0x000Cu << true;
        QTest::newRow("0x0007, card held") << 0x0005u << true;
        QTest::newRow("0x000B") << 0x0009u << false;
    }

    void unpluggedReaderTakesItsCardAlong()
    {
        QFETCH(quint32, removedState);
        QFETCH(bool, held);
        service.change([held] { service.states.insert("R1", 0x10020u | (held ? 0x0100u : 0u)); });
        startMonitor();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events, QStringList({"found:R1|R2", "mounted:R1"}), generousMs);

        service.change([removedState] {
            service.listed = QStringList{"R2"};
            service.states.insert("R1", removedState);
        });
        QStringList expected{"found:R1|R2", "mounted:R1", "unmounted:R1"};
        if (held)
            expected << removedInUse;
        expected << "gone:R1" << "found:R2";
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events, expected, generousMs);
    }

    void lastReaderUnpluggedIsReportedGone()
    {
        service.change([] { service.listed = QStringList{"R1"}; });
        startMonitor();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("found:R1"), 1, generousMs);
        service.change([] {
            service.listed.clear();
            service.states.insert("R1", 0x000C);
        });
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("gone:R1"), 1, generousMs);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events.last(),
                                  QString("error::Попытка 1: Агент не смог получить список картридеров. Ошибка "
                                          "2146435026 (0x8010002E) SCARD_E_NO_READERS_AVAILABLE: Нет доступных "
                                          "картридеров."),
                                  generousMs);
    }
};

QTEST_GUILESS_MAIN(TestCardReaderAgentStates)
#include "tst_cardreaderagent_states.moc"
