#include "tests/readers/MonitorEvents.h"

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
    // When set, every wait fails with it at once.
    LONG waitResult = SCARD_S_SUCCESS;
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
    if (service.waitResult != SCARD_S_SUCCESS)
        return service.waitResult;
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

    std::unique_ptr<CRAController> controller;
    SignalRecorder recorder;

    void startMonitor() { controller = startRecordedMonitor(recorder); }

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
            service.waitResult = SCARD_S_SUCCESS;
            service.cancelled = false;
        });
    }

    void cleanup()
    {
        controller.reset();
        // Signals still queued from the stopped monitor must not reach the next case.
        QCoreApplication::sendPostedEvents();
        recorder.events.clear();
    }

    // A state that brings itself back after every listing must not make the
    // monitor list without pause.
    void neverListsWithoutPause_data()
    {
        QTest::addColumn<quint32>("state");
        QTest::addColumn<LONG>("waitResult");
        QTest::addColumn<bool>("gone");
        const LONG fine = SCARD_S_SUCCESS;
        QTest::newRow("driver failing, 0x000A") << 0x0008u << fine << false;
        QTest::newRow("gone yet listed, 0x0007") << 0x0005u << fine << true;
        QTest::newRow("removed yet listed, 0x000E") << 0x000Cu << fine << false;
        QTest::newRow("wait reports an unknown reader") << 0x0010u << LONG(SCARD_E_UNKNOWN_READER) << false;
        QTest::newRow("wait fails") << 0x0010u << LONG(SCARD_E_INVALID_PARAMETER) << false;
    }

    void neverListsWithoutPause()
    {
        QFETCH(quint32, state);
        QFETCH(LONG, waitResult);
        QFETCH(bool, gone);
        service.change([state, waitResult] {
            service.states.insert("R1", state);
            service.waitResult = waitResult;
        });
        startMonitor();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.count("found:R1|R2") >= 1, generousMs);
        QTest::qWait(1000);
        QVERIFY2(listings() <= 4, qPrintable(QString::number(listings())));
        QCOMPARE(recorder.count("gone:R1") > 0, gone);
        QCOMPARE(recorder.count("gone:R2"), 0);
    }

    void readerEvents_data()
    {
        QTest::addColumn<quint32>("before");
        QTest::addColumn<quint32>("after");
        QTest::addColumn<QStringList>("listed"); // by the service after the change
        QTest::addColumn<QStringList>("expected");
        const QStringList both{"R1", "R2"};
        const QStringList second{"R2"};
        const QStringList gone{"gone:R1", "found:R2"};
        const QString mute = QStringLiteral("error:R1:Некорректно вставленна карта или карта неисправна.");
        QTest::newRow("card inserted") << 0x0010u << 0x10020u << both << QStringList{"mounted:R1"};
        QTest::newRow("mute card inserted") << 0x0010u << 0x10220u << both << QStringList{mute};
        // Whether a pulled card was in use is the window's to say.
        QTest::newRow("held card pulled") << 0x10120u << 0x20010u << both << QStringList{"unmounted:R1"};
        QTest::newRow("unpowered card pulled") << 0x10420u << 0x20010u << both << QStringList{"unmounted:R1"};
        // The exclusive holder's bit stays on the empty reader until it lets go.
        QTest::newRow("exclusively held card pulled")
            << 0x100A0u << 0x20090u << both << QStringList{"unmounted:R1"};
        QTest::newRow("card inserted, exclusive holder not gone")
            << 0x20090u << 0x30020u << both << QStringList{"mounted:R1"};
        // Pulled and another put in between two looks: the count moved by two.
        QTest::newRow("card swapped") << 0x10020u << 0x30020u << both << QStringList{"unmounted:R1", "mounted:R1"};
        QTest::newRow("card swapped for a mute one") << 0x10120u << 0x30220u << both << QStringList{"unmounted:R1", mute};
        QTest::newRow("reader unplugged, 0x000E") << 0x10020u << 0x000Cu << second << QStringList{"unmounted:R1"} + gone;
        QTest::newRow("reader unplugged, 0x000E, card held")
            << 0x10120u << 0x000Cu << second << QStringList{"unmounted:R1"} + gone;
        QTest::newRow("reader unplugged, 0x0007, card held exclusively")
            << 0x100A0u << 0x0005u << second << QStringList{"unmounted:R1"} + gone;
        QTest::newRow("empty reader unplugged, 0x000B") << 0x0010u << 0x0009u << second << gone;
        // The service reports no reader as a failed listing.
        QTest::newRow("last reader unplugged")
            << 0x0010u << 0x000Cu << QStringList()
            << QStringList{"gone:R1", "gone:R2",
                           "error::Попытка 1: Агент не смог получить список картридеров. Ошибка 2146435026 "
                           "(0x8010002E) SCARD_E_NO_READERS_AVAILABLE: Нет доступных картридеров."};
    }

    void readerEvents()
    {
        QFETCH(quint32, before);
        QFETCH(quint32, after);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, expected);
        service.change([before] { service.states.insert("R1", before); });
        startMonitor();
        const QStringList started = before & 0x0020 ? QStringList{"found:R1|R2", "mounted:R1"} : QStringList{"found:R1|R2"};
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events, started, generousMs);

        service.change([after, listed] {
            service.listed = listed;
            service.states.insert("R1", after);
        });
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events.mid(started.size()), expected, generousMs);
    }

    // A shared connection sets the in-use bit, an exclusive one only the
    // exclusive bit: either holds the card.
    void holdEvents_data()
    {
        QTest::addColumn<quint32>("before");
        QTest::addColumn<quint32>("after");
        QTest::addColumn<QString>("expected");
        QTest::newRow("taken") << 0x10020u << 0x10120u << "using:R1:1";
        QTest::newRow("taken exclusively") << 0x10020u << 0x100A0u << "using:R1:1";
        QTest::newRow("let go") << 0x10120u << 0x10020u << "using:R1:0";
        QTest::newRow("exclusive hold ends") << 0x100A0u << 0x10020u << "using:R1:0";
    }

    void holdEvents()
    {
        QFETCH(quint32, before);
        QFETCH(quint32, after);
        QFETCH(QString, expected);
        service.change([before] { service.states.insert("R1", before); });
        controller = startRecordedMonitor(recorder, true);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("mounted:R1"), 1, generousMs);
        service.change([after] { service.states.insert("R1", after); });
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events.filter("using:"), QStringList{expected}, generousMs);
    }

    // After our own work the monitor says who holds each card, though it saw
    // no change: a hold that came and went between its looks included.
    void restatesHoldsAfterOurWork()
    {
        service.change([] {
            service.states.insert("R1", 0x10020u);
            service.states.insert("R2", 0x10120u);
        });
        controller = startRecordedMonitor(recorder, true);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count("mounted:R2"), 1, generousMs);
        controller->agent().on_CardWork("R1", CardWork::EndedHeld);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events.filter("using:"), (QStringList{"using:R1:0", "using:R2:1"}),
                                  generousMs);
    }

    void unknownErrorText()
    {
        QCOMPARE(CardReaderAgent::scardErrorText(0x1234),
                 QStringLiteral("Ошибка 4660 (0x1234): Cистемная ошибка. Обратитесь в службу техподдержки."));
    }
};

QTEST_GUILESS_MAIN(TestCardReaderAgentStates)
#include "tst_cardreaderagent_states.moc"
