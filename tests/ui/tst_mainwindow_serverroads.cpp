// The server roads of the main window, driven through its widgets: the
// client status at the local unblock server with the pass-phrase dialog,
// and uploads of a freshly read card and of a picked file to both services
// of the local web-service double.

#include "tests/support/VirtualCardProcess.h"
#include "tests/ui/AppRig.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/WebServiceProcess.h"
#include "tests/ui/WindowAnswers.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLCDNumber>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int operationMs = 60000;
const QString uploaded = QStringLiteral("\nФайл успешно отправлен ...");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Both services, each a double of its own.
struct Services
{
    WebServiceProcess kvarnol;
    WebServiceProcess lotvarsk;

    WebServiceProcess& byButton(const QString& button) { return button == "KvarnolRBtn" ? kvarnol : lotvarsk; }
    WebServiceProcess& other(const QString& button) { return button == "KvarnolRBtn" ? lotvarsk : kvarnol; }
};

} // namespace

class TestMainWindowServerRoads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clientStatus_data();
    void clientStatus();
    void uploadsReadCard_data();
    void uploadsReadCard();
    void uploadsPickedFile();
    void failedReadUploadsNothing();

private:
    QString reader0 = VirtualCardProcess::readerName(0);
    QString reader1 = VirtualCardProcess::readerName(1);
    std::unique_ptr<UnblockServerProcess> server;
};

void TestMainWindowServerRoads::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toUtf8() + "/mainwindow-serverroads-config");
    qputenv("XDG_DATA_HOME", QDir::tempPath().toUtf8() + "/mainwindow-serverroads-data");
    server = std::make_unique<UnblockServerProcess>();
    QVERIFY(server->port != 0);
}

void TestMainWindowServerRoads::clientStatus_data()
{
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("logged");

    QTest::newRow("cancelled") << keyPassPhrase() << false << "Пользователь отменил загрузку ключа"
                               << "Пользователь отменил загрузку закрытого ключа.";
    QTest::newRow("wrong pass phrase") << "wrong" << true << "Не удалось загрузить закрытый ключ" << "";
    QTest::newRow("loaded") << keyPassPhrase() << true << "Cтатус обновлен"
                            << "Получен ответ сервера разблокировки на запрос";
}

void TestMainWindowServerRoads::clientStatus()
{
    QFETCH(QString, phrase);
    QFETCH(bool, accept);
    QFETCH(QString, shown);
    QFETCH(QString, logged);
    AppRig rig;
    rig.useUnblockServer(server->port);
    rig.useKeyFile();
    QSignalSpy requests(rig.window.get(), &MainWindow::makeCommand);

    QString left = "untouched";
    QCOMPARE(dialogsShownBy([&] { QVERIFY(rig.click("RefreshStatusBtn")); }, {typePassPhrase(phrase, accept, &left)}),
             QStringList{"input:Пароль закрытого ключа"});
    QCOMPARE(left, QString()); // cleared on every path
    QCOMPARE(requests.size(), accept && phrase != "wrong" ? 1 : 0);
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("StatusPrgLbl"), shown, operationMs);
    QTRY_VERIFY(rig.enabled("RefreshStatusBtn"));
    if (!logged.isEmpty())
        QVERIFY(rig.logged(logged));

    // The whole-program test sees the loaded status's request, counter and
    // rows; the window test, their rendering.
    QCOMPARE(rig.widget<QTableWidget>("LastAUBTbl")->rowCount(), requests.isEmpty() ? 0 : 2);
    QCOMPARE(rig.widget<QLCDNumber>("UnblockCounterLcd")->intValue(), requests.isEmpty() ? 0 : 42);
    QCOMPARE(rig.enabled("lastAUB2xls"), !requests.isEmpty());
    if (!requests.isEmpty())
        QCOMPARE(rig.viewPage(), 2);
}

void TestMainWindowServerRoads::uploadsReadCard_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("service");
    // A driver card goes to Kvarnol, a workshop card to Lotvarsk.
    QTest::newRow("kind 1 driver card with PIN") << "driver-rfskzi" << "1234" << "KvarnolRBtn";
    QTest::newRow("kind 2 workshop card") << "workshop-estr" << "" << "LotvarskRBtn";
}

void TestMainWindowServerRoads::uploadsReadCard()
{
    QFETCH(QString, profile);
    QFETCH(QString, pin);
    QFETCH(QString, service);
    Services services;
    AppRig rig;
    rig.useServices(services.kvarnol.host(), services.lotvarsk.host());
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, profile));

    QVERIFY(rig.click("UploadBtn"));
    QCOMPARE(rig.mainPage(), 5);
    QVERIFY(rig.widget<QAbstractButton>(service)->isChecked());
    QCOMPARE(rig.text("LKLoginEdt"), QStringLiteral("driver"));
    QCOMPARE(rig.enabled("LKReadPINEdt"), !pin.isEmpty());
    QVERIFY(rig.type("LKPassWordEdt", "secret"));
    QCOMPARE(rig.enabled("LKSendBtn"), pin.isEmpty());
    if (!pin.isEmpty()) {
        QVERIFY(rig.type("LKReadPINEdt", pin));
        QVERIFY(!rig.enabled("LKFileEdt")); // a PIN means this card, not a file
    }
    QVERIFY(rig.click("LKSendBtn"));

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("LKReadingProgressLbl"), uploaded, operationMs);
    QCOMPARE(rig.finished.size(), 1);
    const QString saved = rig.finished.first().mid(5);
    QCOMPARE(rig.text("LKFileEdt"), saved);
    WebServiceProcess& target = services.byButton(service);
    QCOMPARE(target.uploadedNames(), QStringList{QFileInfo(saved).fileName()});
    QCOMPARE(target.uploaded(QFileInfo(saved).fileName()), fileBytes(saved));
    QCOMPARE(services.other(service).requests().size(), 0);
    // The upload went on from the read's save step.
    QCOMPARE(stepState(rig.widget<QLabel>("LKReading0"), "card"), 2);
    QCOMPARE(stepState(rig.widget<QLabel>("LKReading2"), "save"), 2);
    QVERIFY(AppRig::quiet());
}

// The read-card test sends to both services; a picked file goes the same way.
void TestMainWindowServerRoads::uploadsPickedFile()
{
    Services services;
    AppRig rig;
    rig.useServices(services.kvarnol.host(), services.lotvarsk.host());
    const QString picked = rig.dddFolder() + "/picked.ddd";
    {
        QFile file(picked);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x76\x01\x00\x02picked card data", 20));
    }
    QVERIFY(rig.selectReader(reader1)); // no card there
    QVERIFY(rig.click("UploadBtn"));
    QVERIFY(!rig.enabled("LKReadPINEdt"));
    QCOMPARE(rig.text("LKLoginEdt"), QString());
    QVERIFY(!rig.widget<QAbstractButton>("KvarnolRBtn")->isChecked());
    QVERIFY(!rig.widget<QAbstractButton>("LotvarskRBtn")->isChecked());
    QCOMPARE(dialogsShownBy([&] { QVERIFY(rig.click("LKSelectFileBtn")); }, {chooseFile(picked)}),
             QStringList{"files:Все CRT файлы (*.ddd *.DDD)"});
    QCOMPARE(rig.text("LKFileEdt"), picked);
    QVERIFY(rig.click("LotvarskRBtn"));
    QCOMPARE(rig.text("LKLoginEdt"), QStringLiteral("driver"));
    QVERIFY(!rig.enabled("LKSendBtn"));
    QVERIFY(rig.type("LKPassWordEdt", "secret"));
    QVERIFY(rig.click("LKSendBtn"));

    QTRY_COMPARE_WITH_TIMEOUT(rig.text("LKReadingProgressLbl"), uploaded, operationMs);
    QCOMPARE(services.lotvarsk.uploaded("picked.ddd"), fileBytes(picked));
    QCOMPARE(services.kvarnol.requests().size(), 0);
    // No card was read: the first steps stayed idle.
    QCOMPARE(stepState(rig.widget<QLabel>("LKReading0"), "card"), 0);
    QCOMPARE(stepState(rig.widget<QLabel>("LKReading2"), "save"), 0);
}

// A good read and upload, then a read that fails at the PIN: the first
// card's file is neither offered nor sent again.
void TestMainWindowServerRoads::failedReadUploadsNothing()
{
    Services services;
    AppRig rig;
    rig.useServices(services.kvarnol.host(), services.lotvarsk.host());
    VirtualCardProcess card(0);
    QVERIFY(rig.showCard(card, "driver-rfskzi"));

    QVERIFY(rig.click("UploadBtn"));
    QVERIFY(rig.type("LKPassWordEdt", "secret"));
    QVERIFY(rig.type("LKReadPINEdt", "1234"));
    QVERIFY(rig.click("LKSendBtn"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("LKReadingProgressLbl"), uploaded, operationMs);
    const int requestsBefore = services.kvarnol.requests().size();

    QVERIFY(rig.click("CancelBtn"));
    QVERIFY(rig.click("UploadBtn"));
    QCOMPARE(rig.text("LKFileEdt"), QString());
    QVERIFY(rig.type("LKPassWordEdt", "secret"));
    QVERIFY(rig.type("LKReadPINEdt", "9999"));
    QVERIFY(rig.click("LKSendBtn"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished.size(), 2, operationMs);

    QCOMPARE(rig.finished.last(), QStringLiteral("read "));
    QCOMPARE(rig.text("LKReadingProgressLbl"), QStringLiteral("Не корректный ПИН-код"));
    QCOMPARE(rig.text("LKFileEdt"), QString());
    QVERIFY(!rig.sender.isBusy());
    QCOMPARE(services.kvarnol.requests().size(), requestsBefore);
    QCOMPARE(services.kvarnol.uploadedNames().size(), 1);
    QVERIFY(rig.enabled("LKReadPINEdt")); // another PIN may be tried
    QVERIFY(rig.window->close());
}

QTEST_MAIN(TestMainWindowServerRoads)
#include "tst_mainwindow_serverroads.moc"
