#include "config/Config.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/FileNodes.h"
#include "tests/support/RealLog.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QStringList everyKey = {
    "AppBuildDate", "AppDeveloper", "AppDeveloperEmail", "AppDeveloperTechsupport", "AppDeveloperWeb", "AppName",
    "AppVersion", "CertCA", "CertUser", "ExportPath", "KvarnolLogin", "KvarnolServer", "LotvarskLogin",
    "LotvarskServer", "PKeyUser", "Port", "ProductPath", "Protocol", "Server", "Timeout", "dddPath"};
const QString useDefault = "\nУстановлено значение по умолчанию.";
const QString badKey = "Некорректный пароль закрытого ключа, или файл не содержит закрытый ключ.";
const QString notRegular = ". 5 - Это не обычный файл (папка, канал или устройство)";

// The settings file where the program finds it, read as it reads it.
QString settingsFile() { return qEnvironmentVariable("XDG_CONFIG_HOME") + "/ВОРНТЕХ/Дравек Про.conf"; }
std::unique_ptr<QSettings> fileStore()
{
    auto store = std::make_unique<QSettings>(settingsFile(), QSettings::IniFormat);
    store->setIniCodec("UTF-8");
    return store;
}
QStringList storedKeys()
{
    QStringList keys = fileStore()->allKeys();
    keys.sort();
    return keys;
}
QString stored(const QString &key) { return fileStore()->value(key).toString(); }
QString certFile(const QString &name) { return QDir(qEnvironmentVariable("DRVP_CERTS_DIR")).filePath(name); }
QString joined(const QVariantList &arguments) { return arguments.at(0).toString() + "|" + arguments.at(1).toString(); }
QString noCaFile()
{
    return "Ошибка загрузки корневого сертификата УЦ.|Файл с сертификатом не найден: " +
           QCoreApplication::applicationDirPath() + "/ca/ca.crt";
}

// The settings file as a user writes it in an editor.
bool writeByHand(const QByteArray &lines)
{
    QFile file(settingsFile());
    return QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly) &&
           file.write("[General]\n" + lines) == lines.size() + 10;
}
QStringList boxesOfLoad(Config &config)
{
    QSignalSpy told(&config, &Config::warningMessage);
    config.load();
    QStringList texts;
    for (const QVariantList &box : told)
        texts << joined(box);
    return texts;
}
QByteArray fileText()
{
    QFile file(settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

// A store as an earlier run leaves it, then changed by hand; then a run with it.
void loadStore(Config &config, const QMap<QString, QString> &changes, const QString &removed = QString())
{
    config.setDefaults();
    config.save(QStringList());
    {
        const auto store = fileStore();
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            store->setValue(it.key(), it.value());
        if (!removed.isEmpty()) // an empty key would remove every key
            store->remove(removed);
    }
    config.load();
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString dataFolder() const { return m_dir->filePath("data/ВОРНТЕХ/Дравек Про"); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(certFile("user-rsa.pem")), "no test certificates");
        QCoreApplication::setOrganizationName("ВОРНТЕХ");
        QCoreApplication::setApplicationName("Дравек Про");
        QCoreApplication::setApplicationVersion("3.1.1.0");
        RealLog::open(); // before init() moves the data folder
    }
    void init() // an empty settings store and data folder of its own for every test and row
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath("data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->filePath("config")));
    }

    void firstStartWritesEveryKey()
    {
        Config config;
        config.setDefaults();
        QSignalSpy warnings(&config, &Config::warningMessage);
        QSignalSpy log(&config, &Config::loggingMessage);
        config.load();
        QCOMPARE(storedKeys(), everyKey);
        QCOMPARE(stored("AppName") + stored("dddPath"), "Дравек Про" + dataFolder() + "/downloads");
        QVERIFY(QDir(dataFolder() + "/downloads").exists() && QDir(dataFolder() + "/exports").exists());
        // The default CA file beside the program is absent here: reported and logged. An unset
        // user certificate is only a warning line.
        QCOMPARE(warnings.count(), 1);
        QCOMPARE(joined(warnings.at(0)), "Ошибка загрузки корневого сертификата УЦ.|Файл с сертификатом не найден: " +
                                             QCoreApplication::applicationDirPath() + "/ca/ca.crt");
        QCOMPARE(log, QList<QVariantList>({{uchar(2), warnings.at(0).at(1)},
                                           {uchar(1), "В настройках не задан параметр SSL-сертификата: CertUser."}}));

        // Saving the changed keys writes those alone, skips unknown ones, and empties the list.
        config.unblockServer["Port"] = "4443";
        config.services["Protocol"] = "http";
        config.changedKeys = QStringList{"Port", "NoSuchKey"};
        config.save(config.changedKeys);
        QVERIFY(config.changedKeys.isEmpty());
        QCOMPARE(storedKeys(), everyKey);
        QCOMPARE(stored("Port") + stored("Protocol"), QString("4443https"));
    }

    void validators_data()
    {
        QTest::addColumn<QString>("kind"); // "service": a host that goes into a URL
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        const struct { const char *kind, *text; bool valid; } rows[] = {
            {"port", "65535", true}, {"port", "65536", false}, {"port", "1080\n", false},
            {"timeout", "100", true}, {"timeout", "60000", true}, {"timeout", "099", false},
            {"timeout", "60001", false}, {"server", "my-host.example.com", true}, {"server", "255.255.255.255", true},
            {"server", "10.256.1.1", false}, {"server", "xn--80ak6aa92e.xn--p1ai", true},
            {"server", "lotvarsk.digital", true}, {"server", "Srv.Kvarnol.network", true}, {"server", "kvob", true},
            {"server", "a-.ru", false}, {"server", "-a.ru", false}, {"server", "1.2.3", false},
            {"server", "1.2.3.4.5", false}, {"server", "host.ru:8443", false}, {"service", "host.ru:8443", true},
            {"service", "10.0.0.2:65535", true}, {"service", "host.ru:0", false}, {"service", "host.ru:65536", false},
            {"service", "host.ru:", false},
            // Anchoring: the upload login and password are sent to this host.
            {"service", "x.ru@evil.com", false}, {"service", "evil 1.2.3.4", false}, {"service", "1.2.3.4 evil", false},
            {"service", "good.ru/evil", false}, {"service", "good.ru\n", false}, {"service", "a.ru:80:90", false}};
        for (const auto &row : rows)
            QTest::newRow(qPrintable(QString("%1 %2").arg(row.kind, row.text))) << row.kind << row.text << row.valid;
        // The system's limit is in bytes, and a line break or any other control character could forge a log line.
        QTest::newRow("path of 4095 bytes") << "path" << "/" + QString(4094, 'a') << true;
        QTest::newRow("path of 4096 bytes") << "path" << "/" + QString(4095, 'a') << false;
        QTest::newRow("path of 2048 letters in 4096 bytes") << "path" << QString(2048, QChar(0x0436)) << false;
        QTest::newRow("login in Russian") << "login" << "иванов@почта.рф" << true;
        QTest::newRow("login with a line feed") << "login" << "a@b.ru\n" << false;
        const QString label = QString(63, 'a') + ".";
        QTest::newRow("longest label and name") << "server" << label + label + label + QString(61, 'b') << true;
        QTest::newRow("label too long") << "server" << "a" + label + "ru" << false;
        QTest::newRow("name too long") << "server" << label + label + label + QString(62, 'b') << false;
    }
    void validators()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        Config config;
        config.lastError = "stale";
        const QHash<QString, std::function<bool(const QString &)>> checks{
            {"port", [&](const QString &t) { return config.validatePort(t); }},
            {"timeout", [&](const QString &t) { return config.validateTimeout(t); }},
            {"path", [&](const QString &t) { return config.validatePath(t); }},
            {"login", [&](const QString &t) { return config.validateLogin(t); }},
            {"server", [&](const QString &t) { return config.validateServer(t); }},
            {"service", [&](const QString &t) { return config.validateServer(t, true); }}};
        QCOMPARE(checks.value(kind)(text), valid);
        QCOMPARE(config.lastError.isEmpty(), valid);
    }

    void storedValuesAreRepaired_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("fallback");
        QTest::addColumn<QString>("warning");
        const QString host = "Указан некорректный адрес сервера.|Адрес сервера содержит ошибку. Адрес должен содержать "
                             "доменное имя сервера (например: kvob.vorntech.ru) или IP-адрес (например: "
                             "192.168.10.25)." + useDefault;
        QTest::newRow("port") << "Port" << "70000" << "1080"
                              << "Указан некорректный порт сервера.|Порт сервера разблокировки содержит ошибку. "
                                 "Значение данного параметра должно быть в пределах от 0 до 65535." + useDefault;
        QTest::newRow("timeout") << "Timeout" << "099" << "18000"
                                 << "Указано некорректное время ожидания.|Временная задержка ожидания отклика сервера "
                                    "разблокировки содержит ошибку. Значение временной задержки ожидания отклика "
                                    "сервера разблокировки должно быть в пределах от 100 до 60000." + useDefault;
        QTest::newRow("server with port") << "Server" << "kvob.ru:1080" << "kvob.vorntech.ru" << host;
        QTest::newRow("service hostile") << "KvarnolServer" << "evil 1.2.3.4" << "" << host;
        QTest::newRow("protocol") << "Protocol" << "HTTPS" << "https"
                                  << "Поддерживаются только протоколы https и http.|" + useDefault.mid(1);
        // A folder that would be made, and written raw into the log by every .ddd save.
        QTest::newRow("path with a line break")
            << "dddPath" << "<home>/ddd\r\n01.01.2021 00:00:00 [Info] - forged"
            << "<home>/data/ВОРНТЕХ/Дравек Про/downloads"
            << "Указан некорректный путь.|Путь не должен содержать управляющих символов." + useDefault;
    }
    void storedValuesAreRepaired()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, fallback);
        QFETCH(QString, warning);
        value.replace("<home>", m_dir->path());
        fallback.replace("<home>", m_dir->path());
        // Good values beside the bad one survive, as does a stored work folder that cannot be made
        // (a file is in its way); an empty one takes its default, which is still made after the
        // failure. The program's own description follows the running program, silently.
        const QString blocked = m_dir->filePath("blocker/exports");
        QFile blocker(m_dir->filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QMap<QString, QString> changes{{"LotvarskServer", "lotvarsk.digital:8069"}, {"Protocol", "http"},
                                       {"KvarnolServer", "xn--80ak6aa92e.xn--p1ai"}, {"ExportPath", blocked},
                                       {"dddPath", ""}, {"AppVersion", "3.0.0.0"}};
        changes.insert(key, value);
        Config config;
        QSignalSpy warnings(&config, &Config::warningMessage);
        loadStore(config, changes);

        QCOMPARE(warnings.count(), 3); // the value, the folder, the absent default CA file
        QCOMPARE(joined(warnings.at(0)), warning);
        QCOMPARE(joined(warnings.at(1)), "В процессе создания рабочих папок возникла ошибка.|При создании папки \"" +
                                             blocked + "\" возникла ошибка. Перед началом работы внесите изменения в "
                                                       "настройки.");
        QCOMPARE(config.unblockServer.value(key, config.services.value(key, config.path(key))), fallback);
        QCOMPARE(stored(key), fallback);
        QCOMPARE(stored("LotvarskServer"), QString("lotvarsk.digital:8069"));
        if (key != "KvarnolServer")
            QCOMPARE(config.services.value("KvarnolServer"), QString("xn--80ak6aa92e.xn--p1ai"));
        QCOMPARE(config.services.value("Protocol"), key == "Protocol" ? fallback : QString("http"));
        QCOMPARE(config.path("ExportPath"), blocked);
        QCOMPARE(stored("dddPath"), dataFolder() + "/downloads");
        QVERIFY(QDir(dataFolder() + "/downloads").exists());
        QCOMPARE(stored("AppVersion"), QString("3.1.1.0"));
        QVERIFY(!QFileInfo::exists(value));
    }

    void foreignKeySetIsRewritten_data()
    {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QString>("missing");
        QTest::newRow("stale key") << "OldServer" << "";
        QTest::newRow("missing key") << "" << "Timeout";
        QTest::newRow("key in a group") << "unblock/Server" << "";
    }
    void foreignKeySetIsRewritten()
    {
        QFETCH(QString, extra);
        QFETCH(QString, missing);
        QMap<QString, QString> changes{{"Port", "2000"}, {"Protocol", "ftp"}};
        if (!extra.isEmpty())
            changes.insert(extra, "x.ru");
        Config config;
        loadStore(config, changes, missing);
        QCOMPARE(storedKeys(), everyKey);
        QCOMPARE(stored("Port") + stored("Protocol") + stored("Timeout"), QString("2000https18000"));
    }

    // Values as a user writes them into the file: read as UTF-8, as are the
    // \x escapes earlier versions wrote, and written back as UTF-8; paths
    // too long for the system and logins with control characters are
    // refused; a box shows only the start of a long stored path.
    void handWrittenValues_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("held");
        QTest::addColumn<QStringList>("warnings"); // "<shown>": what a box shows of `held`
        const QString rejected = "\nУстановлено значение по умолчанию.";
        QTest::newRow("Russian folder") << QByteArray("dddPath=<home>/Загрузки") << "dddPath" << "<home>/Загрузки"
                                        << QStringList();
        QTest::newRow("accented folder") << QByteArray("ExportPath=<home>/café") << "ExportPath" << "<home>/café"
                                         << QStringList();
        QTest::newRow("folder beyond the BMP") << QByteArray("dddPath=<home>/\xF0\x9F\x93\x81 карты") << "dddPath"
                                               << "<home>/📁 карты" << QStringList();
        QTest::newRow("escapes of an earlier version")
            << QByteArray("dddPath=<home>/\\x417\\x430\\x433\\x440\\x443\\x437\\x43a\\x438") << "dddPath"
            << "<home>/Загрузки" << QStringList();
        QTest::newRow("escaped pair of an earlier version") << QByteArray("ExportPath=<home>/\\xd83d\\xdcc1")
                                                            << "ExportPath" << "<home>/📁" << QStringList();
        QTest::newRow("path of 10 MB") << "CertUser=/" + QByteArray(10 * 1024 * 1024, 'a') << "CertUser" << ""
                                       << QStringList("Указан некорректный путь.|Путь не должен быть длиннее 4095 "
                                                      "байт." + rejected);
        QTest::newRow("login with a line break")
            << QByteArray("KvarnolLogin=driver\\r\\n01.01.2021 00:00:00 [Info] - forged") << "KvarnolLogin" << ""
            << QStringList("Указан некорректный логин.|Логин не должен содержать управляющих символов." + rejected);
        const QString deep = "/nowhere/" + QString(400, 'd') + "/user.pem";
        QTest::newRow("certificate path too long to show") << "CertUser=" + deep.toUtf8() << "CertUser" << deep
            << QStringList("Ошибка загрузки сертификата пользователя.|Файл с сертификатом не найден: <shown>");
        QTest::newRow("folder too long to show")
            << "ExportPath=<home>/blocker/" + QByteArray(400, 'x') << "ExportPath"
            << "<home>/blocker/" + QString(400, 'x')
            << QStringList("В процессе создания рабочих папок возникла ошибка.|При создании папки \"<shown>\" "
                           "возникла ошибка. Перед началом работы внесите изменения в настройки.");
    }
    void handWrittenValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, key);
        QFETCH(QString, held);
        QFETCH(QStringList, warnings);
        line.replace("<home>", m_dir->path().toUtf8());
        held.replace("<home>", m_dir->path());
        // Boxes show a stored path whole up to 260 characters, else its start and its length.
        const QString shown =
            held.size() <= 260 ? held : held.left(260) + QString("… (всего символов: %1)").arg(held.size());
        for (QString &warning : warnings)
            warning.replace("<shown>", shown);
        QFile blocker(m_dir->filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QVERIFY(writeByHand("CertCA=" + certFile("ca.pem").toUtf8() + "\n" + line + "\n"));

        const auto heldBy = [&key](const Config &config) {
            return config.auth.value(key, config.services.value(key, config.path(key)));
        };
        Config config;
        config.setDefaults();
        QCOMPARE(boxesOfLoad(config), warnings);
        QCOMPARE(heldBy(config), held);
        if (key.endsWith("Path") && !held.contains("blocker"))
            QVERIFY(QDir(held).exists()); // by its right name

        // The file, rewritten whole for its missing keys, holds the value as UTF-8 and reads back the same.
        QVERIFY(fileText().contains("\n" + key.toUtf8() + "=" + held.toUtf8() + "\n"));
        Config again;
        again.setDefaults();
        // A refused value is gone from the file; a path that could not be used is told again.
        QCOMPARE(boxesOfLoad(again), warnings.filter(QRegularExpression("^(?!Указан)")));
        QCOMPARE(heldBy(again), held);
    }

    // A value typed in another encoding is refused: a box names the setting, the default is used, and
    // the file keeps the user's bytes, never U+FFFD, through the saves of other keys until its own.
    void valuesNotInUtf8_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("fallback");
        QTest::newRow("Windows-1251 path") << "dddPath" << QByteArray("<home>/\xC7\xE0\xE3\xF0\xF3\xE7\xEA\xE8")
                                           << "Путь к ddd файлам" << "<home>/data/ВОРНТЕХ/Дравек Про/downloads";
        QTest::newRow("Latin-1 path") << "ExportPath" << QByteArray("<home>/caf\xE9") << "Путь экспорта"
                                      << "<home>/data/ВОРНТЕХ/Дравек Про/exports";
        QTest::newRow("Windows-1251 login") << "KvarnolLogin" << QByteArray("\xE8\xE2\xE0\xED\xEE\xE2@mail.ru")
                                            << "Логин пользователя Кварноля (адрес электронной почты)" << "";
    }
    void valuesNotInUtf8()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, value);
        QFETCH(QString, setting);
        QFETCH(QString, fallback);
        value.replace("<home>", m_dir->path().toUtf8());
        fallback.replace("<home>", m_dir->path());
        const QByteArray line = "\n" + key.toUtf8() + "=" + value + "\n";
        QVERIFY(writeByHand("CertCA=" + certFile("ca.pem").toUtf8() + line));
        Config config;
        config.setDefaults();
        QSignalSpy log(&config, &Config::loggingMessage);
        QCOMPARE(boxesOfLoad(config), QStringList("Значение параметра \"" + setting + "\" записано не в кодировке "
            "UTF-8.|Параметр " + key + " в файле настроек \"" + settingsFile() + "\" содержит текст не в кодировке "
            "UTF-8 (например, в кодировке Windows-1251). Значение остаётся в файле, пока параметр не будет изменён в "
            "настройках программы; чтобы программа его использовала, сохраните файл в кодировке UTF-8." + useDefault));
        QCOMPARE(log.first(), QVariantList({uchar(1), "Значение параметра " + key + " в файле настроек записано не в "
                                                      "кодировке UTF-8. Установлено значение по умолчанию."}));
        QCOMPARE(config.path(key) + config.services.value(key), fallback);
        const QStringList made = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QCOMPARE(made, QStringList({"config", "data"})); // no folder by a mangled name

        // The file was rewritten whole for its missing keys; then another key is saved.
        config.unblockServer["Port"] = "4443";
        QVERIFY(config.save({"Port"}));
        QVERIFY(fileText().contains(line) && !fileText().contains("\xEF\xBF\xBD"));
        // Once the user sets the key, it is written as the program holds it, by every later save too.
        QVERIFY(config.save({key}) && config.save(QStringList()));
        QVERIFY(fileText().contains("\n" + key.toUtf8() + "=" + fallback.toUtf8() + "\n"));
        Config again;
        again.setDefaults();
        QCOMPARE(boxesOfLoad(again), QStringList());
    }

    // A settings file that is a device, a pipe, or a lock file of the store
    // that would hold its writes for good, is neither read nor written: the
    // program says so, runs on its defaults, and leaves it as it was. Found
    // at start, the file is not written for the rest of the run.
    void settingsFileThatIsNoFile_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("atStart"); // else made after a good start, before a save
        QTest::addColumn<QString>("made"); // relative to the test's folder
        QTest::addColumn<QString>("node"); // what stands there at the end
        QTest::addColumn<QString>("reason");
        const QString file = "config/ВОРНТЕХ/Дравек Про.conf", lock = file + ".lock";
        const QString device = "на месте файла находится устройство", pipe = "на месте файла находится канал";
        QTest::newRow("link to a device at start") << "device" << true << "zero" << "device 1:5" << device;
        QTest::newRow("pipe at start") << "pipe" << true << file << "pipe" << pipe;
        QTest::newRow("lock file a pipe at start") << "lock pipe" << true << lock << "pipe"
            << "на месте файла блокировки \"<home>/" + lock + "\" находится канал";
        QTest::newRow("lock file a link to nothing at start") << "lock link" << true << lock << "link to <home>/gone"
            << "на месте файла блокировки \"<home>/" + lock + "\" находится символьная ссылка";
        QTest::newRow("link to a device since start") << "device" << false << "zero" << "device 1:5" << device;
        QTest::newRow("pipe since start") << "pipe" << false << file << "pipe" << pipe;
    }
    void settingsFileThatIsNoFile()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, atStart);
        QFETCH(QString, made);
        QFETCH(QString, node);
        QFETCH(QString, reason);
        node.replace("<home>", m_dir->path());
        reason.replace("<home>", m_dir->path());
        const QString file = settingsFile();
        QVERIFY(writeByHand("Port=4443\n"));
        Config config;
        config.setDefaults();
        if (!atStart) {
            config.load();
            QCOMPARE(config.unblockServer.value("Port"), QString("4443"));
        }
        if (obstacle == "device")
            QVERIFY(makeDevice(m_dir->filePath("zero"), 1, 5) && QFile::remove(file) &&
                    QFile::link(m_dir->filePath("zero"), file));
        else if (obstacle == "pipe")
            QVERIFY(QFile::remove(file) && !makeFifo(file).isEmpty());
        else if (obstacle == "lock pipe")
            QVERIFY(!makeFifo(file + ".lock").isEmpty());
        else
            QVERIFY(QFile::link(m_dir->filePath("gone"), file + ".lock"));

        QSignalSpy told(&config, &Config::warningMessage);
        if (atStart) {
            config.load();
            QCOMPARE(joined(told.takeFirst()), "Файл настроек не может быть использован.|Не удалось прочитать "
                                               "настройки из файла \"" + file + "\": " + reason + ". Программа "
                                               "работает с настройками по умолчанию и до перезапуска не будет "
                                               "записывать их в этот файл.");
            QCOMPARE(joined(told.takeFirst()), noCaFile());
            QCOMPARE(config.unblockServer.value("Port"), QString("1080"));
        }
        config.unblockServer["Port"] = "5555";
        config.changedKeys = QStringList{"Port"};
        QVERIFY(!config.save(config.changedKeys));
        QCOMPARE(config.changedKeys, QStringList{"Port"});
        QCOMPARE(told.count(), 1);
        QCOMPARE(joined(told.at(0)), "В процессе сохранения настроек возникла ошибка.|Не удалось сохранить настройки в "
                                     "файл \"" + file + "\": " +
                                         (atStart ? "файл настроек не используется до перезапуска программы" : reason) +
                                         ".");
        QCOMPARE(nodeAt(m_dir->filePath(made)), node);
        // Once the way is clear again, saves go on, unless the start found it blocked.
        QVERIFY(QFile::remove(m_dir->filePath(made)));
        QCOMPARE(config.save(config.changedKeys), !atStart);
    }

    void certificates_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        const QString missing = certFile("no-such.pem"), notPem = certFile("notpem.txt");
        QTest::newRow("missing") << missing << "Файл с сертификатом не найден: " + missing;
        QTest::newRow("not pem") << notPem << "Файл не соджержит сертификата: " + notPem;
        // Refused unread: it would never end.
        QTest::newRow("device") << "/dev/zero" << "Не удалось прочитать файл сертификата: /dev/zero" + notRegular;
    }
    void certificates()
    {
        QFETCH(QString, path);
        QFETCH(QString, error);
        Config config;
        config.setDefaults();
        QSignalSpy changed(&config, &Config::userCertChanged);
        config.auth["CertCA"] = certFile("ca.pem");
        config.auth["CertUser"] = certFile("user.pem");
        QVERIFY(config.loadCertificate("CertCA") && config.loadCertificate("CertUser"));
        QCOMPARE(config.caCert.subjectInfo(QSslCertificate::CommonName) + config.userCert.subjectInfo(
                     QSslCertificate::CommonName), QStringList({"Test CA", "Иванов Иван Иванович"}));
        // A failure keeps the certificate loaded before.
        const QSslCertificate loaded = config.userCert;
        config.auth["CertUser"] = path;
        QVERIFY(!config.loadCertificate("CertUser"));
        QCOMPARE(config.lastError, error);
        QCOMPARE(config.userCert, loaded);
        QCOMPARE(changed.count(), 1);
    }

    void privateKey_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("passPhrase");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("error");
        const QString pkcs8 = certFile("user-pkcs8.pem"), rsa = certFile("user-rsa.pem"), missing = certFile("none");
        const QByteArray right = "test pass phrase";
        QTest::newRow("pkcs8, right") << pkcs8 << right << 0 << "";
        QTest::newRow("traditional, right") << rsa << right << 0 << "";
        QTest::newRow("pkcs8, wrong") << pkcs8 << QByteArray("test pass phrasE") << 1 << badKey;
        QTest::newRow("traditional, wrong") << rsa << QByteArray("wrong") << 1 << badKey;
        QTest::newRow("traditional, empty") << rsa << QByteArray() << 1 << badKey; // fails, never prompts
        QTest::newRow("not pem") << certFile("notpem.txt") << right << 1 << badKey;
        QTest::newRow("unset") << "" << right << -1 << "В настройках не задан параметр закрытого ключа пользователя.";
        QTest::newRow("missing") << missing << right << -2
                                 << "Файл с закрытым ключем пользователя не найден: " + missing;
        QTest::newRow("fifo") << "<fifo>" << right << -2
                              << "Не удалось прочитать файл заурытого ключа пользователя: <fifo>" + notRegular;
    }
    void privateKey()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, passPhrase);
        QFETCH(int, result);
        QFETCH(QString, error);
        if (path == "<fifo>") { // never waited on
            path = makeFifo(m_dir->filePath("user.key"));
            error.replace("<fifo>", path);
        }
        Config config;
        RealLog::attach(&config, &Config::loggingMessage);
        config.setDefaults();
        if (result != 0) { // a failure must keep the key loaded before
            config.auth["PKeyUser"] = certFile("user-rsa.pem");
            QCOMPARE(config.loadPrivateKey(SecretBytes("test pass phrase")), 0);
        }
        config.auth["PKeyUser"] = path;
        QSignalSpy log(&config, &Config::loggingMessage);
        const SecretBytes typed(passPhrase);
        const QByteArray held = typed.bytes(); // shares the holder's buffer
        QCOMPARE(config.loadPrivateKey(typed), result);
        QCOMPARE(held, QByteArray(passPhrase.size(), '\0')); // wiped in place, whatever the result
        QVERIFY(typed.isEmpty());
        QCOMPARE(config.lastError, error);
        QFile plain(certFile("user.key")); // the very key the certificates were made with
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(config.userKey.toDer(), QSslKey(&plain, QSsl::Rsa).toDer());
        QCOMPARE(log, result ? QList<QVariantList>({{uchar(2), error}}) : QList<QVariantList>());
    }
    void cleanupTestCase()
    {
        QVERIFY(RealLog::text().contains(badKey));
        QCOMPARE(RealLog::secretsFound({"test pass phrase", "test pass phrasE", "wrong"}), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
