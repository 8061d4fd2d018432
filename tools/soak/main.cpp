// soak: a reader manager with the real monitor, put through card insertions
// and removals and reader arrivals and removals, reporting resident memory.
// Runs inside the card-test sandbox with pcscd left to it (tools/soak/run-soak).

#include "tools/soak/ManagerSoak.h"

#include <QCommandLineParser>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption cards("cards", "Card insert/remove cycles.", "n", "1000");
    const QCommandLineOption readers("readers", "Reader arrivals (and as many removals).", "n", "100");
    parser.addHelpOption();
    parser.addOptions({cards, readers});
    parser.process(app);
    if (qEnvironmentVariableIsEmpty("DRVP_TOOLS_DIR"))
        qputenv("DRVP_TOOLS_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());

    ManagerSoak soak;
    const bool ok = soak.runCardCycles(parser.value(cards).toInt())
        && soak.runReaderCycles(parser.value(readers).toInt());
    soak.report();
    return ok ? 0 : 1;
}
