// The program ended in the middle of a diagnosis, while the card holds the
// test value: by SIGTERM, which it takes as a close of its window, by the end
// of its X server, and by SIGKILL, after which its next start tells and its
// next diagnosis puts the card's own value back; SIGKILL while the card takes
// a read's download date; SIGTERM in a box of start-up and as a diagnosis
// starts; and the records such a run leaves behind.

#include "tests/app/ProgramDriver.h"
#include "tests/readers/CardDump.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/VirtualCardProcess.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <ctime>

using namespace ProgramDriver;

namespace {

const QString number = QStringLiteral("RUD0000012345600");
const QString writing = QStringLiteral(
    ": Диагностирование карты RUD0000012345600: в EFCardDownload (EF 0x050E) записывается тестовое значение 0x");
const QString own = QStringLiteral("0x5E0BE100 / 1577836800, соответствует 01.01.2020 00:00:00");
const QString restored = QStringLiteral(
    ": Исходное значение 0x5E0BE100 / 1577836800, соответствует 01.01.2020 00:00:00 в EFCardDownload (EF 0x050E) "
    "карты RUD0000012345600 восстановлено.");

QString recordPath()
{
    return dataFolder() + QStringLiteral("/pending-restore.json");
}

// The program on `display` as the X11 tests run (DRVP_X11_<name>), its
// sanitizer reports going where this test's go.
QProcessEnvironment onXServer(const QString& display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys().filter(QRegularExpression("^DRVP_X11_"))) {
        const QString name = key.mid(9);
        const QStringList reports = env.value(name).split(':').filter(QRegularExpression("^log_path="));
        env.insert(name, (QStringList{env.value(key)} + reports).join(':'));
    }
    env.insert("DISPLAY", display);
    env.insert("QT_FORCE_STDERR_LOGGING", "1"); // Qt's word that the X server went
    return env;
}

// The program as main() runs it, with a diagnosis ("--diagnose") or a read
// ("--read") started on the card in the reader named.
int operateAsProgram(int argc, char** argv)
{
    Program::prepareEnvironment();
    QApplication app(argc, argv);
    int result = 1;
    const bool read = qstrcmp(argv[1], "--read") == 0;
    {
        Program program(new DRVPEventLogger);
        QWidget* window = &program.mainWindow();
        if (program.start() && selectCardReader(window, QString::fromLocal8Bit(argv[2]))
            && click(window, read ? "ReadCardsBtn" : "CheckingCardBtn")
            && type(window, read ? "ReadPINEdt" : "CheckingPinEdt", "1234\n"))
            result = app.exec();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}

} // namespace

class TestProgramEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The log names a download time in local time.
        qputenv("TZ", "UTC");
        tzset();
        QVERIFY(useHome(home));
    }

    void init()
    {
        clearStore();
        QDir(home.filePath("data")).removeRecursively();
        store()->setValue("CertCA", qEnvironmentVariable("DRVP_CERTS_DIR") + "/ca.pem");
    }

    void endDuringDiagnosis_data()
    {
        QTest::addColumn<int>("signal");
        // The signal goes to the program's own X server, and Qt ends the program with exit(1).
        QTest::addColumn<bool>("toXServer");
        QTest::newRow("SIGTERM while the test write waits for its answer") << int(SIGTERM) << false;
        QTest::newRow("SIGKILL once the card holds the test value") << int(SIGKILL) << false;
        QTest::newRow("end of the X server while the test write waits for its answer") << int(SIGTERM) << true;
    }

    void endDuringDiagnosis()
    {
        QFETCH(int, signal);
        QFETCH(bool, toXServer);
        QTemporaryDir dump;
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi", {"--patch", "050E:0:5E0BE100", "--pause", "--dump", dump.path()}));
        QProcess xServer;
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        if (toXServer) {
            xServer.setStandardErrorFile(QProcess::nullDevice());
            xServer.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
            QVERIFY(xServer.waitForReadyRead(30000));
            program.setProcessEnvironment(onXServer(":" + xServer.readLine().trimmed()));
            program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
            program.setReadChannel(QProcess::StandardError);
        }
        program.start(QCoreApplication::applicationFilePath(), {"--diagnose", card.name()});
        // Every command held in turn: the first one held with the line on disk is the test write.
        bool writeHeld = false;
        while (!writeHeld && card.waitUntilPaused()) {
            writeHeld = !logLines().filter(writing).isEmpty();
            if (!writeHeld || signal == SIGKILL) {
                card.pauseNextCommand();
                card.resume();
            }
        }
        QVERIFY(writeHeld);
        if (signal == SIGKILL)
            QVERIFY(card.waitUntilPaused()); // the read-back
        QCOMPARE(::kill(pid_t((toXServer ? xServer : program).processId()), signal), 0);
        QVERIFY(!toXServer || xServer.waitForFinished(30000));
        // The card answers once the program has begun to end.
        QByteArray said;
        while (toXServer && !said.contains("The X11 connection broke") && program.waitForReadyRead(30000))
            said += program.readAllStandardError();
        card.resume();
        QVERIFY(program.waitForFinished(30000));

        const QStringList log = logLines();
        QCOMPARE(log.filter(writing).filter(". Исходное значение: " + own + ".").size(), 1);
        if (signal == SIGTERM) {
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), toXServer ? 1 : 0);
            QCOMPARE(log.filter(restored).size(), 1);
            QCOMPARE(log.filter(" [Warr] - Дравек Про завершает работу по сигналу SIGTERM.").size(), toXServer ? 0 : 1);
            QVERIFY(log.last().endsWith(" [Info] - =x= Дравек Про закрыт =x="));
        } else {
            QFile record(recordPath());
            QVERIFY(record.open(QIODevice::ReadOnly));
            QVERIFY(record.readAll().contains("\"own\": \"5E0BE100\""));
            startAgainAndDiagnose(card);
        }
        QVERIFY(!QFile::exists(recordPath()));
        QVERIFY(card.remove());
        QCOMPARE(readCardDump(dump.path()).value(0x050E).toHex(), QByteArray("5e0be100"));
    }

    // SIGKILL while the card takes the download date of a read: no .ddd is
    // left, and the next start tells that the card counts itself downloaded
    // and names its old date.
    void killedWhileTheCardTakesTheDate()
    {
        QTemporaryDir dump, ddd;
        store()->setValue("dddPath", ddd.path());
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi", {"--patch", "050E:0:5E0BE100", "--pause", "--dump", dump.path()}));
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QCoreApplication::applicationFilePath(), {"--read", card.name()});
        const QString stamping = QStringLiteral(": Чтение карты RUD0000012345600: в EFCardDownload (EF 0x050E) "
                                                "записывается дата последней выгрузки 0x");
        // The first command held with the line on disk is the date's write.
        bool dateHeld = false;
        while (!dateHeld && card.waitUntilPaused()) {
            dateHeld = !logLines().filter(stamping).filter(". Прежняя дата: " + own + ".").isEmpty();
            if (!dateHeld) {
                card.pauseNextCommand();
                card.resume();
            }
        }
        QVERIFY(dateHeld);
        QCOMPARE(::kill(pid_t(program.processId()), SIGKILL), 0);
        QVERIFY(program.waitForFinished(30000));
        card.resume();
        QCOMPARE(QDir(ddd.path()).entryList({"*.ddd"}, QDir::Files | QDir::Hidden), QStringList());

        RunningProgram again;
        QVERIFY(again.started);
        const QStringList boxes = boxesAtSightOfTheCard(again);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().startsWith("Карта RUD0000012345600 считает себя выгруженной, но ddd-файл не "
                                          "сохранен.|Чтение карты было прервано: в EFCardDownload (EF 0x050E) записана "
                                          "дата последней выгрузки 0x"),
                 qPrintable(boxes.first()));
        QVERIFY2(boxes.first().endsWith(", а ddd-файл не сохранен. Прежняя дата: " + own
                                        + ". Диагностирование этой карты вернет прежнюю дату; новое чтение сохранит "
                                          "ddd-файл."),
                 qPrintable(boxes.first()));
        QTRY_VERIFY(again.logged(" [Warr] - " + card.name() + ": Дата последней выгрузки карты RUD0000012345600 "
                                 "установлена в 0x"));
        QVERIFY(again.logged(" чтением карты, которое не сохранило ddd-файл. Прежняя дата: " + own
                             + ". Диагностирование этой карты вернет прежнюю дату."));
        QVERIFY(card.remove());
        QVERIFY(readCardDump(dump.path()).value(0x050E).toHex() != QByteArray("5e0be100"));
    }

    void stopSignal_data()
    {
        QTest::addColumn<bool>("diagnose");
        QTest::addColumn<QString>("waitFor");
        QTest::addColumn<bool>("pipeAtLock");
        QTest::newRow("start-up box: no CA certificate") << false << "Файл с сертификатом не найден: " << false;
        QTest::newRow("a diagnosis starts, its PIN field fading")
            << true << ": Диагностирование карты " + number << false;
        QTest::newRow("a diagnosis meets a named pipe at the record's lock")
            << true << "pending-restore.json.lock не является обычным файлом программы" << true;
    }

    // SIGTERM ends the run at once; the harness fails the test on any sanitizer report of the program.
    void stopSignal()
    {
        QFETCH(bool, diagnose);
        QFETCH(QString, waitFor);
        QFETCH(bool, pipeAtLock);
        QVERIFY(!pipeAtLock || (QDir().mkpath(dataFolder()) && !makeFifo(recordPath() + ".lock").isEmpty()));
        VirtualCardProcess card(0);
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        if (diagnose) {
            QVERIFY(card.insert("driver-rfskzi"));
            program.start(QCoreApplication::applicationFilePath(), {"--diagnose", card.name()});
        } else {
            store()->remove("CertCA");
            program.start(DRVP_PROGRAM, QStringList());
        }
        QVERIFY(QTest::qWaitFor([&] { return !logLines().filter(waitFor).isEmpty(); }, 60000));
        QCOMPARE(::kill(pid_t(program.processId()), SIGTERM), 0);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QStringList log = logLines();
        QCOMPARE(log.filter(" [Warr] - Дравек Про завершает работу по сигналу SIGTERM.").size(), 1);
        // Start-up stops at its box: the key's status is never looked at.
        QCOMPARE(log.filter("не задан параметр закрытого ключа").size(), diagnose ? 1 : 0);
        QVERIFY(log.last().endsWith(" [Info] - =x= Дравек Про закрыт =x="));
    }

    void recordsAtStart_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("box"); // empty: none
        QTest::addColumn<bool>("kept");
        QTest::newRow("card downloaded since")
            << QByteArray(R"([{"card": "RUD0000012345600", "fid": "050E", "own": "5E0BE100", "test": "6B000000",
                              "time": "2026-12-07T21:01:20Z"}])")
            << "[Info] - " + VirtualCardProcess::readerName(0)
                   + ": На карте RUD0000012345600 в EFCardDownload (EF 0x050E) уже нет тестового значения "
                     "0x6B000000 / 1795162112, соответствует 20.11.2026 08:08:32: запись о восстановлении "
                     "исходного значения удалена."
            << QString() << false;
        QTest::newRow("damaged record")
            << QByteArray(R"([{"card": "RUD0000012345600", "fid": "050E")")
            << "[Warr] - " + VirtualCardProcess::readerName(0)
                   + ": Не удалось прочитать запись о восстановлении исходных значений <record>: запись повреждена. "
                     "Запись оставлена как есть; пока она не прочитана, тестовые значения и дата последней выгрузки "
                     "в карты не записываются."
            << "Не удалось прочитать запись о восстановлении исходных значений.|Файл <record>: запись повреждена. "
               "Он оставлен как есть: на картах, о которых он говорит, могут оставаться записанные значения. Пока "
               "запись не прочитана, тестовые значения и дата последней выгрузки в карты не записываются: тест "
               "записи при диагностировании не выполняется, чтение карты не сохраняет ddd-файл."
            << true;
    }

    void recordsAtStart()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, line);
        QFETCH(QString, box);
        QFETCH(bool, kept);
        QVERIFY(QDir().mkpath(dataFolder()));
        QFile file(recordPath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(record) == record.size());
        file.close();
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-rfskzi", {"--patch", "050E:0:5E0BE100"}));

        RunningProgram run;
        QVERIFY(run.started);
        int told = 0;
        QObject::connect(&run.program.readerManager(), &ReaderManager::showErrMsg, run.window, [&told] { ++told; });
        const QStringList shown = boxesShownBy([&] {
            QVERIFY(selectCardReader(run.window, card.name()));
            QTRY_VERIFY(run.logged(line.replace("<record>", recordPath()))
                        && told + run.boxesAtStart.size() == (box.isEmpty() ? 0 : 1));
        });
        QCOMPARE(run.boxesAtStart + shown,
                 box.isEmpty() ? QStringList() : QStringList(box.replace("<record>", recordPath())));
        QCOMPARE(QFile::exists(recordPath()), kept);
    }

private:
    // The boxes up to the first one the card's identification brings; none
    // when it brings none within a generous limit.
    static QStringList boxesAtSightOfTheCard(RunningProgram& run)
    {
        QStringList told;
        QObject::connect(&run.program.readerManager(), &ReaderManager::showErrMsg, run.window,
                         [&told](uchar, const QString& text) { told << text; });
        bool seen = false;
        const QStringList shown = boxesShownBy([&] {
            seen = QTest::qWaitFor([&] { return !told.isEmpty() || !run.boxesAtStart.isEmpty(); }, 30000);
        });
        return seen ? run.boxesAtStart + shown : QStringList();
    }

    // The box at the card's identification, then a diagnosis that puts the recorded own value back.
    void startAgainAndDiagnose(VirtualCardProcess& card)
    {
        RunningProgram again;
        QVERIFY(again.started);
        const QStringList boxes = boxesAtSightOfTheCard(again);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().startsWith("На карте RUD0000012345600 осталось тестовое значение в EFCardDownload "
                                          "(EF 0x050E).|Диагностирование карты было прервано: в EFCardDownload "
                                          "(EF 0x050E) записано тестовое значение 0x"),
                 qPrintable(boxes.first()));
        QVERIFY2(boxes.first().endsWith(" вместо исходного значения " + own
                                        + ". Диагностирование этой карты восстановит исходное значение."),
                 qPrintable(boxes.first()));

        QWidget* window = again.window;
        QVERIFY(selectCardReader(window, card.name()));
        QVERIFY(click(window, "CheckingCardBtn"));
        QVERIFY(type(window, "CheckingPinEdt", "1234\n"));
        QTRY_COMPARE_WITH_TIMEOUT(again.finished, QStringList{"check"}, 60000);
        QVERIFY(again.logged(restored));
    }

    QTemporaryDir home;
};

int main(int argc, char** argv)
{
    if (argc == 3 && (qstrcmp(argv[1], "--diagnose") == 0 || qstrcmp(argv[1], "--read") == 0))
        return operateAsProgram(argc, argv);
    QApplication app(argc, argv);
    TestProgramEnd test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program_end.moc"
