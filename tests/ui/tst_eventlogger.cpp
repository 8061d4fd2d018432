#include "tests/support/BlockingFiles.h"
#include "tests/support/ModalBoxes.h"
#include "ui/services/DRVPEventLogger.h"

#include <QDir>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <thread>

#include <sys/resource.h>

namespace {

QString logPath()
{
    return QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation).value(0) + "/dravekpro.log";
}

// The file's lines; the last one is empty when every entry ends with CR LF.
QStringList entries()
{
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split("\r\n") : QStringList();
}

} // namespace

class TestEventLogger : public QObject
{
    Q_OBJECT

    QTemporaryDir dataHome;

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", dataHome.path().toUtf8()); }
    void init() // a folder of its own for every test and data row
    {
        QCoreApplication::setOrganizationName("tests");
        QCoreApplication::setApplicationName(QString(QTest::currentTestFunction()) + QTest::currentDataTag());
        QVERIFY(logPath().startsWith(dataHome.path()));
    }

    // The file holds every message as it came; the log view's copy shows
    // it as text, save for the program's links to its saved files.
    void entryAndHtmlCopy_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("html"); // the message in the copy
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("colour");
        const QString link = "R1 - сохранен: <a href=\"/d/a&b.ddd\">/d/a&b.ddd</a>";
        const QString scheme = "<a href=\"javascript:x()\">javascript:x()</a>";
        const struct { const char *name; int type; QString message, html; const char *level, *colour; } rows[] = {
            {"warning", 1, "two\nlines", "two\nlines", "Warr", "ECBC1D"},
            {"markup", 2, "<p>a & <img src=x></p>", "&lt;p&gt;a &amp; &lt;img src=x&gt;&lt;/p&gt;", "Crit", "FF7F7F"},
            {"bold advice", 2, "1 <b>a&b</b> <b><i>x</i></b>", "1 <b>a&amp;b</b> &lt;b&gt;&lt;i&gt;x&lt;/i&gt;&lt;/b&gt;",
             "Crit", "FF7F7F"},
            {"file link", 0, link, "R1 - сохранен: <a href=\"/d/a&amp;b.ddd\">/d/a&amp;b.ddd</a>", "Info", "92BD6C"},
            {"link text not its target", 0, "<a href=\"/x\">y</a>", "&lt;a href=&quot;/x&quot;&gt;y&lt;/a&gt;",
             "Info", "92BD6C"},
            {"link with a scheme", 0, scheme, scheme.toHtmlEscaped(), "Info", "92BD6C"},
            {"type 3", 3, "50%1 %2 %3", "50%1 %2 %3", "None", "ffffff"}};
        for (const auto &row : rows)
            QTest::newRow(row.name) << row.type << row.message << row.html << row.level << row.colour;
    }
    void entryAndHtmlCopy()
    {
        QFETCH(int, type);
        QFETCH(QString, message);
        QFETCH(QString, html);
        QFETCH(QString, level);
        QFETCH(QString, colour);
        DRVPEventLogger logger;
        logger.openLog();
        QSignalSpy copies(&logger, &DRVPEventLogger::newLogMessage);
        logger.on_logginMessage(quint8(type), message);

        const QString entry = entries().mid(1).join("\r\n").chopped(2);
        const QDateTime stamp = QDateTime::fromString(entry.left(19), "dd.MM.yyyy hh:mm:ss");
        const qint64 age = stamp.secsTo(QDateTime::currentDateTime());
        QVERIFY2(age >= 0 && age < 60, qPrintable(entry)); // the local time of writing
        QCOMPARE(entry.mid(19), QString(" [%1] - ").arg(level) + message);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(copies.at(0).at(0).toString(),
                 QString("<span style=\"color:#%1;\">%2</span>").arg(colour, entry.left(19 + level.size() + 6) + html));
    }

    void runsAppendAndNothingIsWrittenOutsideThem()
    {
        const QString opening = "=== Дравек Про запущен ===", closing = "=x= Дравек Про закрыт =x=";
        QCoreApplication::setOrganizationName("fresh"); // whose folder does not exist yet
        for (const QString run : {"first run", "second run"}) {
            DRVPEventLogger logger;
            QSignalSpy html(&logger, &DRVPEventLogger::newLogMessage);
            logger.on_logginMessage(1, "too early");
            QCOMPARE(QFile::exists(logPath()), run == "second run");
            logger.openLog();
            logger.on_logginMessage(0, run);
            logger.closeLog();
            logger.on_logginMessage(2, "too late");
            QCOMPARE(html.size(), 5);
            QVERIFY(html.at(1).at(0).toString().endsWith(opening + "</span>"));
        }
        QStringList messages;
        for (const QString& entry : entries())
            messages << entry.section(" [Info] - ", 1);
        QCOMPARE(messages, QStringList({opening, "first run", closing, opening, "second run", closing, ""}));
    }

    // A folder, or a named pipe (which nothing reads), where the log file
    // should be: the user is told at once, every line still reaches the log
    // view, and a synced line is refused (start-up tests tell a blocked
    // folder).
    void failureIsShown_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::newRow("folder") << "folder";
        QTest::newRow("named pipe") << "pipe";
        QTest::newRow("link to a named pipe") << "link";
    }

    void failureIsShown()
    {
        QFETCH(QString, blocker);
        QVERIFY(QDir().mkpath(QFileInfo(logPath()).path()));
        if (blocker == "folder")
            QVERIFY(QDir().mkpath(logPath()));
        else if (blocker == "pipe")
            QVERIFY(!makeFifo(logPath()).isEmpty());
        else
            QVERIFY(!makeFifo(logPath() + ".pipe").isEmpty() && QFile::link(logPath() + ".pipe", logPath()));
        const QString box = "Не удалось открыть на запись файл журнала событий: " + logPath()
                            + ". Журналирование событий невозможно.";
        DRVPEventLogger logger;
        QSignalSpy html(&logger, &DRVPEventLogger::newLogMessage);
        QCOMPARE(boxesShownBy([&] { logger.openLog(); }), QStringList(box + "|"));
        logger.on_logginMessage(0, "still shown");
        QVERIFY(!logger.writeNow(0, "not kept"));
        logger.closeLog();
        QCOMPARE(html.size(), 4);
        QVERIFY(html.at(0).at(0).toString().endsWith("[Crit] - " + box + "</span>"));
        QVERIFY(!QFileInfo(logPath()).isFile());
    }

    // The file removed, or another put in its place, while the program runs:
    // a synced line is on disk only in the file at the log's path, after a
    // line that says what became of the old one; with no file to be had
    // there, the line is not said to be on disk.
    void syncedLineGoesToThePath_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("lines"); // in the file at the path afterwards; %1 the path
        const QString continued = "[Warr] - Файл журнала событий %1 был %2 во время работы программы: журнал продолжен";
        const QString removed = continued.arg("%1", "удален") + " в новом файле.";
        const QString replaced = continued.arg("%1", "заменен другим файлом") + " в нем.";
        QTest::newRow("removed") << "removed" << QStringList{removed, "[Info] - synced", ""};
        QTest::newRow("replaced") << "replaced" << QStringList{"another file", replaced, "[Info] - synced", ""};
        QTest::newRow("replaced by a folder") << "folder" << QStringList();
    }

    void syncedLineGoesToThePath()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, lines);
        DRVPEventLogger logger;
        logger.openLog();
        QFile other(logPath());
        QVERIFY(other.remove());
        QVERIFY(change != "replaced" || (other.open(QIODevice::WriteOnly) && other.write("another file\r\n") == 14));
        QVERIFY(change != "folder" || QDir().mkpath(logPath()));
        other.close();
        QCOMPARE(logger.writeNow(0, "synced"), change != "folder");
        QCOMPARE(entries().replaceInStrings(QRegularExpression(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d )"), ""),
                 lines.replaceInStrings("%1", logPath()));
    }

    // Card writes wait for their lines in several threads while the window
    // logs: every line whole, each thread's lines in their order.
    void syncedLinesOfSeveralThreads()
    {
        DRVPEventLogger logger;
        logger.openLog();
        std::atomic<int> refused{0};
        const auto cardWrites = [&](const char* name) {
            for (int n = 0; n < 40; ++n)
                refused += !logger.writeNow(1, QString("%1 %2").arg(name).arg(n));
        };
        std::thread a(cardWrites, "A"), b(cardWrites, "B"), c(cardWrites, "C");
        for (int n = 0; n < 40; ++n)
            logger.on_logginMessage(0, QString("GUI %1").arg(n));
        for (std::thread* worker : {&a, &b, &c})
            worker->join();
        QCOMPARE(refused.load(), 0);
        QMap<QString, int> next;
        const QRegularExpression line(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d \[(Info|Warr)\] - (\w+) (\d+)$)");
        for (const QString& entry : entries().mid(1, 160)) {
            const QRegularExpressionMatch match = line.match(entry);
            QVERIFY2(match.hasMatch(), qPrintable(entry));
            QCOMPARE(match.captured(3).toInt(), next[match.captured(2)]++);
        }
        QCOMPARE(next, (QMap<QString, int>{{"A", 40}, {"B", 40}, {"C", 40}, {"GUI", 40}}));
    }

    // True only once its line is in the file: not before openLog, nor after
    // closeLog, nor on a full disk, which must not lose the lines after it.
    void writeNowIsTrueOnlyWithItsLineInTheFile()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        DRVPEventLogger logger;
        QVERIFY(!logger.writeNow(0, "too early"));
        logger.openLog();
        rlimit room = {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &room) == 0);
        const rlimit full = {rlim_t(QFileInfo(logPath()).size() + 10), room.rlim_max};
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &full) == 0);
        const bool refused = logger.writeNow(0, "longer than the room left");
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &room) == 0);
        QVERIFY(!refused && logger.writeNow(0, "room again"));
        logger.closeLog();
        QVERIFY(!logger.writeNow(0, "too late"));
        QCOMPARE(entries().replaceInStrings(QRegularExpression(R"(^.{19} \[Info\] - )"), ""),
                 QStringList({"=== Дравек Про запущен ===", "longer than the room left", "room again",
                              "=x= Дравек Про закрыт =x=", ""}));
    }
};

QTEST_MAIN(TestEventLogger)
#include "tst_eventlogger.moc"
