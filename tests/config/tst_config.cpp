#include "config/Config.h"
#include "tests/config/SettingsSandbox.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QStringList everyKey = {
    "AppBuildDate", "AppDeveloper", "AppDeveloperEmail", "AppDeveloperTechsupport", "AppDeveloperWeb",
    "AppName", "AppVersion", "CertCA", "CertUser", "ExportPath", "KvarnolLogin", "KvarnolServer",
    "LotvarskLogin", "LotvarskServer", "PKeyUser", "Port", "ProductPath", "Protocol", "Server", "Timeout",
    "dddPath",
};

QStringList storedKeys()
{
    QSettings store;
    store.setFallbacksEnabled(false);
    QStringList keys = store.allKeys();
    keys.sort();
    return keys;
}

QString stored(const QString &key) { return QSettings().value(key).toString(); }

// A store as an earlier run leaves it, then changed by hand.
void prepareStore(const QMap<QString, QString> &changes, const QString &removed = QString())
{
    Config earlier;
    earlier.setDefaults();
    earlier.save(QStringList());
    QSettings store;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        store.setValue(it.key(), it.value());
    if (!removed.isEmpty()) // an empty key would remove every key
        store.remove(removed);
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<SettingsSandbox>(); }
    void cleanup() { m_sandbox.reset(); }

    void firstStartWritesEveryKey();
    void validators_data();
    void validators();
    void malformedStoredValueIsRepaired_data();
    void malformedStoredValueIsRepaired();
    void valuesWithoutFormFollowTheStore();
    void foreignKeySetIsRewritten_data();
    void foreignKeySetIsRewritten();
    void saveSelectedKeys();
    void folderThatCannotBeCreatedIsReported();

private:
    std::unique_ptr<SettingsSandbox> m_sandbox;
};

void TestConfig::firstStartWritesEveryKey()
{
    Config config;
    config.setDefaults();
    QSignalSpy warnings(&config, &Config::warningMessage);
    config.load();

    QCOMPARE(storedKeys(), everyKey);
    QCOMPARE(stored("Port"), QString("1080"));
    QCOMPARE(stored("Timeout"), QString("18000"));
    QCOMPARE(stored("AppName"), QString("Дравек Про"));
    QCOMPARE(stored("dddPath"), m_sandbox->appDataFolder() + "/downloads");
    QVERIFY(QDir(m_sandbox->appDataFolder() + "/downloads").exists());
    QVERIFY(QDir(m_sandbox->appDataFolder() + "/exports").exists());
    // The default CA file beside the program is absent here; nothing else is reported.
    QCOMPARE(warnings.count(), 1);
    QCOMPARE(warnings.at(0).at(0).toString(), QString("Ошибка загрузки корневого сертификата УЦ."));
}

void TestConfig::validators_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("port 65535") << "port" << "65535" << true;
    QTest::newRow("port 65536") << "port" << "65536" << false;
    QTest::newRow("port 6 digits") << "port" << "123456" << false;
    QTest::newRow("port trailing newline") << "port" << "1080\n" << false;
    QTest::newRow("timeout 100") << "timeout" << "100" << true;
    QTest::newRow("timeout 60000") << "timeout" << "60000" << true;
    QTest::newRow("timeout 099") << "timeout" << "099" << false;
    QTest::newRow("timeout 000") << "timeout" << "000" << false;
    QTest::newRow("timeout 60001") << "timeout" << "60001" << false;
    QTest::newRow("host name") << "server" << "my-host.example.com" << true;
    QTest::newRow("host 7-letter label") << "server" << "a.example" << false;
    QTest::newRow("ip all 255") << "server" << "255.255.255.255" << true;
    QTest::newRow("ip octet 256") << "server" << "10.256.1.1" << false;
    QTest::newRow("ip five groups") << "server" << "1.2.3.4.5" << false;
    QTest::newRow("login in front of host") << "server" << "x.ru@evil.com" << false;
    QTest::newRow("text in front of ip") << "server" << "evil 1.2.3.4" << false;
    QTest::newRow("ip then text") << "server" << "1.2.3.4 evil" << false;
    QTest::newRow("host then path") << "server" << "good.ru/evil" << false;
    QTest::newRow("host trailing newline") << "server" << "good.ru\n" << false;
}

void TestConfig::validators()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(bool, valid);

    Config config;
    config.lastError = "stale";
    const bool result = kind == "port" ? config.validatePort(text)
                        : kind == "timeout" ? config.validateTimeout(text)
                                            : config.validateServer(text);
    QCOMPARE(result, valid);
    QCOMPARE(config.lastError.isEmpty(), valid);
}

void TestConfig::malformedStoredValueIsRepaired_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("fallback");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("informative");

    const QString useDefault = "Установлено значение по умолчанию.";
    const QString port = "Порт сервера разблокировки содержит ошибку. Значение данного параметра должно быть "
                         "в пределах от 0 до 65535.\n" + useDefault;
    const QString timeout = "Временная задержка ожидания отклика сервера разблокировки содержит ошибку. Значение "
                            "временной задержки ожидания отклика сервера разблокировки должно быть в пределах от "
                            "100 до 60000.\n" + useDefault;
    const QString host = "Адрес сервера содержит ошибку. Адрес должен содержать доменное имя сервера (например: "
                         "kvob.vorntech.ru) или IP-адрес (например: 192.168.10.25).\n" + useDefault;
    const QString badHost = "Указан некорректный адрес сервера.";
    QTest::newRow("port") << "Port" << "70000" << "1080" << "Указан некорректный порт сервера." << port;
    QTest::newRow("timeout") << "Timeout" << "099" << "18000" << "Указано некорректное время ожидания." << timeout;
    QTest::newRow("server octet") << "Server" << "10.0.0.300" << "kvob.vorntech.ru" << badHost << host;
    QTest::newRow("server hostile") << "Server" << "x.ru@evil.com" << "kvob.vorntech.ru" << badHost << host;
    QTest::newRow("service hostile") << "KvarnolServer" << "evil 1.2.3.4" << "" << badHost << host;
    QTest::newRow("protocol") << "Protocol" << "HTTPS" << "https"
                              << "Поддерживаются только протоколы https и http." << useDefault;
}

void TestConfig::malformedStoredValueIsRepaired()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, fallback);
    QFETCH(QString, text);
    QFETCH(QString, informative);

    // Good values beside the bad one must survive the repair.
    QMap<QString, QString> changes{{"LotvarskServer", "10.0.0.2"}, {"Protocol", "http"}};
    changes.insert(key, value);
    prepareStore(changes);

    Config config;
    config.setDefaults();
    QSignalSpy warnings(&config, &Config::warningMessage);
    config.load();

    QVERIFY(!warnings.isEmpty());
    QCOMPARE(warnings.at(0).at(0).toString(), text);
    QCOMPARE(warnings.at(0).at(1).toString(), informative);
    QCOMPARE(config.unblockServer.value(key, config.services.value(key)), fallback);
    QCOMPARE(stored(key), fallback);
    QCOMPARE(stored("LotvarskServer"), QString("10.0.0.2"));
    QCOMPARE(config.services.value("Protocol"), key == "Protocol" ? fallback : QString("http"));
}

void TestConfig::valuesWithoutFormFollowTheStore()
{
    const QString custom = m_sandbox->filePath("cards/ddd");
    prepareStore({{"dddPath", custom}, {"ExportPath", ""}, {"AppVersion", "3.0.0.0"}, {"KvarnolLogin", "a@b.ru"}});

    Config config;
    config.setDefaults();
    QSignalSpy warnings(&config, &Config::warningMessage);
    config.load();

    QCOMPARE(config.path("dddPath"), custom);
    QVERIFY(QDir(custom).exists());
    QCOMPARE(stored("ExportPath"), m_sandbox->appDataFolder() + "/exports");
    QCOMPARE(config.services.value("KvarnolLogin"), QString("a@b.ru"));
    // The store follows the running program's version, silently.
    QCOMPARE(config.appInfo.value("AppVersion"), QString("3.1.1.0"));
    QCOMPARE(stored("AppVersion"), QString("3.1.1.0"));
    QCOMPARE(warnings.count(), 1); // the absent default CA file only
}

void TestConfig::foreignKeySetIsRewritten_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QString>("missing");

    QTest::newRow("stale key") << "OldServer" << "";
    QTest::newRow("missing key") << "" << "Timeout";
    QTest::newRow("stale and missing key") << "OldServer" << "Timeout";
    QTest::newRow("key in a group") << "unblock/Server" << "";
}

void TestConfig::foreignKeySetIsRewritten()
{
    QFETCH(QString, extra);
    QFETCH(QString, missing);

    QMap<QString, QString> changes{{"Port", "2000"}, {"Protocol", "ftp"}};
    if (!extra.isEmpty())
        changes.insert(extra, "x.ru");
    prepareStore(changes, missing);

    Config config;
    config.setDefaults();
    config.load();

    QCOMPARE(storedKeys(), everyKey);
    QCOMPARE(stored("Port"), QString("2000"));
    QCOMPARE(stored("Protocol"), QString("https"));
    QCOMPARE(stored("Timeout"), QString("18000"));
}

void TestConfig::saveSelectedKeys()
{
    Config config;
    config.setDefaults();
    config.unblockServer["Port"] = "4443";
    config.setPath("dddPath", "/srv/ddd");
    config.changedKeys = QStringList{"Port", "NoSuchKey", "dddPath"};
    config.save(config.changedKeys);

    QVERIFY(config.changedKeys.isEmpty());
    QCOMPARE(storedKeys(), QStringList({"Port", "dddPath"}));
    QCOMPARE(stored("dddPath"), QString("/srv/ddd"));

    config.changedKeys << "Server";
    config.save(QStringList());
    QVERIFY(config.changedKeys.isEmpty());
    QCOMPARE(storedKeys(), everyKey);
    QCOMPARE(stored("Port"), QString("4443"));
}

void TestConfig::folderThatCannotBeCreatedIsReported()
{
    // Tests run as root: a plain file in the way is what makes mkpath fail.
    const QString blocker = m_sandbox->filePath("blocker");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    Config config;
    config.setDefaults();
    config.setPath("ExportPath", blocker + "/exports");
    QSignalSpy warnings(&config, &Config::warningMessage);
    config.createWorkDirs();

    QCOMPARE(warnings.count(), 1);
    QCOMPARE(warnings.at(0).at(0).toString(), QString("В процессе создания рабочих папок возникла ошибка."));
    QCOMPARE(warnings.at(0).at(1).toString(), QString("При создании папки \"%1/exports\" возникла ошибка. Перед "
                                                      "началом работы внесите изменения в настройки.")
                                                  .arg(blocker));
    QVERIFY(QDir(config.path("dddPath")).exists()); // the next folder is still made
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
