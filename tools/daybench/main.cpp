// daybench: the program as main() starts it, its main window driven through a
// working day of card operations (tools/daybench/Workday.h), printing every
// 25 operations what the process holds and how the window kept up. Runs
// inside the card tests' sandbox on an X server (tools/daybench/run).

#include "tests/app/ProgramDriver.h"
#include "tools/daybench/ProcessFigures.h"
#include "tests/support/StallWatch.h"
#include "tools/daybench/TimedApplication.h"
#include "tools/daybench/Workday.h"
#include "ui/app/Program.h"

#include <QCommandLineParser>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int reportEvery = 25;
// Live heap is judged from here on: the first operations fill the view and
// the caches that belong to a running program.
constexpr int settledAfter = 100;

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

void printHeader()
{
    std::printf("%10s %8s %8s %5s %7s %8s %9s %8s %10s %12s\n", "operations", "RSS MB", "heap MB", "fds", "threads",
                "read ms", "stall ms", "line ms", "view lines", "view formats");
}

void printRow(int operations, const ProcessFigures& figures, const Workday& day, const QVector<double>& lineMs,
              const QTextEdit& logView)
{
    const QTextDocument& view = *logView.document();
    const double stall = day.stallMs.isEmpty() ? 0 : *std::max_element(day.stallMs.begin(), day.stallMs.end());
    std::printf("%10d %8.1f %8.2f %5d %7d %8.0f %9.1f %8.2f %10d %12d\n", operations, figures.residentKb / 1024.0,
                figures.heapBytes / 1048576.0, figures.descriptors, figures.threads, median(day.readMs), stall,
                median(lineMs), view.blockCount(), int(view.allFormats().size()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    Program::prepareEnvironment();
    TimedApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption operationsOption("operations", "Card operations to run (default 300).", "n", "300");
    parser.addHelpOption();
    parser.addOption(operationsOption);
    parser.process(app);
    const int operations = parser.value(operationsOption).toInt();
    if (qEnvironmentVariableIsEmpty("DRVP_TOOLS_DIR"))
        qputenv("DRVP_TOOLS_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());

    QTemporaryDir home;
    if (!ProgramDriver::useHome(home)) {
        std::fprintf(stderr, "daybench: no temporary folder\n");
        return 2;
    }
    StallWatch stalls;
    ProgramDriver::RunningProgram program;
    if (!program.started) {
        std::fprintf(stderr, "daybench: the program did not start\n");
        return 2;
    }
    const QTextEdit& view = *program.window->findChild<QTextEdit*>(QStringLiteral("ConsoleTEdt"));
    Workday day(program, stalls);
    std::printf("read ms: median of the reads since the row before, from request to finish; stall ms: the longest "
                "stall of the event loop while one of them ran; line ms: median time the window took for a worker's "
                "log line\n");
    printHeader();
    printRow(0, ProcessFigures::now(), day, app.lineMs, view);
    app.lineMs.clear();

    int done = 0;
    qint64 settledHeap = 0;
    const QStringList boxes = dialogsShownBy([&] {
        while (done < operations && day.operation(done + 1)) {
            ++done;
            if (done % reportEvery != 0 && done != operations)
                continue;
            const ProcessFigures figures = ProcessFigures::now();
            if (done == settledAfter)
                settledHeap = figures.heapBytes;
            printRow(done, figures, day, app.lineMs, view);
            app.lineMs.clear();
            day.readMs.clear();
            day.stallMs.clear();
        }
    });
    if (done > settledAfter && settledHeap > 0) {
        const double perOperation = (ProcessFigures::now().heapBytes - settledHeap) / 1024.0 / (done - settledAfter);
        std::printf("live heap after operation %d: %+.2f KB per operation (target at most 2)\n", settledAfter,
                    perOperation);
    }
    for (const QString& box : boxes)
        std::printf("message box: %s\n", qPrintable(box));
    if (done < operations) {
        std::fprintf(stderr, "daybench: operation %d failed: %s\n", done + 1, qPrintable(day.failure()));
        return 1;
    }
    return 0;
}
