#include "ModalCatcher.h"

#include "ui/services/DRVPEventLogger.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

const QString kOpening = QStringLiteral("=== Дравек Про запущен ===");
const QString kClosing = QStringLiteral("=x= Дравек Про закрыт =x=");

// A sender as the other objects declare theirs.
class Sender : public QObject
{
    Q_OBJECT
signals:
    void logginMessage(uchar type, QString msg);
};

QString logPath()
{
    return QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation).value(0) +
           QStringLiteral("/dravekpro.log");
}

QByteArray fileBytes()
{
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The file's entries, each of which must end with CR LF.
QStringList entries()
{
    QString text = QString::fromUtf8(fileBytes());
    if (!text.endsWith(QStringLiteral("\r\n")))
        return {QStringLiteral("<not ended by CR LF>")};
    text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

} // namespace

class TestEventLogger : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void entryAndHtmlCopy_data();
    void entryAndHtmlCopy();
    void runsAppendBetweenOpeningAndClosingLines();
    void nothingWrittenOutsideOpenLog();
    void folderFailureIsShown();
    void fileOpenFailureIsShown();
    void sendersConnectBySignatureFromAnyThread();

private:
    QTemporaryDir dataHome;
};

void TestEventLogger::initTestCase()
{
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    QCoreApplication::setOrganizationName(QStringLiteral("tests"));
}

void TestEventLogger::init()
{
    // A folder of its own for every test and data row.
    QCoreApplication::setApplicationName(QString::fromLatin1(QTest::currentTestFunction()) +
                                         QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(logPath().startsWith(dataHome.path()));
}

void TestEventLogger::entryAndHtmlCopy_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("colour");
    QTest::newRow("info") << 0 << QStringLiteral("Карта вставлена") << "Info" << "92BD6C";
    QTest::newRow("warning") << 1 << QStringLiteral("two\nlines") << "Warr" << "ECBC1D";
    QTest::newRow("error") << 2 << QStringLiteral("<b>advice</b>") << "Crit" << "FF7F7F";
    QTest::newRow("type 3") << 3 << QStringLiteral("50%1 %2 %3") << "None" << "ffffff";
    QTest::newRow("type 255") << 255 << QString() << "None" << "ffffff";
}

void TestEventLogger::entryAndHtmlCopy()
{
    QFETCH(int, type);
    QFETCH(QString, message);
    QFETCH(QString, level);
    QFETCH(QString, colour);
    DRVPEventLogger logger;
    logger.openLog();
    QSignalSpy html(&logger, &DRVPEventLogger::newLogMessage);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    logger.on_logginMessage(quint8(type), message);
    const QDateTime after = QDateTime::currentDateTime();

    const QString entry = entries().value(1);
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(.{19}) \\[(\\w+)\\] - (.*)$"),
                                                             QRegularExpression::DotMatchesEverythingOption)
                                              .match(entry);
    QVERIFY2(match.hasMatch(), qPrintable(entry));
    const QDateTime stamp = QDateTime::fromString(match.captured(1), QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    QVERIFY(stamp >= before && stamp <= after);
    QCOMPARE(match.captured(2), level);
    QCOMPARE(match.captured(3), message);
    QCOMPARE(html.size(), 1);
    QCOMPARE(html.at(0).at(0).toString(), QStringLiteral("<span style=\"color:#%1;\">%2</span>").arg(colour, entry));
}

void TestEventLogger::runsAppendBetweenOpeningAndClosingLines()
{
    QVERIFY(QDir().mkpath(QFileInfo(logPath()).path()));
    QFile previous(logPath());
    QVERIFY(previous.open(QIODevice::WriteOnly));
    previous.write("kept\r\n");
    previous.close();

    for (const QString& text : {QStringLiteral("first run"), QStringLiteral("second run")}) {
        DRVPEventLogger logger;
        QSignalSpy html(&logger, &DRVPEventLogger::newLogMessage);
        logger.openLog();
        QVERIFY(html.value(0).value(0).toString().endsWith(kOpening + QStringLiteral("</span>")));
        logger.on_logginMessage(0, text);
        logger.closeLog();
    }

    QStringList messages;
    for (const QString& entry : entries())
        messages.append(entry.section(QStringLiteral(" [Info] - "), 1));
    QCOMPARE(messages, QStringList({QString(), kOpening, QStringLiteral("first run"), kClosing, kOpening,
                                    QStringLiteral("second run"), kClosing}));
    QVERIFY(fileBytes().startsWith("kept\r\n"));
    QVERIFY(fileBytes().contains(kOpening.toUtf8()));
}

void TestEventLogger::nothingWrittenOutsideOpenLog()
{
    // Neither the organisation's nor the application's folder exists yet.
    QCoreApplication::setOrganizationName(QStringLiteral("fresh organisation"));
    auto logger = std::make_unique<DRVPEventLogger>();
    QSignalSpy html(logger.get(), &DRVPEventLogger::newLogMessage);
    logger->on_logginMessage(1, QStringLiteral("too early"));
    QVERIFY(!QFile::exists(logPath()));

    logger->openLog();
    logger->on_logginMessage(0, QStringLiteral("while open"));
    logger->closeLog();
    const QByteArray written = fileBytes();
    QCOMPARE(entries().size(), 3);

    logger->on_logginMessage(2, QStringLiteral("too late"));
    logger.reset();
    QCOMPARE(html.size(), 5);
    QCOMPARE(fileBytes(), written);
    QCoreApplication::setOrganizationName(QStringLiteral("tests"));
}

void TestEventLogger::folderFailureIsShown()
{
    // A plain file where the organisation's folder should be.
    QCoreApplication::setOrganizationName(QStringLiteral("blocked"));
    QFile blocker(dataHome.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    DRVPEventLogger logger;
    QSignalSpy html(&logger, &DRVPEventLogger::newLogMessage);
    {
        ModalCatcher catcher;
        logger.openLog();
        QCOMPARE(catcher.texts, QStringList(QStringLiteral("В процессе создания рабочих папок возникла ошибка.")));
        QCOMPARE(catcher.informativeTexts.value(0),
                 QStringLiteral("При создании папки \"%1\" возникла ошибка. Журналирование событий невозможно.")
                     .arg(QFileInfo(logPath()).path()));
        QVERIFY(catcher.flags.value(0).testFlag(Qt::FramelessWindowHint));
    }
    QCOMPARE(html.size(), 0);
    logger.on_logginMessage(0, QStringLiteral("still shown"));
    logger.closeLog();
    QCOMPARE(html.size(), 2);
    QVERIFY(!QFile::exists(logPath()));
    QCoreApplication::setOrganizationName(QStringLiteral("tests"));
}

void TestEventLogger::fileOpenFailureIsShown()
{
    // A folder where the log file should be.
    QVERIFY(QDir().mkpath(logPath()));
    const QString failure =
        QStringLiteral("Не удалось открыть на запись файл журнала событий: %1. Журналирование событий невозможно.")
            .arg(logPath());

    DRVPEventLogger logger;
    QSignalSpy html(&logger, &DRVPEventLogger::newLogMessage);
    {
        ModalCatcher catcher;
        logger.openLog();
        QCOMPARE(catcher.texts, QStringList(failure));
    }
    QCOMPARE(html.size(), 1);
    QVERIFY(html.at(0).at(0).toString().startsWith(QStringLiteral("<span style=\"color:#FF7F7F;\">")));
    QVERIFY(html.at(0).at(0).toString().endsWith(QStringLiteral("[Crit] - ") + failure + QStringLiteral("</span>")));
}

void TestEventLogger::sendersConnectBySignatureFromAnyThread()
{
    QVERIFY(eventLogger && !eventLogger->parent());
    DRVPEventLogger logger;
    Sender sender;
    QVERIFY(connect(&sender, SIGNAL(logginMessage(quint8, QString)), &logger, SLOT(on_logginMessage(quint8, QString))));
    QSignalSpy html(&logger, SIGNAL(newLogMessage(QString)));

    std::unique_ptr<QThread> worker(QThread::create([&] {
        for (int i = 0; i < 3; ++i)
            emit sender.logginMessage(uchar(i), QStringLiteral("from worker %1").arg(i));
    }));
    worker->start();
    QVERIFY(worker->wait(60000));
    QTRY_COMPARE_WITH_TIMEOUT(html.size(), 3, 30000);
    for (int i = 0; i < 3; ++i)
        QVERIFY(html.at(i).at(0).toString().endsWith(QStringLiteral("from worker %1</span>").arg(i)));
}

QTEST_MAIN(TestEventLogger)
#include "tst_eventlogger.moc"
