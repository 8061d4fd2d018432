#include "config/Config.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/RealLog.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QStringList everyKey = {
    "AppBuildDate", "AppDeveloper", "AppDeveloperEmail", "AppDeveloperTechsupport", "AppDeveloperWeb", "AppName",
    "AppVersion", "CertCA", "CertUser", "ExportPath", "KvarnolLogin", "KvarnolServer", "LotvarskLogin",
    "LotvarskServer", "PKeyUser", "Port", "ProductPath", "Protocol", "Server", "Timeout", "dddPath"};
const QString useDefault = "\nУстановлено значение по умолчанию.";
const QString badKey = "Некорректный пароль закрытого ключа, или файл не содержит закрытый ключ.";
const QString notRegular = ". 5 - Это не обычный файл (папка, канал или устройство)";

QStringList storedKeys()
{
    QStringList keys = QSettings().allKeys();
    keys.sort();
    return keys;
}
QString stored(const QString &key) { return QSettings().value(key).toString(); }
QString certFile(const QString &name) { return QDir(qEnvironmentVariable("DRVP_CERTS_DIR")).filePath(name); }
QString joined(const QVariantList &arguments) { return arguments.at(0).toString() + "|" + arguments.at(1).toString(); }

// A store as an earlier run leaves it, then changed by hand; then a run with it.
void loadStore(Config &config, const QMap<QString, QString> &changes, const QString &removed = QString())
{
    config.setDefaults();
    config.save(QStringList());
    QSettings store;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        store.setValue(it.key(), it.value());
    if (!removed.isEmpty()) // an empty key would remove every key
        store.remove(removed);
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
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->filePath("config"));
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
        QCOMPARE(kind == "port" ? config.validatePort(text)
                 : kind == "timeout" ? config.validateTimeout(text) : config.validateServer(text, kind == "service"),
                 valid);
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
