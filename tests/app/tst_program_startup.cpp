// Start-up and shut-down of the whole program as main() runs them: the
// first start on an empty settings store, a style sheet that is missing or
// broken, a log folder or settings that cannot be used, and shut-down in the
// middle of a card read.

#include "tests/app/ProgramDriver.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/FileNodes.h"
#include "tests/support/VirtualCardProcess.h"
#include "ui/app/CrossThreadTypes.h"
#include "ui/app/Program.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace ProgramDriver;

namespace {

struct Unregistered
{
};

// Signals as a queued connection sees them: one argument type it could not
// carry to another thread.
class Emitter : public QObject
{
    Q_OBJECT

signals:
    void carried(QString text, QByteArray bytes, uchar type, short counter, QStringList list);
    void dropped(QString text, Unregistered value);
};

} // namespace

class TestProgramStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(useHome(home));
    }

    void init()
    {
        clearStore();
        QDir(home.filePath("data")).removeRecursively();
    }

    void cleanup()
    {
        // A blocked settings file or folder.
        QDir(home.filePath("config/ВОРНТЕХ/Дравек Про.conf")).removeRecursively();
        QFile::remove(home.filePath("config/ВОРНТЕХ"));
        // A line edit's clear-button fade (160 ms) stops only on its next
        // tick once the window is gone, and deletes itself later; main()
        // never meets one still running, a test that closes at once does.
        QTest::qWait(200);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void firstStartWritesDefaults()
    {
        QStringList shown;
        {
            Program program(new DRVPEventLogger);
            bool started = false;
            shown = boxesShownBy([&] { started = program.start(); });
            QVERIFY(started);
            QVERIFY(program.mainWindow().isVisible());
            QVERIFY(!program.splashScreen().isVisible());
            QCOMPARE(QApplication::palette().color(QPalette::Inactive, QPalette::Link), QColor(46, 171, 226));
            // A line the worker queues just before the end, with no event handled since.
            QMetaObject::invokeMethod(
                &program.readerManager(), [&program] { emit program.readerManager().logginMessage(0, "конец"); },
                Qt::BlockingQueuedConnection);
            program.shutDown();
        }
        // No settings warning; only the missing default CA certificate is reported.
        QCOMPARE(shown, QStringList{QStringLiteral("Ошибка загрузки корневого сертификата УЦ.|"
                                                         "Файл с сертификатом не найден: %1/ca/ca.crt")
                                              .arg(QCoreApplication::applicationDirPath())});

        const auto settings = store();
        QCOMPARE(settings->allKeys().size(), 21);
        const QString data = dataFolder();
        const QList<QPair<QString, QString>> expected{
            {"AppDeveloper", "ВОРНТЕХ"},     {"AppDeveloperWeb", "https://vorntech.ru"},
            {"AppName", "Дравек Про"},        {"AppVersion", "3.1.1.0"},
            {"AppBuildDate", "07.06.2021"},  {"dddPath", data + "/downloads"},
            {"ExportPath", data + "/exports"}, {"CertUser", ""},
            {"PKeyUser", ""},                {"Server", "kvob.vorntech.ru"},
            {"Port", "1080"},                {"Timeout", "18000"},
            {"KvarnolServer", ""},           {"Protocol", "https"},
        };
        for (const auto& key : expected)
            QCOMPARE(settings->value(key.first).toString(), key.second);
        QVERIFY(QDir(data + "/downloads").exists());
        QVERIFY(QDir(data + "/exports").exists());

        const QStringList log = logLines();
        QVERIFY(!log.isEmpty());
        QVERIFY(log.first().endsWith(" [Info] - === Дравек Про запущен ==="));
        // The status refresh ran and stopped at the missing key.
        QVERIFY(log.filter("В настройках не задан параметр закрытого ключа пользователя.").size() == 1);
        QVERIFY(log.at(log.size() - 2).endsWith(" [Info] - конец"));
        QVERIFY(log.last().endsWith(" [Info] - =x= Дравек Про закрыт =x="));
    }

    void styleSheet_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QString>("applied");
        QTest::newRow("missing") << QByteArray() << QString();
        QTest::newRow("cut at the first NUL") << QByteArray("QLabel { color: #B2B2B2; }\0QLabel { color: red; }", 50)
                                              << QStringLiteral("QLabel { color: #B2B2B2; }");
        QTest::newRow("unparsable") << QByteArray("QMainWindow { background: #303030; ")
                                    << QStringLiteral("QMainWindow { background: #303030; ");
    }

    // A style sheet that cannot be read or parsed never stops start-up.
    void styleSheet()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, applied);
        QFile sheet(home.filePath("style.qss"));
        sheet.remove();
        if (!content.isNull()) {
            QVERIFY(sheet.open(QIODevice::WriteOnly));
            sheet.write(content);
            sheet.close();
        }

        Program program(new DRVPEventLogger);
        program.styleSheetPath = sheet.fileName();
        bool started = false;
        boxesShownBy([&] { started = program.start(); });
        QVERIFY(started);
        QCOMPARE(qApp->styleSheet(), applied);
        QVERIFY(program.mainWindow().isVisible());
    }

    void unusableLogFolder_data()
    {
        QTest::addColumn<bool>("folderIsFile");
        QTest::addColumn<QString>("told");
        const QString folder = home.filePath("data") + "/ВОРНТЕХ/Дравек Про";
        QTest::newRow("folder cannot be made")
            << true
            << QStringLiteral("В процессе создания рабочих папок возникла ошибка.|При создании папки \"%1\" возникла "
                              "ошибка. Журналирование событий невозможно.")
                   .arg(folder);
        QTest::newRow("log file cannot be opened")
            << false
            << QStringLiteral("Не удалось открыть на запись файл журнала событий: %1/dravekpro.log. Журналирование "
                              "событий невозможно.|")
                   .arg(folder);
    }

    void unusableLogFolder()
    {
        QFETCH(bool, folderIsFile);
        QFETCH(QString, told);
        if (folderIsFile) {
            QVERIFY(QDir().mkpath(home.filePath("data") + "/ВОРНТЕХ"));
            QFile plain(dataFolder());
            QVERIFY(plain.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(dataFolder() + "/dravekpro.log"));
        }

        Program program(new DRVPEventLogger);
        bool started = false;
        const QStringList shown = boxesShownBy([&] { started = program.start(); });
        QVERIFY(started);
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.first(), told);
        QVERIFY(program.mainWindow().isVisible());
    }

    // Neither settings that cannot be stored (root writes through file modes,
    // so something stands in the way) nor certificate files that would block
    // or never end stop start-up; each is told once, by name.
    void unusableSettings_data()
    {
        QTest::addColumn<QString>("blocked"); // "file", "folder", or none: certificates that cannot be read
        QTest::addColumn<QStringList>("told"); // texts of the boxes shown
        const QString failure = "В процессе сохранения настроек возникла ошибка.|Не удалось сохранить настройки в файл "
                                "\"<folder>/Дравек Про.conf\": ";
        const QString noCa = "Ошибка загрузки корневого сертификата УЦ.|Файл с сертификатом не найден: " +
                             QCoreApplication::applicationDirPath() + "/ca/ca.crt";
        const QString unreadable = "Не удалось прочитать файл сертификата: <files>/";
        // Not even tried: the program runs on its defaults.
        QTest::newRow("a folder in place of the settings file")
            << "file"
            << QStringList{"Файл настроек не может быть использован.|Не удалось прочитать настройки из файла "
                           "\"<folder>/Дравек Про.conf\": на месте файла находится папка. Программа работает с "
                           "настройками по умолчанию и до перезапуска не будет записывать их в этот файл.",
                           noCa};
        // Run as root, a write through the link would replace the device node.
        QTest::newRow("a link to a device in place of the settings file")
            << "device"
            << QStringList{"Файл настроек не может быть использован.|Не удалось прочитать настройки из файла "
                           "\"<folder>/Дравек Про.conf\": на месте файла находится устройство. Программа работает "
                           "с настройками по умолчанию и до перезапуска не будет записывать их в этот файл.",
                           noCa};
        QTest::newRow("a file in place of the settings folder")
            << "folder" << QStringList{failure + "на месте папки \"<folder>\" находится файл.", noCa};
        QTest::newRow("certificates: a FIFO and a large file")
            << QString()
            << QStringList{"Ошибка загрузки корневого сертификата УЦ.|" + unreadable +
                               "ca.fifo. 5 - Это не обычный файл (папка, канал или устройство)",
                           "Ошибка загрузки сертификата пользователя.|" + unreadable +
                               "big.pem. 1 - Размер файла больше 256 КБ"};
    }
    void unusableSettings()
    {
        QFETCH(QString, blocked);
        QFETCH(QStringList, told);
        const QString folder = home.filePath("config/ВОРНТЕХ");
        QTemporaryDir files;
        QDir(folder).removeRecursively();
        if (blocked == "file") {
            QVERIFY(QDir().mkpath(folder + "/Дравек Про.conf"));
        } else if (blocked == "device") {
            QVERIFY(makeDevice(files.filePath("null"), 1, 3) && QDir().mkpath(folder) &&
                    QFile::link(files.filePath("null"), folder + "/Дравек Про.conf"));
        } else if (blocked == "folder") {
            QVERIFY(QDir().mkpath(home.filePath("config")) && QFile(folder).open(QIODevice::WriteOnly));
        } else {
            store()->setValue("CertCA", makeFifo(files.filePath("ca.fifo")));
            store()->setValue("CertUser", makeOversized(files.filePath("big.pem"),
                                                        qEnvironmentVariable("DRVP_CERTS_DIR") + "/user.pem"));
        }
        for (QString& text : told)
            text.replace("<folder>", folder).replace("<files>", files.path());

        {
            Program program(new DRVPEventLogger);
            bool started = false;
            QCOMPARE(boxesShownBy([&] { started = program.start(); }), told);
            QVERIFY(started);
            QVERIFY(program.mainWindow().isVisible());
        }
        for (const QString& text : qAsConst(told))
            QCOMPARE(logLines().filter(" [Crit] - " + text.section('|', 1)).size(), 1);
        if (blocked == "device") {
            QCOMPARE(nodeAt(files.filePath("null")), QString("device 1:3"));
            QVERIFY(QFile::remove(folder + "/Дравек Про.conf"));
        }
    }

    void unqueueableSignalsAreFound()
    {
        QCOMPARE(unqueueableSignals(Emitter::staticMetaObject), QStringList{"Emitter::dropped: Unregistered"});
    }

    void shutDownDuringRead()
    {
        QTemporaryDir ddd;
        store()->setValue("dddPath", ddd.path());
        VirtualCardProcess card(0);
        // Slow answers keep the read going while the program shuts down.
        QVERIFY(card.insert("driver-rfskzi", {"--delay-ms", "40"}));

        Program program(new DRVPEventLogger);
        bool started = false;
        boxesShownBy([&] { started = program.start(); });
        QVERIFY(started);
        QWidget* window = &program.mainWindow();
        QVERIFY(selectCardReader(window, card.name()));
        QVERIFY(click(window, "ReadCardsBtn"));
        QVERIFY(type(window, "ReadPINEdt", "1234"));
        QVERIFY(click(window, "SubmitPINBtn"));
        QTRY_VERIFY_WITH_TIMEOUT(!logLines().filter(": Чтение карты ").isEmpty(), 30000);

        // The window refuses to close while the card is busy.
        bool closed = true;
        QCOMPARE(boxesShownBy([&] { closed = program.mainWindow().close(); }).size(), 1);
        QVERIFY(!closed);
        program.shutDown();
        QVERIFY(!program.readerManager().thread()->isRunning());

        const QStringList log = logLines();
        QVERIFY(log.last().endsWith(" [Info] - =x= Дравек Про закрыт =x="));
        QVERIFY(log.filter("Карта успешно считана").isEmpty());
        QCOMPARE(QDir(ddd.path()).entryList({"*.ddd"}, QDir::Files), QStringList());
    }

private:
    QTemporaryDir home;
};

QTEST_MAIN(TestProgramStartup)
#include "tst_program_startup.moc"
