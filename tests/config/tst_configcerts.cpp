#include "config/Config.h"
#include "tests/config/SettingsSandbox.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QString certFile(const QString &name)
{
    return QDir(qEnvironmentVariable("DRVP_CERTS_DIR")).filePath(name);
}

QByteArray fileBytes(const QString &name)
{
    QFile file(certFile(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestConfigCerts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(certFile("user-rsa.pem")), "no test certificates"); }
    void init() { m_sandbox = std::make_unique<SettingsSandbox>(); }
    void cleanup() { m_sandbox.reset(); }

    void loadsBothCertificates();
    void badCertificateKeepsPrevious_data();
    void badCertificateKeepsPrevious();
    void startUpReportsCertificateFailure();
    void privateKey_data();
    void privateKey();

private:
    std::unique_ptr<SettingsSandbox> m_sandbox;
};

void TestConfigCerts::loadsBothCertificates()
{
    Config config;
    config.setDefaults();
    QSignalSpy changed(&config, &Config::userCertChanged);
    QSignalSpy log(&config, &Config::loggingMessage);

    // An unset path is only a warning line.
    QVERIFY(config.loadCertificate("CertUser"));
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).value<uchar>(), uchar(1));
    QCOMPARE(log.at(0).at(1).toString(), QString("В настройках не задан параметр SSL-сертификата: CertUser."));

    config.auth["CertCA"] = certFile("ca.pem");
    config.auth["CertUser"] = certFile("user.pem");
    QVERIFY(config.loadCertificate("CertCA"));
    QVERIFY(config.loadCertificate("CertUser"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(config.caCert.subjectInfo(QSslCertificate::CommonName), QStringList("Test CA"));
    QCOMPARE(config.userCert.subjectInfo(QSslCertificate::CommonName), QStringList("Иванов Иван Иванович"));
}

void TestConfigCerts::badCertificateKeepsPrevious_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");

    const QString missing = certFile("no-such.pem");
    QTest::newRow("missing") << missing << "Файл с сертификатом не найден: " + missing;
    QTest::newRow("not pem") << certFile("notpem.txt") << "Файл не соджержит сертификата: " + certFile("notpem.txt");
    QTest::newRow("key only") << certFile("user.key") << "Файл не соджержит сертификата: " + certFile("user.key");
    // A folder exists but cannot be opened as a file.
    QTest::newRow("folder") << certFile("") << "Не удалось прочитать файл сертификата: " + certFile("") + ". ";
}

void TestConfigCerts::badCertificateKeepsPrevious()
{
    QFETCH(QString, path);
    QFETCH(QString, error);

    Config config;
    config.setDefaults();
    config.auth["CertUser"] = certFile("user.pem");
    QVERIFY(config.loadCertificate("CertUser"));
    const QSslCertificate loaded = config.userCert;

    QSignalSpy changed(&config, &Config::userCertChanged);
    config.auth["CertUser"] = path;
    QVERIFY(!config.loadCertificate("CertUser"));
    QVERIFY2(config.lastError.startsWith(error), qPrintable(config.lastError));
    QCOMPARE(config.userCert, loaded);
    QCOMPARE(changed.count(), 0);
}

void TestConfigCerts::startUpReportsCertificateFailure()
{
    {
        Config earlier;
        earlier.setDefaults();
        earlier.auth["CertCA"] = certFile("ca.pem");
        earlier.auth["CertUser"] = certFile("notpem.txt");
        earlier.save(QStringList());
    }
    Config config;
    config.setDefaults();
    QSignalSpy warnings(&config, &Config::warningMessage);
    QSignalSpy log(&config, &Config::loggingMessage);
    config.load();

    const QString error = "Файл не соджержит сертификата: " + certFile("notpem.txt");
    QVERIFY(!config.caCert.isNull());
    QCOMPARE(warnings.count(), 1);
    QCOMPARE(warnings.at(0).at(0).toString(), QString("Ошибка загрузки сертификата пользователя."));
    QCOMPARE(warnings.at(0).at(1).toString(), error);
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).value<uchar>(), uchar(2));
    QCOMPARE(log.at(0).at(1).toString(), error);
}

void TestConfigCerts::privateKey_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("passPhrase");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("error");

    const QByteArray right = fileBytes("passphrase.txt");
    const QString badKey = "Некорректный пароль закрытого ключа, или файл не содержит закрытый ключ.";
    const QString missing = certFile("no-such.key");
    QTest::newRow("pkcs8, right") << certFile("user-pkcs8.pem") << right << 0 << "";
    QTest::newRow("traditional, right") << certFile("user-rsa.pem") << right << 0 << "";
    QTest::newRow("pkcs8, wrong") << certFile("user-pkcs8.pem") << QByteArray("test pass phrasE") << 1 << badKey;
    QTest::newRow("traditional, wrong") << certFile("user-rsa.pem") << QByteArray("wrong") << 1 << badKey;
    // Must fail rather than prompt on the terminal.
    QTest::newRow("traditional, empty") << certFile("user-rsa.pem") << QByteArray() << 1 << badKey;
    QTest::newRow("not pem") << certFile("notpem.txt") << right << 1 << badKey;
    QTest::newRow("unset") << "" << right << -1 << "В настройках не задан параметр закрытого ключа пользователя.";
    QTest::newRow("missing") << missing << right << -2 << "Файл с закрытым ключем пользователя не найден: " + missing;
    QTest::newRow("folder") << certFile("") << right << -2
                            << "Не удалось прочитать файл заурытого ключа пользователя: " + certFile("") + ". ";
}

void TestConfigCerts::privateKey()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, passPhrase);
    QFETCH(int, result);
    QFETCH(QString, error);

    Config config;
    config.setDefaults();
    QSslKey previous;
    if (result != 0) { // a failure must keep a key loaded before
        config.auth["PKeyUser"] = certFile("user-rsa.pem");
        QByteArray right = fileBytes("passphrase.txt");
        QCOMPARE(config.loadPrivateKey(right), 0);
        previous = config.userKey;
    }
    config.auth["PKeyUser"] = path;
    QSignalSpy log(&config, &Config::loggingMessage);

    QByteArray typed(passPhrase.constData(), passPhrase.size()); // not shared with the test data
    QCOMPARE(config.loadPrivateKey(typed), result);
    QVERIFY(typed.isEmpty());

    if (result == 0) {
        QVERIFY(config.lastError.isEmpty());
        QCOMPARE(log.count(), 0);
        // Decrypted to the very key the certificates were made with.
        QFile plain(certFile("user.key"));
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(config.userKey.toDer(), QSslKey(&plain, QSsl::Rsa).toDer());
    } else {
        QVERIFY2(config.lastError.startsWith(error), qPrintable(config.lastError));
        QCOMPARE(config.userKey, previous);
        QCOMPARE(log.count(), 1);
        QCOMPARE(log.at(0).at(0).value<uchar>(), uchar(2));
        QCOMPARE(log.at(0).at(1).toString(), config.lastError);
    }
}

QTEST_GUILESS_MAIN(TestConfigCerts)
#include "tst_configcerts.moc"
