// readbench: the whole read of a full-size card through CardReader against a
// bare loop sending the same APDUs through the PC/SC layer. Runs inside the
// card-test sandbox (scripts/bench-read), which provides pcscd and the
// virtual reader; the virtual card is started here.

#include "platform/Pcsc.h"
#include "readers/CardReader.h"
#include "tests/support/VirtualCardProcess.h"
#include "tools/readbench/ApduTrace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>

namespace {

constexpr double targetRatio = 1.05;

// The read as the reader manager makes it: for the card identified, proven
// in its hold.
bool readWholeCard(CardReader &reader, QByteArray *image)
{
    reader.startWork();
    if (!reader.readGeneralInfo())
        return false;
    reader.chooseCard(reader.identifiedCard());
    if (!reader.connectCard())
        return false;
    const bool read = reader.readAllFiles();
    *image = reader.buildDddImage();
    reader.disconnectCard();
    return read && !image->isEmpty();
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

int fail(const QString &message)
{
    QTextStream(stderr) << "readbench: " << message << '\n';
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption repeatsOption("repeats", "Timed runs of each kind (default 31).", "n", "31");
    const QCommandLineOption profileOption("profile", "Virtual card profile (default driver-estr-full).", "name",
                                           "driver-estr-full");
    parser.addOptions({repeatsOption, profileOption});
    parser.process(app);
    const int repeats = qMax(1, parser.value(repeatsOption).toInt());

    VirtualCardProcess vcard(0);
    if (!vcard.insert(parser.value(profileOption)))
        return fail(QStringLiteral("the virtual card did not appear in %1").arg(vcard.name()));

    // Established here, in the thread that does all the card traffic.
    Pcsc::SCARDCONTEXT context = 0;
    if (Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context) != 0)
        return fail(QStringLiteral("no PC/SC context"));
    CardReader reader(vcard.name(), context);
    reader.card.readerName = vcard.name();

    ApduTrace trace;
    trace.record(reader.card);
    QByteArray image;
    const bool recorded = readWholeCard(reader, &image);
    ApduTrace::stopRecording(reader.card);
    if (!recorded)
        return fail(QStringLiteral("the first read failed"));

    QVector<double> cardReaderMs;
    QVector<double> bareMs;
    QString error;
    // Each kind goes first in every other round, so neither profits from
    // the state the other leaves behind.
    const auto timeRead = [&](int round) {
        QElapsedTimer timer;
        timer.start();
        if (!readWholeCard(reader, &image)) {
            error = QStringLiteral("read %1 failed").arg(round + 1);
            return false;
        }
        cardReaderMs.append(timer.nsecsElapsed() / 1e6);
        return true;
    };
    const auto timeBareLoop = [&](int round) {
        QElapsedTimer timer;
        timer.start();
        if (!trace.replay(context, vcard.name(), &error)) {
            error = QStringLiteral("bare loop %1: %2").arg(round + 1).arg(error);
            return false;
        }
        bareMs.append(timer.nsecsElapsed() / 1e6);
        return true;
    };
    for (int i = 0; i < repeats; ++i) {
        const bool done = i % 2 ? timeBareLoop(i) && timeRead(i) : timeRead(i) && timeBareLoop(i);
        if (!done)
            return fail(error);
    }
    Pcsc::SCardReleaseContext(context);
    vcard.remove();

    const double withReader = median(cardReaderMs);
    const double bare = median(bareMs);
    const double ratio = withReader / bare;
    QTextStream out(stdout);
    out << "profile:            " << parser.value(profileOption) << '\n'
        << "APDUs per read:     " << trace.apduCount() << " over " << trace.connectionCount() << " connections\n"
        << ".ddd image:         " << image.size() << " bytes\n"
        << "runs:               " << repeats << " of each, alternating which goes first\n"
        << "CardReader median:  " << QString::number(withReader, 'f', 1) << " ms\n"
        << "bare loop median:   " << QString::number(bare, 'f', 1) << " ms\n"
        << "ratio:              " << QString::number(ratio, 'f', 3) << " (target <= " << targetRatio << ")\n";
    return ratio <= targetRatio ? 0 : 1;
}
