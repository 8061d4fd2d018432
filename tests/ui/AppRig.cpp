#include "tests/ui/AppRig.h"

#include "tests/forms/FormHarness.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/VirtualCardProcess.h"
#include "ui/AppWiring.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtTest>

namespace {

QStringList wiringWarnings;
QtMessageHandler previousHandler = nullptr;
bool recordingWarnings = false;

void recordWiringWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("connectSlotsByName")) || message.contains(QLatin1String("Cannot queue")))
        wiringWarnings << message;
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

bool AppRig::quiet()
{
    return wiringWarnings.isEmpty();
}

bool AppRig::recordWarnings()
{
    if (!recordingWarnings)
        previousHandler = qInstallMessageHandler(recordWiringWarnings);
    recordingWarnings = true;
    return true;
}

AppRig::AppRig()
{
    QCoreApplication::setOrganizationName(QStringLiteral("ВОРНТЕХ"));
    QCoreApplication::setApplicationName(QStringLiteral("Дравек Про"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.1.1.0"));
    config.setDefaults();
    config.setPath(QStringLiteral("dddPath"), ddd.path());
    config.auth[QStringLiteral("CertUser")] = UnblockServerProcess::certPath("user.pem");
    config.auth[QStringLiteral("CertCA")] = UnblockServerProcess::certPath("ca.pem");
    config.loadCertificate(QStringLiteral("CertCA"));
    config.loadCertificate(QStringLiteral("CertUser"));

    manager->moveToThread(&managerThread);
    const AppObjects objects{&monitor->agent(), manager.get(), window.get(), &client, &sender,
                             &config, &logger, &configWindow, &aboutWindow};
    wired = connectApplication(objects) && connectLogging(objects) && quiet();
    QObject::connect(&logger, &DRVPEventLogger::newLogMessage, window.get(),
                     [this](const QString& line) { log << line; });
    QObject::connect(manager.get(), &ReaderManager::readFinished, window.get(),
                     [this](const QString& path) { finished << QStringLiteral("read ") + path; });
    QObject::connect(manager.get(), &ReaderManager::checkFinished, window.get(),
                     [this] { finished << QStringLiteral("check"); });

    manager->setConfig(&config);
    client.setConfig(&config);
    window->setConfig(&config);
    window->setReaderManager(manager.get());
    window->setSender(&sender);
    configWindow.config = &config;
    aboutWindow.config = &config;
    monitor->start();
    managerThread.start();
    window->show();
}

AppRig::~AppRig()
{
    monitor.reset();
    managerThread.quit();
    managerThread.wait();
    if (!animationsSettled(window.get()))
        qWarning("Clear-button animations still running at the end of the test");
    window.reset();
}

void AppRig::useUnblockServer(quint16 port)
{
    config.unblockServer[QStringLiteral("Server")] = QStringLiteral("127.0.0.1");
    config.unblockServer[QStringLiteral("Port")] = QString::number(port);
    config.unblockServer[QStringLiteral("Timeout")] = QStringLiteral("15000");
}

void AppRig::useServices(const QString& kvarnolHost, const QString& lotvarskHost)
{
    config.services[QStringLiteral("Protocol")] = QStringLiteral("http");
    config.services[QStringLiteral("KvarnolServer")] = kvarnolHost;
    config.services[QStringLiteral("LotvarskServer")] = lotvarskHost;
    config.services[QStringLiteral("KvarnolLogin")] = QStringLiteral("driver");
    config.services[QStringLiteral("LotvarskLogin")] = QStringLiteral("driver");
}

void AppRig::useKeyFile()
{
    config.auth[QStringLiteral("PKeyUser")] = UnblockServerProcess::certPath("user-pkcs8.pem");
}

QString AppRig::text(const QString& name) const
{
    if (const auto* label = widget<QLabel>(name))
        return label->text();
    if (const auto* edit = widget<QLineEdit>(name))
        return edit->text();
    return QStringLiteral("<no text widget %1>").arg(name);
}

bool AppRig::enabled(const QString& name) const
{
    const auto* w = widget<QWidget>(name);
    return w && w->isEnabled();
}

bool AppRig::click(const QString& name)
{
    auto* button = widget<QAbstractButton>(name);
    if (!button || !button->isVisible() || !button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

bool AppRig::type(const QString& name, const QString& text)
{
    auto* edit = widget<QLineEdit>(name);
    if (!edit || !edit->isVisible() || !edit->isEnabled())
        return false;
    QTest::keyClicks(edit, text);
    return true;
}

bool AppRig::selectReader(const QString& readerName)
{
    auto* table = widget<QTableWidget>(QStringLiteral("ReaderListTbl"));
    if (!QTest::qWaitFor([&] { return !table->findItems(readerName, Qt::MatchExactly).isEmpty(); }, 15000))
        return false;
    QTableWidgetItem* item = table->findItems(readerName, Qt::MatchExactly).first();
    table->scrollToItem(item);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, table->visualItemRect(item).center());
    return table->currentRow() == item->row();
}

bool AppRig::waitForCardRow(const QString& readerName)
{
    auto* table = widget<QTableWidget>(QStringLiteral("ReaderListTbl"));
    return QTest::qWaitFor(
        [&] {
            const QList<QTableWidgetItem*> found = table->findItems(readerName, Qt::MatchExactly);
            const QTableWidgetItem* number = found.isEmpty() ? nullptr : table->item(found.first()->row(), 1);
            return number && !number->text().isEmpty();
        },
        15000);
}

bool AppRig::showCard(VirtualCardProcess& card, const QString& profile, const QStringList& options)
{
    return card.insert(profile, options) && waitForCardRow(card.name()) && selectReader(card.name());
}

int AppRig::mainPage() const
{
    return widget<QStackedWidget>(QStringLiteral("MainFrame"))->currentIndex();
}

int AppRig::viewPage() const
{
    return widget<QStackedWidget>(QStringLiteral("ViewFrame"))->currentIndex();
}

QString AppRig::commandButtons() const
{
    QString states;
    for (const char* name :
         {"UploadBtn", "ReadCardsBtn", "AutoUnblockBtn", "CheckingCardBtn", "UnblockCardBtn", "CancelBtn"})
        states += enabled(QLatin1String(name)) ? QLatin1Char('1') : QLatin1Char('0');
    return states;
}

bool AppRig::logged(const QString& part) const
{
    for (const QString& line : log) {
        if (line.contains(part))
            return true;
    }
    return false;
}
