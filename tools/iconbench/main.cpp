// iconbench: how soon the reader's row follows the card in the real window,
// against a second PC/SC client of the same pcscd. For each read and each
// diagnosis: from the card's last answer to the icon saying that the card may
// be pulled, over the time from that answer until the second client is told
// that the card is let go. For each insertion: from the card's arrival to its
// row, over the time until the second client is told of the card. Runs inside
// the card-test sandbox (tools/iconbench/run), which provides pcscd and the
// virtual readers; the virtual card is started here. Last, while a second
// client holds the card's transaction for 30 s: how long a read waits when
// left alone and once cancelled, and the window's longest stall meanwhile.

#include "tests/app/ProgramDriver.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/StallWatch.h"
#include "tests/support/VirtualCardProcess.h"
#include "tools/iconbench/RowClock.h"
#include "tools/iconbench/ServiceWatcher.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <optional>

using namespace ProgramDriver;

namespace {

constexpr int operationMs = 120000;
// The second client hears of a release at the service's next event.
constexpr int settleMs = 1500;
constexpr int holdMs = 30000;

QTextStream out(stdout);

struct Samples
{
    QVector<double> values;

    // The ratio of our time to the second client's.
    void add(double ours, double other)
    {
        if (other > 0)
            values << ours / other;
    }
    double median() const
    {
        QVector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const int n = sorted.size();
        return n == 0 ? 0 : n % 2 ? sorted.at(n / 2) : (sorted.at(n / 2 - 1) + sorted.at(n / 2)) / 2;
    }
    double maximum() const { return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

std::optional<double> firstAtOrAfter(const QVector<double> &times, double from)
{
    for (const double at : times) {
        if (at >= from)
            return at;
    }
    return std::nullopt;
}

// The time of the last stamp of the kind among the card's lines.
std::optional<double> lastStamp(const QStringList &lines, const QString &kind)
{
    std::optional<double> last;
    for (const QString &line : lines) {
        if (line.startsWith(kind + ' '))
            last = line.mid(kind.size() + 1).toDouble();
    }
    return last;
}

void report(const QString &title, const Samples &ratios, double medianAim, double maximumAim)
{
    out << QStringLiteral("%1: %2 samples, median %3 (aim <= %4), maximum %5 (aim <= %6)\n")
               .arg(title)
               .arg(ratios.values.size())
               .arg(ratios.median(), 0, 'f', 2)
               .arg(medianAim, 0, 'f', 1)
               .arg(ratios.maximum(), 0, 'f', 2)
               .arg(maximumAim, 0, 'f', 1);
}

int fail(const QString &message)
{
    QTextStream(stderr) << "iconbench: " << message << '\n';
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    Program::prepareEnvironment();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption roundsOption(
        "rounds", "Rounds of an insertion, then a read and a diagnosis of another card (default 20).", "n", "20");
    const QCommandLineOption profileOption("profile", "Virtual card profile (default driver-estr).", "name",
                                           "driver-estr");
    // Each operation ends with the reset of its last disconnect, which the
    // virtual card answers at once; a real card takes tens of milliseconds.
    const QCommandLineOption resetOption(
        "reset-ms", "How long the card read and diagnosed takes to answer a reset (default 80).", "ms", "80");
    const QCommandLineOption cardOption("card-option", "Option for the virtual card, e.g. --delay-ms=20.", "option");
    parser.addOptions({roundsOption, profileOption, resetOption, cardOption});
    parser.process(app);
    const int rounds = qMax(1, parser.value(roundsOption).toInt());

    RunningProgram rig;
    if (!rig.started)
        return fail("the program did not start");
    MainWindow *window = rig.window;
    const QString reader = VirtualCardProcess::readerName(0);
    RowClock clock(window->findChild<QTableWidget *>("ReaderListTbl"), reader);
    ServiceWatcher watcher(reader);
    Samples insertions, releases;
    // Milliseconds from another client's release to the free icon.
    Samples holdEnds;

    out << "sample\tours ms\tsecond client ms\tratio\n";
    const auto sample = [](Samples &ratios, const QString &name, std::optional<double> from,
                           std::optional<double> ours, std::optional<double> other) {
        if (!from || !ours || !other) {
            out << name << "\tnot seen\n";
            return;
        }
        ratios.add(*ours - *from, *other - *from);
        out << QStringLiteral("%1\t%2\t%3\t%4\n")
                   .arg(name)
                   .arg(*ours - *from, 0, 'f', 1)
                   .arg(*other - *from, 0, 'f', 1)
                   .arg((*ours - *from) / (*other - *from), 0, 'f', 2);
        out.flush();
    };

    const auto insert = [&](VirtualCardProcess &card, const QStringList &options) {
        const int shown = clock.numbersShown.size();
        return card.insert(parser.value(profileOption), QStringList{"--stamps"} + options + parser.values(cardOption))
            && QTest::qWaitFor([&] { return clock.numbersShown.size() > shown; }, operationMs);
    };
    for (int round = 1; round <= rounds; ++round) {
        {
            // The insertion of a card that answers at once, as the virtual card does.
            VirtualCardProcess card(0);
            if (!insert(card, {}))
                return fail("the card did not show");
            QTest::qWait(settleMs);
            const std::optional<double> inserted = lastStamp(card.outputLines(), "inserted");
            sample(insertions, QStringLiteral("insertion %1").arg(round), inserted,
                   inserted ? firstAtOrAfter(clock.numbersShown, *inserted) : std::nullopt,
                   inserted ? firstAtOrAfter(watcher.arrivals(), *inserted) : std::nullopt);
            if (!card.remove())
                return fail("the card did not leave");
        }
        VirtualCardProcess card(0);
        if (!insert(card, {"--slow", "atr:" + parser.value(resetOption)}) || !selectCardReader(window, reader))
            return fail("the card could not be selected");
        card.outputLines();
        for (const QString &button : {QStringLiteral("ReadCardsBtn"), QStringLiteral("CheckingCardBtn")}) {
            const int finished = rig.finished.size();
            if (!click(window, button)
                || !QTest::qWaitFor([&] { return rig.finished.size() > finished; }, operationMs))
                return fail(button + " did not finish");
            QTest::qWait(settleMs);
            const std::optional<double> last = lastStamp(card.outputLines(), "answered");
            std::optional<double> free;
            for (const RowClock::Change &change : qAsConst(clock.icons)) {
                if (last && change.at >= *last && change.icon == 2 && !free)
                    free = change.at;
            }
            const QString name = button == QLatin1String("ReadCardsBtn") ? "read" : "diagnosis";
            sample(releases, QStringLiteral("%1 %2").arg(name).arg(round), last, free,
                   last ? firstAtOrAfter(watcher.releases(), *last) : std::nullopt);
            click(window, "CancelBtn");
        }
        {
            OtherProgram other;
            const int finished = rig.finished.size();
            if (!other.connect(reader, Pcsc::SCARD_SHARE_SHARED) || !click(window, "ReadCardsBtn")
                || !QTest::qWaitFor([&] { return rig.finished.size() > finished; }, operationMs))
                return fail("the read beside another client did not finish");
            other.release();
            const double released = monotonicMs();
            QTest::qWaitFor([&] { return readerIcon(window, reader) == 2; }, operationMs);
            std::optional<double> free;
            for (const RowClock::Change &change : qAsConst(clock.icons)) {
                if (change.at >= released && change.icon == 2 && !free)
                    free = change.at;
            }
            if (free) {
                holdEnds.values << *free - released;
                out << QStringLiteral("held read %1\t%2 ms from the release\n").arg(round).arg(*free - released, 0, 'f', 1);
            } else {
                out << QStringLiteral("held read %1\tnever free\n").arg(round);
            }
            out.flush();
            click(window, "CancelBtn");
        }
        if (!card.remove())
            return fail("the card did not leave");
    }
    {
        VirtualCardProcess card(0);
        OtherProgram other;
        if (!insert(card, {}) || !selectCardReader(window, reader)
            || !QTest::qWaitFor([&] { return readerIcon(window, reader) == 2; }, operationMs)
            || !other.connect(reader, Pcsc::SCARD_SHARE_SHARED) || !other.begin())
            return fail("the card could not be held");
        QElapsedTimer held, clock;
        held.start();
        StallWatch stalls;
        const auto *message = window->findChild<QLabel *>("ReadPrgLbl");
        const QString waiting = QStringLiteral("Карта занята другой программой, ожидание…");
        // From the click on Read, or on Cancel, to the read's end; -1 when it did not end.
        const auto readEnds = [&](bool cancel) -> qint64 {
            const int finished = rig.finished.size();
            if (!click(window, "ReadCardsBtn"))
                return -1;
            clock.start();
            stalls.restart();
            if (cancel) {
                if (!turnLoopUntil([&] { return message->text() == waiting; }, holdMs))
                    return -1;
                clock.start();
                if (!click(window, "CancelBtn"))
                    return -1;
            }
            return turnLoopUntil([&] { return rig.finished.size() > finished; }, holdMs) ? clock.elapsed() : -1;
        };
        const qint64 alone = readEnds(false);
        double stallMs = stalls.longestMs();
        click(window, "CancelBtn");
        const qint64 cancelled = readEnds(true);
        stallMs = std::max(stallMs, stalls.longestMs());
        if (alone < 0 || cancelled < 0 || held.elapsed() >= holdMs)
            return fail("a read beside the held transaction did not end while it was held");
        out << QStringLiteral("held transaction: read left alone ended after %1 ms (aim about 10000), after a cancel "
                              "in %2 ms (aim <= 1000); longest stall while it waited %3 ms (aim <= 200)\n")
                   .arg(alone)
                   .arg(cancelled)
                   .arg(stallMs, 0, 'f', 1);
        QTest::qWait(int(holdMs - held.elapsed()));
    }
    out << QStringLiteral("another client's release, icon free after: %1 of %2 samples, median %3 ms, maximum %4 ms "
                          "(aim <= 4500)\n")
               .arg(holdEnds.values.size())
               .arg(rounds)
               .arg(holdEnds.median(), 0, 'f', 0)
               .arg(holdEnds.maximum(), 0, 'f', 0);
    report("release, icon against the second client", releases, 1.2, 1.5);
    report("insertion, row against the second client", insertions, 1.1, 1.1);
    return 0;
}
