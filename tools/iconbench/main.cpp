// iconbench: how soon the reader's row follows the card in the real window,
// against a second PC/SC client of the same pcscd. For each read and each
// diagnosis: from the card's last answer to the icon saying that the card may
// be pulled, over the time from that answer until the second client is told
// that the card is let go. For each insertion: from the card's arrival to its
// row, over the time until the second client is told of the card. Runs inside
// the card-test sandbox (tools/iconbench/run), which provides pcscd and the
// virtual readers; the virtual card is started here.

#include "tests/app/ProgramDriver.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/VirtualCardProcess.h"
#include "tools/iconbench/RowClock.h"
#include "tools/iconbench/ServiceWatcher.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <algorithm>
#include <optional>

using namespace ProgramDriver;

namespace {

constexpr int operationMs = 120000;
// The second client hears of a release at the service's next event.
constexpr int settleMs = 1500;

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
