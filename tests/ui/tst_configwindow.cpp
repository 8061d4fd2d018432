// The settings dialog on a stored configuration: edits wait in the pending
// list until Apply or the answer to Cancel's question, refused values change
// nothing, and a chosen certificate or key is used from Apply on.
#include "config/Config.h"
#include "ui/ConfigWindow.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/CellEdits.h"
#include "tests/support/ModalBoxes.h"
#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/ToolTips.h"

#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QListWidget>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

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
const QString cancelQuestion = "Настройки были изменены.|Желаете сохранить измененные настройки, продолжить без "
                               "сохранения или вернуться к редактированию настроек?";
const QString certFiles = "files:Все CRT файлы (*.crt *.CRT)";
const QString keyFiles = "files:Все KEY файлы (*.key *.KEY)";
const QString passPhraseInput = "input:Пароль закрытого ключа";

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

QString certFile(const QString &name)
{
    return QDir(qEnvironmentVariable("DRVP_CERTS_DIR")).filePath(name);
}

QByteArray passPhrase()
{
    QFile file(certFile("passphrase.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A stored configuration and its dialog, shown.
struct Rig
{
    // Settings stored by an earlier run, or (load) read from the file as at start.
    explicit Rig(bool load = false)
    {
        config.setDefaults();
        if (load)
            config.load();
        else
            config.save(QStringList());
        window.config = &config;
        window.on_Show();
    }

    template <typename T> T *find(const QString &name) { return window.findChild<T *>(name); }
    QTableWidget *table(const QString &name) { return find<QTableWidget>(name); }
    void click(const QString &button) { QTest::mouseClick(find<QToolButton>(button), Qt::LeftButton); }

    // The value cell of the key's row.
    QTableWidgetItem *cell(const QString &tableName, const QString &key)
    {
        const QList<QTableWidgetItem *> found = table(tableName)->findItems(key, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : table(tableName)->item(found.first()->row(), 2);
    }
    QString shown(const QString &tableName, const QString &key)
    {
        return cell(tableName, key) ? cell(tableName, key)->text() : "<no row>";
    }

    // Shows the table's page and makes the key's row current.
    void select(const QString &tableName, const QString &key)
    {
        find<QListWidget>("ConfigList")->setCurrentRow(pages.indexOf(tableName));
        table(tableName)->setCurrentItem(cell(tableName, key));
    }

    // Selects the key and clicks the page's change button; returns the dialogs shown.
    QStringList edit(const QString &tableName, const QString &key, const QList<ModalAnswer> &answers)
    {
        select(tableName, key);
        const QStringList buttons{"ChgPathCfgBtn", "ChgAuthCfgBtn", "EditServerCfgBtn", "EditLKSCfgBtn"};
        return dialogsShownBy([&] { click(buttons.at(pages.indexOf(tableName))); }, answers);
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

    // "11": Apply and Save enabled.
    QString applySave()
    {
        return QString("%1%2").arg(find<QToolButton>("ApplyCfgBtn")->isEnabled())
            .arg(find<QToolButton>("SaveCfgBtn")->isEnabled());
    }

    const QStringList pages{"PathCfgTbl", "AuthCfgTbl", "ServerCfgTbl", "LKSCfgTbl"};
    Config config;
    ConfigWindow window;
};

} // namespace

class TestConfigWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    QTemporaryDir made; // files the dialog must refuse

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        QCoreApplication::setOrganizationName("tests");
        qInstallMessageHandler(recordMessage);
        QVERIFY(QDir(made.path()).mkdir("two\nlines"));
        QVERIFY(QFile::copy(certFile("user.pem"), made.filePath("user\t.pem")));
        QVERIFY(!makeOversized(made.filePath("big.pem"), certFile("user.pem")).isEmpty());
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

    // Edits wait in the pending list until Apply, or until the question that
    // Cancel asks is answered; with nothing pending Cancel asks nothing.
    void pendingEdits_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("answer"); // 0: Apply; else Cancel and this answer to the question
        QTest::addColumn<bool>("open");
        QTest::addColumn<QStringList>("pending");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored");
        const QString a = "a.example.ru", kvob = "kvob.vorntech.ru";
        const QStringList server{"Server"};
        QTest::newRow("applied") << QStringList{a} << 0 << true << QStringList() << a << a;
        QTest::newRow("back to stored") << QStringList{a, kvob} << int(QMessageBox::Cancel) << false << QStringList()
                                        << kvob << kvob;
        QTest::newRow("save all") << QStringList{a} << int(QMessageBox::SaveAll) << false << QStringList() << a << a;
        QTest::newRow("close: keep editing") << QStringList{a} << int(QMessageBox::Close) << true << server << a
                                             << kvob;
        QTest::newRow("discard") << QStringList{a} << int(QMessageBox::Discard) << true << QStringList() << kvob
                                 << kvob;
        QTest::newRow("cancel") << QStringList{a} << int(QMessageBox::Cancel) << false << server << a << kvob;
    }
    void pendingEdits()
    {
        QFETCH(QStringList, typed);
        QFETCH(int, answer);
        QFETCH(QStringList, pending);
        QFETCH(QString, stored);
        Rig rig;
        for (const QString &text : typed)
            QCOMPARE(rig.edit("ServerCfgTbl", "Server", {typeText(text)}), QStringList("input:Адрес сервера"));
        const bool edited = typed.size() == 1;
        QCOMPARE(rig.config.changedKeys, edited ? QStringList("Server") : QStringList());
        QCOMPARE(rig.applySave(), QString(edited ? "11" : "00"));
        QCOMPARE(onDisk("Server"), QString("kvob.vorntech.ru")); // nothing stored before Apply
        QCOMPARE(rig.config.unblockServer.value("Server"), QString("kvob.vorntech.ru"));

        if (answer == 0)
            rig.click("ApplyCfgBtn");
        else
            QCOMPARE(rig.escape({pressButton(QMessageBox::StandardButton(answer))}),
                     edited ? QStringList(cancelQuestion) : QStringList());
        QTEST(rig.window.isVisible(), "open");
        QCOMPARE(rig.config.changedKeys, pending);
        QTEST(rig.shown("ServerCfgTbl", "Server"), "shown");
        QCOMPARE(onDisk("Server"), stored);
        QCOMPARE(rig.config.unblockServer.value("Server"), stored);
        QCOMPARE(rig.applySave(), QString(pending.isEmpty() ? "00" : "11"));
    }

    // A store that cannot be written (a folder where the file should be, or
    // a read-only folder) loses nothing typed: the edit stays pending, and
    // Save stores it once the store can be written again. An edit discarded
    // after the failure never reaches the file, not even with a later save of
    // another key.
    void failedSaveKeepsEdits_data()
    {
        QTest::addColumn<bool>("readOnly"); // else a folder in place of the file
        QTest::addColumn<bool>("discard");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("server"); // on disk at the end
        const QString folder = "на месте файла находится папка", readOnly = "файл недоступен для записи";
        QTest::newRow("kept, then saved") << false << false << folder << "a.example.ru";
        // The folder took the file's place, so the later save writes every key the program holds.
        QTest::newRow("discarded, another saved") << false << true << folder << "kvob.vorntech.ru";
        QTest::newRow("read-only, discarded, another saved") << true << true << readOnly << "kvob.vorntech.ru";
    }
    void failedSaveKeepsEdits()
    {
        QFETCH(bool, readOnly);
        QFETCH(bool, discard);
        QFETCH(QString, reason);
        Rig rig;
        const QString file = QSettings().fileName();
        ReadOnlyFolder store(readOnly ? QFileInfo(file).path() : QString());
        if (readOnly)
            QVERIFY(store.isReadOnly());
        else
            QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        QSignalSpy warnings(&rig.config, &Config::warningMessage);
        rig.edit("ServerCfgTbl", "Server", {typeText("a.example.ru")});
        rig.click("ApplyCfgBtn");
        rig.click("SaveCfgBtn");
        QCOMPARE(warnings.count(), 2); // one for each failed save
        QCOMPARE(warnings.at(0).at(1).toString(), "Не удалось сохранить настройки в файл \"" + file + "\": " + reason + ".");
        QVERIFY(rig.window.isVisible());
        QCOMPARE(rig.config.changedKeys, QStringList("Server"));
        QCOMPARE(rig.applySave(), QString("11"));
        QCOMPARE(rig.shown("ServerCfgTbl", "Server"), QString("a.example.ru"));
        QCOMPARE(rig.config.unblockServer.value("Server"), QString("kvob.vorntech.ru")); // as stored

        if (discard) {
            rig.escape({pressButton(QMessageBox::Discard)});
            rig.edit("ServerCfgTbl", "Timeout", {typeText("5000")});
        }
        store.release();
        QVERIFY(readOnly || QDir(file).removeRecursively());
        rig.click("SaveCfgBtn");
        QVERIFY(!rig.window.isVisible());
        QTEST(onDisk("Server"), "server");
        QCOMPARE(rig.config.unblockServer.value("Server"), QString(discard ? "kvob.vorntech.ru" : "a.example.ru"));
        if (discard)
            QCOMPARE(onDisk("Timeout"), QString("5000"));
    }

    // The sequence that once emptied the file: a key this version does not
    // know, a start while the settings folder is read-only, then one key
    // saved in the dialog. The file then holds every key the program holds,
    // with the values the file held, written as UTF-8.
    void failedStartSaveLosesNothing()
    {
        const QString file = home.filePath("config/tests/failedStartSaveLosesNothing.conf");
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        const QString byHand = "[General]\n"
                               "AppBuildDate=07.06.2021\n"
                               "AppDeveloper=tests\n"
                               "AppDeveloperEmail=info@vorntech.ru\n"
                               "AppDeveloperTechsupport=support@vorntech.ru\n"
                               "AppDeveloperWeb=\n"
                               "AppName=failedStartSaveLosesNothing\n"
                               "AppVersion=3.0.0.0\n"
                               "CertCA=<certs>/ca.pem\n"
                               "CertUser=\n"
                               "ExportPath=<home>/exports\n"
                               "KvarnolLogin=иванов@почта.рф\n"
                               "KvarnolServer=kvarnol.example.ru\n"
                               "LotvarskLogin=\n"
                               "LotvarskServer=lotvarsk.example.ru:8069\n"
                               "OldServer=old.example.ru\n"
                               "PKeyUser=\n"
                               "Port=4443\n"
                               "ProductPath=<home>/program\n"
                               "Protocol=http\n"
                               "Server=unblock.example.ru\n"
                               "Timeout=18000\n"
                               "dddPath=<home>/Загрузки\n";
        const auto filled = [this](QString text) {
            return text.replace("<certs>", qEnvironmentVariable("DRVP_CERTS_DIR")).replace("<home>", home.path());
        };
        QFile written(file);
        QVERIFY(written.open(QIODevice::WriteOnly) && written.write(filled(byHand).toUtf8()) > 0);
        written.close();

        ReadOnlyFolder store(QFileInfo(file).path());
        QVERIFY(store.isReadOnly());
        Rig rig(true);
        QCOMPARE(rig.shown("LKSCfgTbl", "KvarnolLogin"), QString("иванов@почта.рф"));
        QCOMPARE(rig.shown("PathCfgTbl", "dddPath"), home.path() + "/Загрузки");
        store.release();
        rig.edit("ServerCfgTbl", "Timeout", {typeText("5000")});
        rig.click("SaveCfgBtn");
        QVERIFY(!rig.window.isVisible());

        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()),
                 filled(QString(byHand)
                            .replace("AppVersion=3.0.0.0", "AppVersion=")
                            .replace("OldServer=old.example.ru\n", "")
                            .replace("Timeout=18000", "Timeout=5000")));
    }

    // Keys left pending by Cancel show their edited values, and a chosen
    // certificate its details, when the dialog opens again, so Save then
    // stores what the user chose; Config takes the certificate on Save only.
    void reopenShowsPendingValues()
    {
        QTemporaryDir exports;
        Rig rig;
        QSignalSpy certChanged(&rig.config, &Config::userCertChanged);
        rig.edit("ServerCfgTbl", "Timeout", {typeText("5000")});
        rig.edit("PathCfgTbl", "ExportPath", {chooseFile(exports.path())});
        QCOMPARE(rig.edit("AuthCfgTbl", "CertUser", {chooseFile(certFile("expired.pem"))}), QStringList(certFiles));
        QCOMPARE(rig.config.changedKeys, QStringList({"Timeout", "ExportPath", "CertUser"}));
        rig.escape({pressButton(QMessageBox::Cancel)});
        QVERIFY(!rig.window.isVisible());

        rig.window.on_Show();
        QCOMPARE(rig.shown("ServerCfgTbl", "Timeout"), QString("5000"));
        QCOMPARE(rig.shown("PathCfgTbl", "ExportPath"), exports.path());
        QCOMPARE(rig.shown("AuthCfgTbl", "CertUser"), certFile("expired.pem"));
        const QByteArray der = QSslCertificate::fromPath(certFile("expired.pem")).value(0).toDer();
        const QString sha1 = QCryptographicHash::hash(der, QCryptographicHash::Sha1).toHex().toUpper();
        QCOMPARE(rig.certColumn(2), "0A1B2C3D|" + sha1 + "|Петров Пётр|petrov@example.ru|ООО Архив|"
                                    "01.01.2020 00:00:00|01.01.2021 00:00:00");
        // Only the authority's column makes the table worth exporting.
        QVERIFY(!rig.find<QToolButton>("CertInfo2XLSbtn")->isEnabled());
        QCOMPARE(rig.applySave(), QString("11"));
        QVERIFY(rig.config.userCert.isNull());

        rig.click("SaveCfgBtn");
        QVERIFY(!rig.window.isVisible());
        QCOMPARE(onDisk("Timeout"), QString("5000"));
        QCOMPARE(onDisk("ExportPath"), exports.path());
        QCOMPARE(onDisk("CertUser"), certFile("expired.pem"));
        QCOMPARE(rig.config.path("ExportPath"), exports.path());
        QCOMPARE(rig.config.userCert, QSslCertificate::fromPath(certFile("expired.pem")).value(0));
        QCOMPARE(certChanged.count(), 1); // the main window's title follows the new certificate
    }

    // A refused value, path, certificate or key leaves the table and the
    // pending list as they were; the program's own folder is shown, never
    // chosen; an upload service's address may carry a port.
    void refusedEditsChangeNothing_data()
    {
        QTest::addColumn<QString>("tableName");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("chosen"); // typed, or the file chosen
        QTest::addColumn<QString>("phrase"); // a key's pass phrase; "<cancel>": the question is cancelled
        QTest::addColumn<QStringList>("shown");
        const auto row = [](const char *name, const char *table, const char *key, const QString &chosen,
                            const QStringList &shown, const QString &phrase = QString()) {
            QTest::newRow(name) << table << key << chosen << phrase << shown;
        };
        const QString server = "input:Адрес сервера", certError = "Ошибка выбора сертификата|";
        row("unblock server with a port", "ServerCfgTbl", "Server", "kvob.ru:7000", {server, serverRefusal});
        row("port with a line", "ServerCfgTbl", "Port", "80\n81", {"input:Порт сервера", portRefusal});
        row("time-out 99", "ServerCfgTbl", "Timeout", "99", {"input:Время ожидания отклика", timeoutRefusal});
        row("service with a scheme", "LKSCfgTbl", "KvarnolServer", "https://a.ru", {server, serverRefusal});
        row("service host and port", "LKSCfgTbl", "LotvarskServer", "lotvarsk.digital:8069", {server});
        // A login reaches the log: a line break in it would forge a line there.
        row("login with a line break", "LKSCfgTbl", "KvarnolLogin", "driver\n01.01.2021 00:00:00 [Info] - forged",
            {"input:Логин", "Указан некорректный логин.|Логин не должен содержать управляющих символов."});
        row("login in Russian", "LKSCfgTbl", "LotvarskLogin", "иванов@почта.рф", {"input:Логин"});
        row("program folder", "PathCfgTbl", "ProductPath", made.filePath("two\nlines"), {});
        row("folder with a line break", "PathCfgTbl", "dddPath", made.filePath("two\nlines"),
            {"files:All Files (*)", pathRefusal});
        row("certificate with a tab", "AuthCfgTbl", "CertUser", made.filePath("user\t.pem"), {certFiles, pathRefusal});
        row("no certificate", "AuthCfgTbl", "CertUser", certFile("notpem.txt"),
            {certFiles, certError + "Файл не содержит сертификат."});
        row("certificate too large to read", "AuthCfgTbl", "CertUser", made.filePath("big.pem"),
            {certFiles, certError + "Не удалось прочитать файл сертификата. 1 - Размер файла больше 256 КБ"});
        row("missing certificate", "AuthCfgTbl", "CertCA", certFile("missing.pem"),
            {certFiles, certError + "Указанный файл сертификата не найден: " + certFile("missing.pem")});
        row("wrong pass phrase", "AuthCfgTbl", "PKeyUser", certFile("user-rsa.pem"),
            {keyFiles, passPhraseInput, "Ошибка выбора закрытого ключа|Некорректный пароль или файл не содержит "
                                        "закрытого ключа."}, "wrong " + passPhrase());
        row("pass phrase cancelled", "AuthCfgTbl", "PKeyUser", certFile("user-pkcs8.pem"),
            {keyFiles, passPhraseInput, "Ошибка выбора закрытого ключа|Пользователь отменил загрузку ключа."},
            "<cancel>");
    }
    void refusedEditsChangeNothing()
    {
        QFETCH(QString, tableName);
        QFETCH(QString, key);
        QFETCH(QString, chosen);
        QFETCH(QString, phrase);
        QFETCH(QStringList, shown);
        Rig rig;
        const QString before = rig.shown(tableName, key);
        const bool typed = tableName == "ServerCfgTbl" || tableName == "LKSCfgTbl";
        QList<ModalAnswer> answers{typed ? typeText(chosen) : chooseFile(chosen)};
        if (!phrase.isEmpty())
            answers << (phrase == "<cancel>" ? [](QDialog *dialog) { dialog->reject(); } : typeText(phrase));
        QCOMPARE(rig.edit(tableName, key, answers), shown);
        const bool accepted = shown.size() == 1;
        QCOMPARE(rig.shown(tableName, key), accepted ? chosen : before);
        QCOMPARE(rig.config.changedKeys, accepted ? QStringList(key) : QStringList());
        QCOMPARE(rig.certColumn(1) + rig.certColumn(2), QString(12, '|'));
    }

    // A row is changed through its chooser, opened by a double click or by
    // the page's key as by the page's button, never in the cell itself; the
    // program's own folder is shown, never chosen. Ctrl+Return saves and closes.
    void rowChangedByDoubleClickOrKey_data()
    {
        QTest::addColumn<QString>("tableName");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QKeySequence>("shortcut"); // none: a double click on the value
        QTest::addColumn<QString>("chosen");        // typed, or the file chosen; none: nothing asked
        QTest::addColumn<QStringList>("shown");
        const QKeySequence click, open("Ctrl+O"), edit("Ctrl+E");
        const QString folders = "files:All Files (*)", server = "input:Адрес сервера";
        QTest::newRow("folder, double click") << "PathCfgTbl" << "dddPath" << click << home.path()
                                              << QStringList(folders);
        QTest::newRow("program folder, double click") << "PathCfgTbl" << "ProductPath" << click << "" << QStringList();
        QTest::newRow("folder, Ctrl+O") << "PathCfgTbl" << "ExportPath" << open << home.path() << QStringList(folders);
        QTest::newRow("certificate, double click") << "AuthCfgTbl" << "CertCA" << click << certFile("ca.pem")
                                                   << QStringList(certFiles);
        QTest::newRow("certificate, Ctrl+O") << "AuthCfgTbl" << "CertUser" << open << certFile("user.pem")
                                             << QStringList(certFiles);
        QTest::newRow("port, double click") << "ServerCfgTbl" << "Port" << click << "8080"
                                            << QStringList("input:Порт сервера");
        QTest::newRow("server, Ctrl+E") << "ServerCfgTbl" << "Server" << edit << "a.example.ru" << QStringList(server);
        QTest::newRow("service, double click") << "LKSCfgTbl" << "KvarnolServer" << click << "k.example.ru"
                                               << QStringList(server);
        QTest::newRow("service, Ctrl+E") << "LKSCfgTbl" << "LotvarskServer" << edit << "l.example.ru"
                                         << QStringList(server);
    }
    void rowChangedByDoubleClickOrKey()
    {
        QFETCH(QString, tableName);
        QFETCH(QString, key);
        QFETCH(QKeySequence, shortcut);
        QFETCH(QString, chosen);
        Rig rig;
        rig.select(tableName, key);
        QTableWidgetItem *cell = rig.cell(tableName, key);
        const QString before = cell->text();
        const bool typed = tableName == "ServerCfgTbl" || tableName == "LKSCfgTbl";
        const QStringList buttons{"ChgPathCfgBtn", "ChgAuthCfgBtn", "EditServerCfgBtn", "EditLKSCfgBtn"};
        QSignalSpy clicked(rig.find<QToolButton>(buttons.at(rig.pages.indexOf(tableName))), &QAbstractButton::clicked);
        QApplication::setActiveWindow(&rig.window);
        const QStringList shown = dialogsShownBy(
            [&] {
                if (shortcut.isEmpty()) {
                    tryToEditCell(rig.table(tableName), cell);
                    return;
                }
                QTest::keySequence(&rig.window, shortcut); // an animated click, a moment later
                QVERIFY(clicked.wait(5000));
            },
            {typed ? typeText(chosen) : chooseFile(chosen)});
        QTEST(shown, "shown");
        QCOMPARE(cell->text(), chosen.isEmpty() ? before : chosen);
        if (chosen.isEmpty()) {
            QCOMPARE(rig.applySave(), QString("00"));
            return;
        }
        QApplication::setActiveWindow(&rig.window);
        QTest::keySequence(&rig.window, QKeySequence("Ctrl+Return"));
        QTRY_VERIFY(!rig.window.isVisible());
        QCOMPARE(onDisk(key), chosen);
    }

    // A chosen key replaces the one in use only on Apply, and only while its
    // path is still the one chosen; the typed phrase is written nowhere.
    void keyUsedFromApply()
    {
        Rig rig;
        QFile inUse(certFile("rogue-user.key"));
        QVERIFY(inUse.open(QIODevice::ReadOnly));
        rig.config.userKey = QSslKey(&inUse, QSsl::Rsa);
        const QByteArray inUsePem = rig.config.userKey.toPem();
        const int earlierMessages = messages.size();
        const auto chooseKey = [&] {
            return rig.edit("AuthCfgTbl", "PKeyUser", {chooseFile(certFile("user-pkcs8.pem")), typeText(passPhrase())});
        };
        QCOMPARE(chooseKey(), QStringList({keyFiles, passPhraseInput}));
        QCOMPARE(rig.config.changedKeys, QStringList("PKeyUser"));
        QCOMPARE(rig.config.userKey.toPem(), inUsePem);

        // Chosen, then the settings cleared before Apply: the key in use stays.
        rig.config.auth["PKeyUser"] = certFile("rogue-user.key");
        chooseKey();
        rig.select("AuthCfgTbl", "PKeyUser");
        rig.click("ClearAuthCfgBtn");
        rig.click("ApplyCfgBtn");
        QCOMPARE(rig.config.userKey.toPem(), inUsePem);

        // Chosen again and applied: in use from now on.
        chooseKey();
        rig.click("ApplyCfgBtn");
        QFile pem(certFile("user-pkcs8.pem"));
        QVERIFY(pem.open(QIODevice::ReadOnly));
        const QSslKey chosen(&pem, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey, passPhrase());
        QCOMPARE(rig.config.userKey.toPem(), chosen.toPem());
        QCOMPARE(onDisk("PKeyUser"), certFile("user-pkcs8.pem"));
        for (const QString &line : messages.mid(earlierMessages))
            QVERIFY2(!line.contains(passPhrase()), qPrintable(line));
    }

    // The authority's certificate makes the table exportable; clearing empties
    // it, and the certificate in use stays until the next start.
    void certificateTableExportedAndCleared()
    {
        Rig rig;
        rig.edit("AuthCfgTbl", "CertCA", {chooseFile(certFile("ca.pem"))});
        rig.click("ApplyCfgBtn");
        QTemporaryDir out;
        dialogsShownBy([&] { rig.click("CertInfo2CSVbtn"); }, {chooseFile(out.filePath("certs"))});
        QFile csv(out.filePath("certs.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n");
        QCOMPARE(lines.size(), 9); // header, seven rows, nothing after the last CR LF
        QCOMPARE(lines[0], QString("Параметр,Сертификат УЦ,Сертификат пользователя"));

        rig.select("AuthCfgTbl", "CertCA");
        rig.click("ClearAuthCfgBtn");
        QCOMPARE(rig.config.changedKeys, QStringList("CertCA")); // the others were empty already
        QCOMPARE(rig.certColumn(1), QString("||||||"));
        for (const char *button : {"CertInfo2XLSbtn", "CertInfo2CSVbtn", "ClearAuthCfgBtn"})
            QVERIFY2(!rig.find<QToolButton>(button)->isEnabled(), button);
        rig.click("ApplyCfgBtn");
        QCOMPARE(onDisk("CertCA"), QString());
        QVERIFY(!rig.config.caCert.isNull());
    }

    // A description its column cuts shows whole in its tool tip; one shown
    // whole has none.
    void cutTextsShowWhole()
    {
        Rig rig;
        rig.select("PathCfgTbl", "ProductPath");
        QTableWidget *table = rig.table("PathCfgTbl");
        const auto tipOf = [table](const QString &key) {
            const QTableWidgetItem *description = table->item(table->findItems(key, Qt::MatchExactly).first()->row(), 1);
            return toolTipAt(table->viewport(), table->visualItemRect(description).center());
        };
        QCOMPARE(tipOf("ProductPath"), QString("Путь к исполняемому файлу Дравек Про"));
        QCOMPARE(tipOf("ExportPath"), QString());
    }

    // Tab-separated rows; a selection short of the last column ends each row
    // with a tab.
    void copyOfSelection()
    {
        Rig rig;
        QTableWidget *table = rig.table("ServerCfgTbl");
        rig.select("ServerCfgTbl", "Port");
        // The menu is opened and closed at once; the table that asked becomes the copied one.
        QTimer::singleShot(0, [] {
            if (QWidget *menu = QApplication::activePopupWidget())
                menu->close();
        });
        emit table->customContextMenuRequested(QPoint(5, 5));
        const QStringList copied{"Port\tПорт сервера разблокировки\t\r\nServer\tАдрес сервера разблокировки\t\r\n",
                                 "Port\tПорт сервера разблокировки\t1080\r\n"
                                 "Server\tАдрес сервера разблокировки\tkvob.vorntech.ru\r\n"};
        for (int right = 1; right <= 2; ++right) {
            table->clearSelection();
            table->setRangeSelected(QTableWidgetSelectionRange(0, 0, 1, right), true);
            QVERIFY(QMetaObject::invokeMethod(&rig.window, "slotCopyRecords"));
            QCOMPARE(QString::fromUtf8(QApplication::clipboard()->mimeData()->data("text/plain")), copied[right - 1]);
        }
    }
};

QTEST_MAIN(TestConfigWindow)
#include "tst_configwindow.moc"
