#include "config/Config.h"
#include "net/ClientKVOBServer.h"
#include "ui/ConfigWindow.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/ModalBoxes.h"
#include "tests/support/UnblockServerProcess.h"

#include <QClipboard>
#include <QDir>
#include <QListWidget>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

const QString serverRefusal = "Указан некорректный адрес сервера.|Адрес сервера содержит ошибку. Адрес должен "
                              "содержать доменное имя сервера (например: kvob.vorntech.ru) или IP-адрес (например: "
                              "192.168.10.25).";
const QString portRefusal = "Указан некорректный порт сервера.|Порт сервера разблокировки содержит ошибку. Значение "
                            "данного параметра должно быть в пределах от 0 до 65535.";
const QString timeoutRefusal = "Указано некорректное время ожидания отклика сервера.|Временная задержка ожидания "
                               "отклика сервера разблокировки содержит ошибку. Значение временной задержки ожидания "
                               "отклика сервера разблокировки должно быть в пределах от 100 до 60000.";
const QString pathRefusal = "Указан некорректный путь.|Путь не должен содержать управляющих символов.";
const QString cancelQuestionText = "Настройки были изменены.|Желаете сохранить измененные настройки, продолжить без "
                               "сохранения или вернуться к редактированию настроек?";

QStringList messages; // every qDebug/qWarning line of the run
void recordMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    messages << text;
}

// The value as the settings file on disk holds it, not as any cache does.
QString onDisk(const QString &key)
{
    QFile file(QSettings().fileName());
    if (!file.open(QIODevice::ReadOnly))
        return "<no file>";
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith(key + "="))
            return line.mid(key.size() + 1).trimmed();
    }
    return "<missing>";
}

// A stored configuration and its dialog, shown.
struct Rig
{
    Rig()
    {
        config.setDefaults();
        config.save(QStringList());
        window.config = &config;
        window.on_Show();
    }

    template <typename T> T *find(const QString &name) { return window.findChild<T *>(name); }
    QTableWidget *table(const QString &name) { return find<QTableWidget>(name); }

    // Shows the table's page and makes the key's row current.
    void select(const QString &tableName, const QString &key)
    {
        const QStringList tables = {"PathCfgTbl", "AuthCfgTbl", "ServerCfgTbl", "LKSCfgTbl"};
        find<QListWidget>("ConfigList")->setCurrentRow(tables.indexOf(tableName));
        QTableWidget *t = table(tableName);
        for (int row = 0; row < t->rowCount(); ++row) {
            if (t->item(row, 0)->text() == key)
                t->setCurrentCell(row, 2);
        }
    }

    // Selects the key and clicks the page's change button; returns the dialogs shown.
    QStringList edit(const QString &tableName, const QString &key, const QList<ModalAnswer> &answers)
    {
        select(tableName, key);
        const QMap<QString, QString> buttons = {{"PathCfgTbl", "ChgPathCfgBtn"},
                                                {"AuthCfgTbl", "ChgAuthCfgBtn"},
                                                {"ServerCfgTbl", "EditServerCfgBtn"},
                                                {"LKSCfgTbl", "EditLKSCfgBtn"}};
        QToolButton *button = find<QToolButton>(buttons.value(tableName));
        return dialogsShownBy([button] { QTest::mouseClick(button, Qt::LeftButton); }, answers);
    }

    QString shown(const QString &tableName, const QString &key)
    {
        QTableWidget *t = table(tableName);
        for (int row = 0; row < t->rowCount(); ++row) {
            if (t->item(row, 0)->text() == key)
                return t->item(row, 2)->text();
        }
        return "<no row>";
    }

    QString certColumn(int column)
    {
        QStringList cells;
        for (int row = 0; row < 7; ++row)
            cells << table("CertCfgTbl")->item(row, column)->text();
        return cells.join('|');
    }

    // Esc, with the dialog active again after any box it opened. The key
    // clicks the close button as an animated click, a moment later.
    QStringList escape(const QList<ModalAnswer> &answers = {})
    {
        QApplication::setActiveWindow(&window);
        QSignalSpy clicked(find<QToolButton>("CancelCfgBtn"), &QAbstractButton::clicked);
        return dialogsShownBy(
            [&] {
                QTest::keyClick(&window, Qt::Key_Escape);
                QVERIFY(clicked.wait(5000));
            },
            answers);
    }

    bool applyEnabled() { return find<QToolButton>("ApplyCfgBtn")->isEnabled(); }
    bool saveEnabled() { return find<QToolButton>("SaveCfgBtn")->isEnabled(); }

    Config config;
    ConfigWindow window;
};

QString certFile(const QString &name)
{
    return QDir(qEnvironmentVariable("DRVP_CERTS_DIR")).filePath(name);
}

QByteArray passPhrase()
{
    QFile file(certFile("passphrase.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Serial, thumbprint and validity as the openssl command line reports them,
// in the dialog's notation.
QStringList opensslFacts(const QString &name)
{
    QProcess openssl;
    openssl.start("openssl", {"x509", "-in", certFile(name), "-noout", "-serial", "-fingerprint", "-sha1",
                              "-startdate", "-enddate", "-dateopt", "iso_8601"});
    openssl.waitForFinished();
    QStringList facts;
    for (const QString &line : QString::fromLatin1(openssl.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        QString value = line.section('=', 1);
        if (line.startsWith("not"))
            facts << QDateTime::fromString(value.replace(' ', 'T'), Qt::ISODate).toString("dd.MM.yyyy hh:mm:ss");
        else
            facts << value.remove(':');
    }
    return facts;
}

} // namespace

class TestConfigWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir home;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(certFile("other-rsa.pem")), "no test certificates");
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        QCoreApplication::setOrganizationName("tests");
        qInstallMessageHandler(recordMessage);
    }
    void init() // a settings file of its own for every test and row
    {
        QCoreApplication::setApplicationName(QString(QTest::currentTestFunction()) + QTest::currentDataTag());
        QVERIFY(QSettings().fileName().startsWith(home.path()));
    }
    void cleanupTestCase()
    {
        qInstallMessageHandler(nullptr);
        for (const QString &line : qAsConst(messages))
            QVERIFY2(!line.contains("connectSlotsByName"), qPrintable(line));
    }

    void shownState()
    {
        Rig rig;
        QVERIFY(rig.window.isVisible());
        QCOMPARE(rig.find<QListWidget>("ConfigList")->currentRow(), 0);
        QCOMPARE(rig.find<QStackedWidget>("ConfigMainFrame")->currentIndex(), 0);
        QCOMPARE(rig.shown("ServerCfgTbl", "Port"), QString("1080"));
        QCOMPARE(rig.table("ServerCfgTbl")->item(0, 1)->text(), QString("Порт сервера разблокировки"));
        QCOMPARE(rig.table("LKSCfgTbl")->rowCount(), 5);
        QVERIFY(!rig.applyEnabled() && !rig.saveEnabled());

        // A double click on a folder opens the chooser; the program's own
        // folder is shown, never chosen, by double click or by button.
        QTableWidget *paths = rig.table("PathCfgTbl");
        const auto doubleClick = [paths](const QString &key) {
            for (int row = 0; row < paths->rowCount(); ++row) {
                if (paths->item(row, 0)->text() != key)
                    continue;
                const QPoint centre = paths->visualItemRect(paths->item(row, 2)).center();
                QTest::mouseClick(paths->viewport(), Qt::LeftButton, {}, centre);
                QTest::mouseDClick(paths->viewport(), Qt::LeftButton, {}, centre);
            }
        };
        QCOMPARE(dialogsShownBy([&] { doubleClick("dddPath"); }), QStringList("files:All Files (*)"));
        QCOMPARE(dialogsShownBy([&] {
                     doubleClick("ProductPath");
                     QTest::mouseClick(rig.find<QToolButton>("ChgPathCfgBtn"), Qt::LeftButton);
                 }),
                 QStringList());

        // Nothing pending: Cancel closes without a question.
        QCOMPARE(rig.escape(), QStringList());
        QVERIFY(!rig.window.isVisible());
    }

    // Edits wait in the pending list until Apply, or until the question that
    // Cancel asks is answered.
    void pendingEdits_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("pendingBefore");
        QTest::addColumn<int>("answer"); // 0: Apply; else Cancel and this answer to the question
        QTest::addColumn<bool>("open");
        QTest::addColumn<QStringList>("pending");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored");
        const QString a = "a.example.ru", kvob = "kvob.vorntech.ru";
        const QStringList server{"Server"};
        QTest::newRow("applied") << QStringList{a} << server << 0 << true << QStringList() << a << a;
        QTest::newRow("twice") << QStringList{a, "10.0.0.1"} << QStringList{"Server", "Server"} << 0 << true
                               << QStringList() << "10.0.0.1" << "10.0.0.1";
        QTest::newRow("back to stored") << QStringList{a, kvob} << QStringList() << 0 << true << QStringList() << kvob
                                        << kvob;
        QTest::newRow("save all") << QStringList{a} << server << int(QMessageBox::SaveAll) << false << QStringList()
                                  << a << a;
        QTest::newRow("close: keep editing") << QStringList{a} << server << int(QMessageBox::Close) << true << server
                                             << a << kvob;
        QTest::newRow("discard") << QStringList{a} << server << int(QMessageBox::Discard) << true << QStringList()
                                 << kvob << kvob;
        QTest::newRow("cancel") << QStringList{a} << server << int(QMessageBox::Cancel) << false << server << a << kvob;
    }
    void pendingEdits()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, pendingBefore);
        QFETCH(int, answer);
        QFETCH(QStringList, pending);
        QFETCH(QString, stored);
        Rig rig;
        for (const QString &text : typed)
            QCOMPARE(rig.edit("ServerCfgTbl", "Server", {typeText(text)}), QStringList("input:Адрес сервера"));
        QCOMPARE(rig.config.changedKeys, pendingBefore);
        QCOMPARE(rig.applyEnabled(), !pendingBefore.isEmpty());
        QCOMPARE(rig.saveEnabled(), !pendingBefore.isEmpty());
        QCOMPARE(onDisk("Server"), QString("kvob.vorntech.ru")); // nothing stored before Apply
        QCOMPARE(rig.config.unblockServer.value("Server"), QString("kvob.vorntech.ru"));

        if (answer == 0)
            QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
        else
            QCOMPARE(rig.escape({pressButton(QMessageBox::StandardButton(answer))}), QStringList(cancelQuestionText));
        QTEST(rig.window.isVisible(), "open");
        QCOMPARE(rig.config.changedKeys, pending);
        QTEST(rig.shown("ServerCfgTbl", "Server"), "shown");
        QCOMPARE(onDisk("Server"), stored);
        QCOMPARE(rig.config.unblockServer.value("Server"), stored);
        QCOMPARE(rig.applyEnabled(), !pending.isEmpty());
        QCOMPARE(rig.saveEnabled(), !pending.isEmpty());
    }

    // A store that cannot be written (root writes through file modes, so a
    // folder stands where the file should be) loses nothing typed: the edit
    // stays pending, and Save stores it once the store can be written again.
    void failedSaveKeepsEdits()
    {
        Rig rig;
        const QString file = QSettings().fileName();
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        QSignalSpy warnings(&rig.config, &Config::warningMessage);
        rig.edit("ServerCfgTbl", "Server", {typeText("a.example.ru")});
        QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
        QTest::mouseClick(rig.find<QToolButton>("SaveCfgBtn"), Qt::LeftButton);
        QCOMPARE(warnings.count(), 2); // one for each failed save
        QCOMPARE(warnings.at(0).at(1).toString(),
                 "Не удалось сохранить настройки в файл \"" + file + "\": на месте файла находится папка.");
        QVERIFY(rig.window.isVisible());
        QCOMPARE(rig.config.changedKeys, QStringList("Server"));
        QVERIFY(rig.applyEnabled() && rig.saveEnabled());
        QCOMPARE(rig.shown("ServerCfgTbl", "Server"), QString("a.example.ru"));
        QCOMPARE(rig.config.unblockServer.value("Server"), QString("kvob.vorntech.ru")); // as stored

        QVERIFY(QDir(file).removeRecursively());
        QTest::mouseClick(rig.find<QToolButton>("SaveCfgBtn"), Qt::LeftButton);
        QVERIFY(!rig.window.isVisible());
        QCOMPARE(onDisk("Server"), QString("a.example.ru"));
    }

    // Keys left pending by Cancel show their edited values when the dialog
    // opens again, so Apply then stores what the user chose.
    void reopenShowsPendingValues()
    {
        QTemporaryDir exports;
        Rig rig;
        QSignalSpy certChanged(&rig.config, &Config::userCertChanged);
        rig.edit("ServerCfgTbl", "Timeout", {typeText("5000")});
        rig.edit("PathCfgTbl", "ExportPath", {chooseFile(exports.path())});
        rig.edit("AuthCfgTbl", "CertUser", {chooseFile(certFile("user.pem"))});
        QCOMPARE(rig.config.changedKeys, QStringList({"Timeout", "ExportPath", "CertUser"}));
        rig.escape({pressButton(QMessageBox::Cancel)});
        QVERIFY(!rig.window.isVisible());

        rig.window.on_Show();
        QCOMPARE(rig.shown("ServerCfgTbl", "Timeout"), QString("5000"));
        QCOMPARE(rig.shown("PathCfgTbl", "ExportPath"), exports.path());
        QCOMPARE(rig.shown("AuthCfgTbl", "CertUser"), certFile("user.pem"));
        QCOMPARE(rig.table("CertCfgTbl")->item(2, 2)->text(), QString("Иванов Иван Иванович"));
        QVERIFY(rig.applyEnabled());
        QCOMPARE(certChanged.count(), 0);

        QTest::mouseClick(rig.find<QToolButton>("SaveCfgBtn"), Qt::LeftButton);
        QVERIFY(!rig.window.isVisible());
        QCOMPARE(onDisk("Timeout"), QString("5000"));
        QCOMPARE(onDisk("ExportPath"), exports.path());
        QCOMPARE(onDisk("CertUser"), certFile("user.pem"));
        QCOMPARE(rig.config.path("ExportPath"), exports.path());
        QCOMPARE(certChanged.count(), 1); // the main window's title follows the new certificate
        QCOMPARE(rig.config.userCert.subjectInfo(QSslCertificate::CommonName), QStringList("Иванов Иван Иванович"));

        // Discarded edits do not come back either.
        rig.window.on_Show();
        rig.edit("ServerCfgTbl", "Port", {typeText("2000")});
        rig.escape({pressButton(QMessageBox::Discard)});
        rig.window.on_Show();
        QCOMPARE(rig.shown("ServerCfgTbl", "Port"), QString("1080"));
    }

    void hostileValuesRefused_data()
    {
        QTest::addColumn<QString>("tableName");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::newRow("host with a tail") << "ServerCfgTbl" << "Server" << "x.ru@evil.com" << serverRefusal;
        QTest::newRow("address") << "ServerCfgTbl" << "Server" << "127.0.0.1" << QString();
        QTest::newRow("port with a line") << "ServerCfgTbl" << "Port" << "80\n81" << portRefusal;
        QTest::newRow("time-out 99") << "ServerCfgTbl" << "Timeout" << "99" << timeoutRefusal;
        QTest::newRow("service host") << "LKSCfgTbl" << "KvarnolServer" << "https://a.ru" << serverRefusal;
        QTest::newRow("service host and port") << "LKSCfgTbl" << "LotvarskServer" << "lotvarsk.digital:8069" << QString();
        QTest::newRow("unblock server with a port") << "ServerCfgTbl" << "Server" << "kvob.ru:7000" << serverRefusal;
    }
    void hostileValuesRefused()
    {
        QFETCH(QString, tableName);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        Rig rig;
        const QString before = rig.shown(tableName, key);
        const QString label = key.endsWith("Server") ? "Адрес сервера" : key == "Port" ? "Порт сервера"
                                                                                       : "Время ожидания отклика";
        QStringList expected{"input:" + label};
        if (!refusal.isEmpty())
            expected << refusal;
        QCOMPARE(rig.edit(tableName, key, {typeText(text)}), expected);
        QCOMPARE(rig.shown(tableName, key), refusal.isEmpty() ? text : before);
        QCOMPARE(rig.config.changedKeys, refusal.isEmpty() ? QStringList(key) : QStringList());
    }

    void pathsWithControlCharactersRefused()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("two\nlines"));
        QFile tabbed(dir.filePath("user\t.pem"));
        QVERIFY(QFile::copy(certFile("user.pem"), tabbed.fileName()));
        Rig rig;
        const QString before = rig.shown("PathCfgTbl", "dddPath");
        QCOMPARE(rig.edit("PathCfgTbl", "dddPath", {chooseFile(dir.filePath("two\nlines"))}),
                 QStringList({"files:All Files (*)", pathRefusal}));
        QCOMPARE(rig.shown("PathCfgTbl", "dddPath"), before);
        QCOMPARE(rig.edit("AuthCfgTbl", "CertUser", {chooseFile(tabbed.fileName())}),
                 QStringList({"files:Все CRT файлы (*.crt *.CRT)", pathRefusal}));
        QCOMPARE(rig.shown("AuthCfgTbl", "CertUser"), QString());
        QCOMPARE(rig.table("CertCfgTbl")->item(2, 2)->text(), QString());
        QVERIFY(rig.config.changedKeys.isEmpty());
    }

    void certificateChoice_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("details"); // serial and thumbprint are "*": from openssl; empty: refused
        QTest::addColumn<QString>("box");
        QTest::newRow("authority") << "CertCA" << "ca.pem" << "*|*|Test CA||Тестовый удостоверяющий центр|*|*" << "";
        QTest::newRow("user") << "CertUser" << "user.pem"
                              << "*|*|Иванов Иван Иванович|ivanov@example.ru|ООО Тест|*|*" << "";
        QTest::newRow("expired") << "CertUser" << "expired.pem"
                                 << "0A1B2C3D|*|Петров Пётр|petrov@example.ru|ООО Архив|01.01.2020 00:00:00|"
                                    "01.01.2021 00:00:00"
                                 << "";
        QTest::newRow("no certificate") << "CertUser" << "notpem.txt" << ""
                                        << "Ошибка выбора сертификата|Файл не содержит сертификат.";
        QTest::newRow("missing") << "CertCA" << "missing.pem" << ""
                                 << "Ошибка выбора сертификата|Указанный файл сертификата не найден: %1";
        // Never waited on, nor read whole.
        QTest::newRow("fifo") << "CertCA" << "<fifo>" << ""
                              << "Ошибка выбора сертификата|Не удалось прочитать файл сертификата. 5 - Это не обычный файл "
                                 "(папка, канал или устройство)";
        QTest::newRow("too large") << "CertUser" << "<big>" << ""
                                   << "Ошибка выбора сертификата|Не удалось прочитать файл сертификата. 1 - Размер "
                                      "файла больше 256 КБ";
    }
    void certificateChoice()
    {
        QFETCH(QString, key);
        QFETCH(QString, file);
        QFETCH(QString, details);
        QFETCH(QString, box);
        QTemporaryDir made;
        const QString path = file == "<fifo>" ? makeFifo(made.filePath("ca.crt"))
                             : file == "<big>" ? makeOversized(made.filePath("user.crt"), certFile("user.pem"))
                                               : certFile(file);
        Rig rig;
        QSignalSpy certChanged(&rig.config, &Config::userCertChanged);
        const int column = key == "CertCA" ? 1 : 2;
        QStringList expected{"files:Все CRT файлы (*.crt *.CRT)"};
        if (!box.isEmpty())
            expected << box.arg(path);
        QCOMPARE(rig.edit("AuthCfgTbl", key, {chooseFile(path)}), expected);
        QCOMPARE(rig.config.changedKeys, details.isEmpty() ? QStringList() : QStringList(key));
        if (details.isEmpty()) {
            QCOMPARE(rig.certColumn(column), QString("||||||"));
            return;
        }
        QStringList cells = details.split('|');
        const QStringList facts = opensslFacts(file);
        const QList<int> factRows = {0, 1, 5, 6};
        for (int fact = 0; fact < factRows.size(); ++fact) {
            if (cells[factRows[fact]] == "*")
                cells[factRows[fact]] = facts.value(fact);
        }
        QCOMPARE(rig.certColumn(column), cells.join('|'));
        QCOMPARE(rig.find<QToolButton>("CertInfo2XLSbtn")->isEnabled(), column == 1);

        // Config takes the certificate on Apply, not before.
        QVERIFY(column == 1 ? rig.config.caCert.isNull() : rig.config.userCert.isNull());
        QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
        const QSslCertificate applied = column == 1 ? rig.config.caCert : rig.config.userCert;
        QCOMPARE(applied, QSslCertificate::fromPath(certFile(file)).value(0));
        QCOMPARE(certChanged.count(), column - 1);
        QCOMPARE(onDisk(key), certFile(file));
    }

    void keyChoice_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("phrase"); // "<cancel>": the question is cancelled
        QTest::addColumn<QString>("box");    // empty: accepted
        const QString phrase = passPhrase();
        QTest::newRow("PKCS#8") << "user-pkcs8.pem" << phrase << "";
        QTest::newRow("wrong phrase") << "user-rsa.pem" << "wrong " + phrase
                                      << "Ошибка выбора закрытого ключа|Некорректный пароль или файл не содержит "
                                         "закрытого ключа.";
        QTest::newRow("cancelled") << "user-pkcs8.pem" << "<cancel>"
                                   << "Ошибка выбора закрытого ключа|Пользователь отменил загрузку ключа.";
        // The dialog does not pair keys with certificates; the server refuses a wrong pair.
        QTest::newRow("key of no certificate here") << "other-rsa.pem" << phrase << "";
    }
    void keyChoice()
    {
        QFETCH(QString, file);
        QFETCH(QString, phrase);
        QFETCH(QString, box);
        Rig rig;
        QFile inUse(certFile("rogue-user.key"));
        QVERIFY(inUse.open(QIODevice::ReadOnly));
        rig.config.userKey = QSslKey(&inUse, QSsl::Rsa);
        const QByteArray inUsePem = rig.config.userKey.toPem();
        QSignalSpy logged(&rig.config, &Config::loggingMessage);
        const int earlierMessages = messages.size();
        QStringList expected{"files:Все KEY файлы (*.key *.KEY)", "input:Пароль закрытого ключа"};
        if (!box.isEmpty())
            expected << box;
        QCOMPARE(rig.edit("AuthCfgTbl", "PKeyUser",
                          {chooseFile(certFile(file)), phrase == "<cancel>" ? rejectDialog() : typeText(phrase)}),
                 expected);
        QCOMPARE(rig.config.changedKeys, box.isEmpty() ? QStringList("PKeyUser") : QStringList());
        QCOMPARE(rig.config.userKey.toPem(), inUsePem); // not before Apply

        // Discarded: the key in use stays.
        rig.escape({pressButton(QMessageBox::Discard)});
        QCOMPARE(rig.config.userKey.toPem(), inUsePem);
        QCOMPARE(rig.shown("AuthCfgTbl", "PKeyUser"), QString());

        // Chosen, then the settings cleared before Apply: the key in use stays.
        if (box.isEmpty()) {
            rig.config.auth["PKeyUser"] = certFile("rogue-user.key");
            rig.edit("AuthCfgTbl", "PKeyUser", {chooseFile(certFile(file)), typeText(phrase)});
            rig.select("AuthCfgTbl", "PKeyUser");
            QTest::mouseClick(rig.find<QToolButton>("ClearAuthCfgBtn"), Qt::LeftButton);
            QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
            QCOMPARE(rig.config.userKey.toPem(), inUsePem);
        }

        // Chosen again and applied: in use from now on.
        if (box.isEmpty()) {
            rig.edit("AuthCfgTbl", "PKeyUser", {chooseFile(certFile(file)), typeText(phrase)});
            QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
            QFile pem(certFile(file));
            QVERIFY(pem.open(QIODevice::ReadOnly));
            const QSslKey chosen(&pem, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey, passPhrase());
            QCOMPARE(rig.config.userKey.toPem(), chosen.toPem());
            QCOMPARE(onDisk("PKeyUser"), certFile(file));
        }

        // The typed phrase is left in no widget and written nowhere.
        for (QWidget *widget : QApplication::allWidgets()) {
            if (auto *edit = qobject_cast<QLineEdit *>(widget))
                QVERIFY(!edit->text().contains(phrase));
        }
        for (const QString &line : messages.mid(earlierMessages))
            QVERIFY2(!line.contains(passPhrase()), qPrintable(line));
        for (const QList<QVariant> &entry : qAsConst(logged))
            QVERIFY(!entry.at(1).toString().contains(passPhrase()));
    }

    void clearingAuthentication()
    {
        Rig rig;
        rig.edit("AuthCfgTbl", "CertCA", {chooseFile(certFile("ca.pem"))});
        QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
        QVERIFY(rig.find<QToolButton>("CertInfo2CSVbtn")->isEnabled());

        rig.select("AuthCfgTbl", "CertCA");
        QTest::mouseClick(rig.find<QToolButton>("ClearAuthCfgBtn"), Qt::LeftButton);
        QCOMPARE(rig.config.changedKeys, QStringList("CertCA")); // the others were empty already
        QCOMPARE(rig.certColumn(1), QString("||||||"));
        QVERIFY(!rig.find<QToolButton>("CertInfo2XLSbtn")->isEnabled());
        QVERIFY(!rig.find<QToolButton>("CertInfo2CSVbtn")->isEnabled());
        QVERIFY(!rig.find<QToolButton>("ClearAuthCfgBtn")->isEnabled());

        QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
        QCOMPARE(onDisk("CertCA"), QString());
        QVERIFY(!rig.config.caCert.isNull()); // the certificate in use stays until the next start
    }

    void certificateTableToCsv()
    {
        Rig rig;
        rig.edit("AuthCfgTbl", "CertCA", {chooseFile(certFile("ca.pem"))});
        QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
        QTemporaryDir out;
        dialogsShownBy([&] { QTest::mouseClick(rig.find<QToolButton>("CertInfo2CSVbtn"), Qt::LeftButton); },
                       {chooseFile(out.filePath("certs"))});
        QFile csv(out.filePath("certs.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n");
        QCOMPARE(lines.size(), 9); // header, seven rows, nothing after the last CR LF
        QCOMPARE(lines[0], QString("Параметр,Сертификат УЦ,Сертификат пользователя"));
        QVERIFY2(lines[1].startsWith("\"Серийный номер\",\""), qPrintable(lines[1]));
        QVERIFY2(lines[7].startsWith("\"Окончание действия\",\""), qPrintable(lines[7]));
        QCOMPARE(lines[8], QString());
    }

    void copyOfSelection_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::addColumn<QString>("copied");
        QTest::newRow("whole rows") << 0 << 2 << "Port\tПорт сервера разблокировки\t1080\r\n"
                                                "Server\tАдрес сервера разблокировки\tkvob.vorntech.ru\r\n";
        QTest::newRow("short of the last column") << 0 << 1 << "Port\tПорт сервера разблокировки\t\r\n"
                                                               "Server\tАдрес сервера разблокировки\t\r\n";
    }
    void copyOfSelection()
    {
        QFETCH(int, left);
        QFETCH(int, right);
        QFETCH(QString, copied);
        Rig rig;
        QTableWidget *table = rig.table("ServerCfgTbl");
        rig.select("ServerCfgTbl", "Port");
        // The menu is opened and closed at once; the table that asked becomes the copied one.
        QTimer::singleShot(0, [] {
            if (QWidget *menu = QApplication::activePopupWidget())
                menu->close();
        });
        emit table->customContextMenuRequested(QPoint(5, 5));
        table->clearSelection();
        table->setRangeSelected(QTableWidgetSelectionRange(0, left, 1, right), true);
        QVERIFY(QMetaObject::invokeMethod(&rig.window, "slotCopyRecords"));
        QCOMPARE(QString::fromUtf8(QApplication::clipboard()->mimeData()->data("text/plain")), copied);
    }

    // Server, port, time-out, certificate and key changed in the dialog are
    // what the next request to the local unblock server uses.
    void newSettingsUsedByNextRequest()
    {
        UnblockServerProcess server;
        QVERIFY(server.port != 0);
        Rig rig;
        rig.config.unblockServer["Server"] = "localhost";
        rig.config.unblockServer["Port"] = "1";
        rig.config.caCert = QSslCertificate::fromPath(certFile("ca.pem")).value(0);
        rig.config.userCert = QSslCertificate::fromPath(certFile("rogue-user.pem")).value(0);
        QFile rogueKey(certFile("rogue-user.key"));
        QVERIFY(rogueKey.open(QIODevice::ReadOnly));
        rig.config.userKey = QSslKey(&rogueKey, QSsl::Rsa);
        ClientKVOBServer client;
        client.setConfig(&rig.config);
        QSignalSpy results(&client, &ClientKVOBServer::commandResult);
        QSignalSpy logged(&client, &ClientKVOBServer::logginMessage);
        const auto request = [&] {
            client.on_MakeCommand(nullptr, "getStatus");
            return results.wait(20000) ? results.takeFirst().at(1).toBool() : false;
        };
        QVERIFY(!request());

        rig.window.on_Show();
        rig.edit("ServerCfgTbl", "Server", {typeText("127.0.0.1")});
        rig.edit("ServerCfgTbl", "Port", {typeText(QString::number(server.port))});
        rig.edit("ServerCfgTbl", "Timeout", {typeText("20000")});
        rig.edit("AuthCfgTbl", "CertUser", {chooseFile(certFile("user.pem"))});
        rig.edit("AuthCfgTbl", "PKeyUser", {chooseFile(certFile("user-pkcs8.pem")), typeText(passPhrase())});
        QVERIFY(!request()); // not applied yet
        QVERIFY(server.lines("PEER ").isEmpty());

        QTest::mouseClick(rig.find<QToolButton>("ApplyCfgBtn"), Qt::LeftButton);
        QVERIFY(request());
        const QSslCertificate user = QSslCertificate::fromPath(certFile("user.pem")).value(0);
        QCOMPARE(server.lines("PEER ").value(0), QString::fromLatin1(user.digest(QCryptographicHash::Sha256).toHex()));
        QCOMPARE(server.requests().value(0), QByteArray("[SIZE]:11;\r\n[BODY]:getStatus()"));
        QStringList lines;
        for (const QList<QVariant> &entry : qAsConst(logged))
            lines << entry.at(1).toString();
        QVERIFY(lines.contains(QString("Установлено защищенное соединение с сервером разблокировки - 127.0.0.1:%1")
                                   .arg(server.port)));
    }
};

QTEST_MAIN(TestConfigWindow)
#include "tst_configwindow.moc"
