#pragma once

#include "tests/support/ModalBoxes.h"
#include "tests/support/StepIcons.h"
#include "ui/app/Program.h"
#include "ui/services/DRVPEventLogger.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStackedWidget>
#include <QStringList>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// What the whole-program and window tests need around a running Program: the
// settings store and the log file where the program finds them, the message
// boxes it shows, and the window driven through its widgets as a user would.
namespace ProgramDriver {

// The program's settings store and data folder go into `home`.
inline bool useHome(const QTemporaryDir &home)
{
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    return home.isValid();
}

inline std::unique_ptr<QSettings> store()
{
    auto settings = std::make_unique<QSettings>(QStringLiteral("ВОРНТЕХ"), QStringLiteral("Дравек Про"));
    settings->setFallbacksEnabled(false);
    // As the program reads and writes the file.
    settings->setIniCodec("UTF-8");
    return settings;
}

inline void clearStore()
{
    store()->clear();
}

// What the window tests on cards share: the local unblock server listening
// on `unblockPort`, the test certificates, plain HTTP to the service doubles
// and a login for each.
inline void storeCardTestSettings(quint16 unblockPort)
{
    const QString certs = qEnvironmentVariable("DRVP_CERTS_DIR") + QLatin1Char('/');
    const QList<QPair<QString, QString>> values{
        {"Server", "127.0.0.1"},          {"Port", QString::number(unblockPort)}, {"Timeout", "15000"},
        {"CertCA", certs + "ca.pem"},     {"CertUser", certs + "user.pem"},      {"Protocol", "http"},
        {"KvarnolLogin", "driver"},      {"LotvarskLogin", "driver"},
    };
    for (const auto& value : values)
        store()->setValue(value.first, value.second);
}

inline QString dataFolder()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/ВОРНТЕХ/Дравек Про");
}

inline QStringList logLines()
{
    QFile file(dataFolder() + QStringLiteral("/dravekpro.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    lines.removeAll(QString());
    return lines;
}

inline QString text(QWidget* root, const QString& name)
{
    if (const auto* label = root->findChild<QLabel*>(name))
        return label->text();
    if (const auto* edit = root->findChild<QLineEdit*>(name))
        return edit->text();
    return QStringLiteral("<no text widget %1>").arg(name);
}

inline bool click(QWidget* root, const QString& name)
{
    auto* button = root->findChild<QAbstractButton*>(name);
    if (!button || !button->isVisible() || !button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

inline bool type(QWidget* root, const QString& name, const QString& text)
{
    auto* edit = root->findChild<QLineEdit*>(name);
    if (!edit || !edit->isVisible() || !edit->isEnabled())
        return false;
    // A trailing "\n" presses Return.
    const bool enter = text.endsWith(QLatin1Char('\n'));
    QTest::keyClicks(edit, enter ? text.chopped(1) : text);
    if (enter)
        QTest::keyClick(edit, Qt::Key_Return);
    return true;
}

// Waits for the reader's row to show a card number, then clicks the row.
inline bool selectCardReader(QWidget* root, const QString& reader)
{
    auto* table = root->findChild<QTableWidget*>(QStringLiteral("ReaderListTbl"));
    const auto row = [&] {
        const QList<QTableWidgetItem*> found = table->findItems(reader, Qt::MatchExactly);
        return found.isEmpty() ? -1 : found.first()->row();
    };
    const auto cardShown = [&] {
        return row() >= 0 && table->item(row(), 1) && !table->item(row(), 1)->text().isEmpty();
    };
    if (!QTest::qWaitFor(cardShown, 15000))
        return false;
    QTableWidgetItem* item = table->item(row(), 0);
    table->scrollToItem(item);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, table->visualItemRect(item).center());
    return table->currentRow() == item->row();
}

// The reader's row: 0 no card, 2 the card may be pulled, 3 the card is in
// use, -1 another picture (an error) or no such row.
inline int readerIcon(QWidget* window, const QString& reader)
{
    const auto* table = window->findChild<QTableWidget*>(QStringLiteral("ReaderListTbl"));
    const QList<QTableWidgetItem*> found = table->findItems(reader, Qt::MatchExactly);
    const QTableWidgetItem* header = found.isEmpty() ? nullptr : table->verticalHeaderItem(found.first()->row());
    return header ? iconState(header->icon(), QStringLiteral("card")) : -1;
}

inline bool enabled(QWidget* root, const QString& name)
{
    const auto* widget = root->findChild<QWidget*>(name);
    return widget && widget->isEnabled();
}

inline int page(QWidget* root, const QString& stack)
{
    return root->findChild<QStackedWidget*>(stack)->currentIndex();
}

// The program as main() starts it on the settings in the store, beside the
// sandbox's readers, with a log file and a .ddd folder of its own. Settings
// that would ask at start (the key file) go into its settings once it runs.
struct RunningProgram
{
    RunningProgram()
    {
        QFile::remove(dataFolder() + QStringLiteral("/dravekpro.log"));
        store()->setValue(QStringLiteral("dddPath"), ddd.path());
        boxesAtStart = boxesShownBy([this] { started = program.start(); });
        // After the window's own connections, so a finish is seen once the window has handled it.
        ReaderManager* manager = &program.readerManager();
        QObject::connect(manager, &ReaderManager::readFinished, window,
                         [this](const QString& path) { finished << QStringLiteral("read ") + path; });
        QObject::connect(manager, &ReaderManager::checkFinished, window,
                         [this] { finished << QStringLiteral("check"); });
        QObject::connect(manager, &ReaderManager::unblockFinished, window,
                         [this] { finished << QStringLiteral("unblock"); });
    }

    bool logged(const QString& part) const { return !logLines().filter(part).isEmpty(); }

    QTemporaryDir ddd;
    Program program{new DRVPEventLogger};
    MainWindow* window = &program.mainWindow();
    bool started = false;
    QStringList boxesAtStart;
    // "read <saved path>", "check" and "unblock" for each finished read,
    // diagnosis and manual unblock.
    QStringList finished;
};

} // namespace ProgramDriver
