#include "readers/CardReaderAgent.h"

#include "card/PcscCodeTexts.h"

#include <QMutexLocker>

#include <algorithm>

#include <cstdlib>

using namespace Pcsc;

namespace {

// The wait is bounded so that a stop that lands before the wait begins (which
// SCardCancel cannot wake) is still seen within this time. Each wait costs
// the idle program several wake-ups, so it is not shorter.
constexpr quint32 waitSliceMs = 4000;
// pcsc-lite does not always report new readers through the notification
// entry: the list is compared after this many quiet waits.
constexpr int quietWaitsBeforeRelisting = 2;
constexpr unsigned long retryDelayMs = 3000;
// Whatever the service reports, the readers are never listed more often.
constexpr qint64 listingGapMs = 500;

constexpr quint32 lowWord(quint32 state) { return state & 0xFFFF; }
constexpr quint32 counter(quint32 state) { return state >> 16; }
// A connection holds the card: shared connections set the in-use bit, an
// exclusive one only the exclusive bit.
constexpr quint32 heldBits = SCARD_STATE_INUSE | SCARD_STATE_EXCLUSIVE;
constexpr bool holdsPoweredCard(quint32 state) { return (lowWord(state) & ~heldBits) == SCARD_STATE_PRESENT; }

const char *const contextFailure = "Попытка %1: Агент не смог установить контекст. %2";
const char *const contextAdvice = "%1 <b>Рекомендуется выключить Дравек Про</b> и запустить его "
                                  "повторно после устранеия неполадок.";
const char *const listFailure = "Попытка %1: Агент не смог получить список картридеров. %2";
const char *const listAdvice = "%1 <b>Рекомендуется выключить Дравек Про</b> и запустить его "
                               "повторно после подключения картридера или устранеия неполадок.";
const char *const freeFailure =
    "Возникла ошибка при освобождении агентом памяти выделенной под перечень картридеров. %1";
const char *const releaseFailure = "Агент не смог закрыть контекст %1 (0x%2). %3";
const char *const badCard = "Некорректно вставленна карта или карта неисправна.";

QString hexCode(qint32 code) { return QString::number(quint32(code), 16).toUpper(); }

} // namespace

CardReaderAgent::CardReaderAgent(QObject *parent) : QObject(parent) {}

CardReaderAgent::~CardReaderAgent() = default;

void CardReaderAgent::stop()
{
    stopRequested = true;
    {
        QMutexLocker lock(&sleepMutex);
        sleepCondition.wakeAll();
    }
    if (context)
        SCardCancel(context);
}

QString CardReaderAgent::scardErrorText(qint32 code)
{
    const QString known = findScardErrorText(code);
    const QString text = known.isEmpty()
        ? QStringLiteral(": Cистемная ошибка. Обратитесь в службу техподдержки.")
        : QLatin1Char(' ') + known;
    // The decimal shows the magnitude of the signed code.
    return QStringLiteral("Ошибка %1 (0x%2)%3")
        .arg(QString::number(std::llabs(qint64(code))), hexCode(code), text);
}

void CardReaderAgent::runMonitor()
{
    while (!stopRequested) {
        if (establishContext()) {
            while (!stopRequested && listReaders()) {
                buildReaderStates();
                if (!waitForChanges())
                    break;
            }
        }
    }
}

bool CardReaderAgent::establishContext()
{
    if (context) {
        const QStringList gone = readers;
        emit unmountedCardReader(gone);
        readers.clear();
        reportedGone.clear();
        states.clear();
        const SCARDCONTEXT old = context;
        const qint32 rc = SCardReleaseContext(old);
        context = 0;
        emit contextEstablished(0);
        if (rc != SCARD_S_SUCCESS) {
            emit errorCardReader(QString::fromUtf8(releaseFailure)
                                     .arg(QString::number(old), hexCode(rc), scardErrorText(rc)));
        }
    }
    for (int attempt = 1; !stopRequested; ++attempt) {
        SCARDCONTEXT established = 0;
        const qint32 rc = SCardEstablishContext(SCARD_SCOPE_USER, &established);
        if (rc == SCARD_S_SUCCESS) {
            context = established;
            // A stop that came while there was no context had nothing to cancel.
            if (stopRequested)
                return false;
            emit contextEstablished(established);
            return true;
        }
        reportRetry(QString::fromUtf8(contextFailure).arg(attempt).arg(scardErrorText(rc)), attempt,
                    QString::fromUtf8(contextAdvice));
        if (!sleepBeforeRetry())
            return false;
    }
    return false;
}

// `readers` keeps the last successful listing until a new one succeeds, so
// a context given up in between still reports those names gone.
bool CardReaderAgent::listReaders()
{
    if (lastListing.isValid() && !sleepFor(listingGapMs - lastListing.elapsed()))
        return false;
    for (int attempt = 1; !stopRequested; ++attempt) {
        QStringList listed;
        qint32 freed = SCARD_S_SUCCESS;
        const qint32 rc = SCardListReadersW(context, &listed, &freed);
        lastListing.start();
        if (rc == SCARD_S_SUCCESS) {
            takeListing(listed);
            reportFreeFailure(freed);
            emit foundCardReaders(listed);
            return true;
        }
        if (rc == SCARD_E_NO_READERS_AVAILABLE)
            takeListing(QStringList());
        // A lost service never comes back to this context: start a new one.
        if (rc == SCARD_E_NO_SERVICE || rc == SCARD_E_INVALID_HANDLE)
            return false;
        reportRetry(QString::fromUtf8(listFailure).arg(attempt).arg(scardErrorText(rc)), attempt,
                    QString::fromUtf8(listAdvice));
        if (!sleepBeforeRetry())
            return false;
    }
    return false;
}

void CardReaderAgent::reportFreeFailure(qint32 rc)
{
    if (rc != SCARD_S_SUCCESS)
        emit errorCardReader(QString::fromUtf8(freeFailure).arg(scardErrorText(rc)));
}

void CardReaderAgent::reportRetry(const QString &text, int attempt, const QString &advice)
{
    emit errorCardReader(attempt % 3 == 0 ? advice.arg(text) : text);
}

bool CardReaderAgent::sleepBeforeRetry()
{
    return sleepFor(retryDelayMs);
}

bool CardReaderAgent::sleepFor(qint64 ms)
{
    QMutexLocker lock(&sleepMutex);
    if (!stopRequested && ms > 0)
        sleepCondition.wait(&sleepMutex, quint64(ms));
    return !stopRequested;
}

// Readers of the last listing that `now` no longer holds are reported gone,
// a card in one of them first, unless the wait has done so already.
void CardReaderAgent::takeListing(const QStringList &now)
{
    for (const QString &name : qAsConst(readers)) {
        if (now.contains(name) || reportedGone.contains(name))
            continue;
        const auto entry = std::find_if(states.cbegin(), states.cend(),
                                        [&name](const SCARD_READERSTATEW &e) { return e.szReader == name; });
        if (entry != states.cend() && holdsPoweredCard(entry->dwCurrentState))
            emit unmountedCard(name);
        emit unmountedCardReader(QStringList{name});
    }
    readers = now;
    reportedGone.clear();
}

void CardReaderAgent::buildReaderStates()
{
    states.assign(size_t(readers.size()) + 1, SCARD_READERSTATEW());
    for (int i = 0; i < readers.size(); ++i)
        states[size_t(i)].szReader = readers.at(i);
    states.back().szReader = pnpNotificationReader;
}

bool CardReaderAgent::waitForChanges()
{
    int quietWaits = 0;
    while (!stopRequested) {
        qint32 rc = SCardGetStatusChangeW(context, waitSliceMs, states.data(), quint32(states.size()));
        // Taken before the look below, so a restatement shows the card as
        // it is after the ask.
        const bool restate = restateRequested.exchange(false);
        // At a time-out pcsc-lite hands back the states of its last event,
        // maybe seconds old: a hold since let go would show as one now.
        if ((rc == SCARD_E_TIMEOUT || restate) && !stopRequested)
            rc = SCardGetStatusChangeW(context, 0, states.data(), quint32(states.size()));
        if (stopRequested)
            return false;
        if (rc == SCARD_E_UNKNOWN_READER)
            return true;
        // pcsc-lite may report a change of the in-use bit with a time-out.
        if (rc != SCARD_S_SUCCESS && rc != SCARD_E_TIMEOUT)
            return false;
        bool relist = false;
        for (size_t i = 0; i + 1 < states.size(); ++i) {
            if (states[i].dwCurrentState != states[i].dwEventState)
                relist = applyReaderChange(states[i]) || relist;
        }
        relist = pnpReportsChange(states.back()) || relist;
        if (restate)
            restateHolds();
        if (relist)
            return true;
        if (rc == SCARD_E_TIMEOUT && ++quietWaits % quietWaitsBeforeRelisting == 0
            && readerListChanged())
            return true;
    }
    return false;
}

void CardReaderAgent::on_CardWork(const QString & /*reader_name*/, CardWork work)
{
    if (work != CardWork::Started)
        restateRequested = true;
}

void CardReaderAgent::restateHolds()
{
    for (size_t i = 0; i + 1 < states.size(); ++i) {
        const quint32 state = states[i].dwCurrentState;
        if (state & SCARD_STATE_PRESENT)
            emit cardUsing(states[i].szReader, (state & heldBits) != 0);
    }
}

bool CardReaderAgent::applyReaderChange(SCARD_READERSTATEW &entry)
{
    const QString name = entry.szReader;
    const quint32 cs = entry.dwCurrentState;
    const quint32 es = entry.dwEventState;
    const quint32 cl = lowWord(cs);
    const quint32 el = lowWord(es);
    const bool counterGrew = counter(es) > counter(cs);
    const bool wasPresent = holdsPoweredCard(cs);

    bool announced = false;
    bool handled = false;
    // The bits of a holder that has not let go yet say nothing of the card.
    const quint32 before = cl & ~heldBits;
    if (before == SCARD_STATE_UNAWARE || before == SCARD_STATE_EMPTY) {
        const quint32 presentNow = SCARD_STATE_CHANGED | SCARD_STATE_PRESENT;
        if ((el & ~heldBits) == presentNow || el == (presentNow | SCARD_STATE_UNPOWERED)) {
            // A card already in the reader when the service started carries
            // event counter 0: being unaware of it is enough.
            if (counterGrew || before == SCARD_STATE_UNAWARE) {
                emit mountedCard(name);
                announced = true;
            }
            handled = true;
        } else if (el == (presentNow | SCARD_STATE_MUTE) && before == SCARD_STATE_EMPTY) {
            if (counterGrew)
                emit errorCardReader(QString::fromUtf8(badCard), name);
            handled = true;
        }
    }
    // Pulled and put back, or swapped, between two looks: the count moved on
    // while the reader never showed empty.
    const bool cardBefore = before == SCARD_STATE_PRESENT || before == (SCARD_STATE_PRESENT | SCARD_STATE_UNPOWERED);
    if (!handled && cardBefore && (el & SCARD_STATE_PRESENT) && counter(es) != counter(cs)) {
        emit unmountedCard(name);
        if (el & SCARD_STATE_MUTE)
            emit errorCardReader(QString::fromUtf8(badCard), name);
        else
            emit mountedCard(name);
        announced = true;
        handled = true;
    }
    // A program that held the card exclusively keeps the exclusive bit up
    // on the empty reader until it lets go.
    const bool emptied = (el & ~heldBits) == (SCARD_STATE_CHANGED | SCARD_STATE_EMPTY);
    if (!handled && cl == (SCARD_STATE_PRESENT | SCARD_STATE_UNPOWERED) && emptied) {
        if (counterGrew)
            emit unmountedCard(name);
        handled = true;
    }
    // Whether the card was in use when it left is the window's to tell: only
    // it knows our own work, which the service's bits show late or not at all.
    if (!handled && wasPresent && counter(es) != counter(cs) && emptied) {
        emit unmountedCard(name);
        announced = true;
    }
    if (!announced && (es & heldBits) && counter(es) == counter(cs))
        emit cardUsing(name, true);
    // pcsc-lite never reports a card unpowered: that nobody holds the card
    // any more shows only as the held bits going down.
    const bool released = (cl & heldBits) && (el & SCARD_STATE_PRESENT) && !(el & heldBits)
        && counter(es) == counter(cs);
    if ((es & SCARD_STATE_UNPOWERED) || released)
        emit cardUsing(name, false);

    // Only these two say the reader left. A reader whose driver fails stays
    // listed as 0x000A: listing it again would bring the same state back.
    const quint32 goneUnknown = SCARD_STATE_IGNORE | SCARD_STATE_CHANGED | SCARD_STATE_UNKNOWN;
    const quint32 goneUnavailable = SCARD_STATE_IGNORE | SCARD_STATE_CHANGED | SCARD_STATE_UNAVAILABLE;
    const bool gone = el == goneUnknown || el == goneUnavailable;
    if (gone) {
        if (wasPresent)
            emit unmountedCard(name);
        emit unmountedCardReader(QStringList{name});
        reportedGone << name;
    } else if (el & SCARD_STATE_UNKNOWN) {
        // pcsc-lite shows a removed reader as 0x000E: the next listing tells,
        // from the state kept here, whether a card went with it.
        return true;
    }
    entry.dwCurrentState = es & ~SCARD_STATE_CHANGED;
    return gone;
}

bool CardReaderAgent::pnpReportsChange(SCARD_READERSTATEW &entry)
{
    const quint32 cs = entry.dwCurrentState;
    const quint32 es = entry.dwEventState;
    entry.dwCurrentState = es & ~SCARD_STATE_CHANGED;
    if (cs == es || lowWord(cs) != 0 || lowWord(es) != SCARD_STATE_CHANGED)
        return false;
    // pcsc-lite 1.9.9 carries no reader count here and flags only a count
    // that changed during the wait.
    if (counter(es) == 0)
        return true;
    // A service that counts first reports the readers just listed.
    const bool firstReport = counter(cs) == 0 && counter(es) == quint32(readers.size());
    return counter(es) > counter(cs) && !firstReport;
}

bool CardReaderAgent::readerListChanged()
{
    QStringList now;
    qint32 freed = SCARD_S_SUCCESS;
    const qint32 rc = SCardListReadersW(context, &now, &freed);
    reportFreeFailure(freed);
    if (rc != SCARD_S_SUCCESS && rc != SCARD_E_NO_READERS_AVAILABLE)
        return false;
    return now != readers;
}
