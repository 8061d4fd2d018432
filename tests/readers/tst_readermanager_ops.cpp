#include "tests/readers/ReaderManagerRig.h"
#include "tests/support/UnblockServerProcess.h"
#include "tests/support/VirtualCardProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QtTest>

#include <atomic>

namespace {

int failedRows(const ReaderState &state)
{
    int failed = 0;
    for (const CmdCheckRow &row : state.cmdCheckRows)
        failed += row.failed;
    return failed;
}

} // namespace

// Diagnosis, cancelling each operation and running it again, and two cards
// at once, through the manager, pcscd and the virtual cards.
class TestReaderManagerOps : public QObject
{
    Q_OBJECT

private slots:
    void cancelThenRunAgain_data();
    void cancelThenRunAgain();
    void twoReadersTwoCards();
    void interruptWhileReadersComeAndGo();
};

void TestReaderManagerOps::cancelThenRunAgain_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("cancelledFinish");
    QTest::addColumn<QString>("cancelledShown");
    QTest::addColumn<QString>("againShown");

    QTest::newRow("read") << "read" << "driver-estr" << "read:" << "3|" << "2|Карта успешно считана";
    QTest::newRow("diagnosis") << "check" << "driver-rfskzi" << "check" << "" << "";
    QTest::newRow("automatic unblock") << "auto" << "driver-rfskzi" << "auto:-9999" << "3|Карта не разблокирована"
                                       << "2|Карта разблокирована";
}

void TestReaderManagerOps::cancelThenRunAgain()
{
    QFETCH(QString, operation);
    QFETCH(QString, profile);
    QFETCH(QString, cancelledShown);
    QFETCH(QString, againShown);
    UnblockServerProcess server("server", {"--reply", "<RUD0000012345600/><123-40000/><12345678/><None/><Сервер/><7/>",
                                           "--chunk", "8", "--pause", "150"});
    QVERIFY(server.port != 0);
    ReaderManagerRig rig;
    rig.useServer(server.port);
    VirtualCardProcess card(0);
    QVERIFY(card.insert(profile, {"--delay-ms", "5", "--pin-tries", operation == "auto" ? "0" : "3"}));
    QVERIFY(rig.waitForCard(card.name()));

    const auto start = [&] {
        if (operation == "read")
            rig.read(card.name());
        else if (operation == "check")
            rig.check(card.name(), "1234");
        else
            rig.autoUnblock(card.name(), "5678");
    };
    start();
    if (operation == "auto")
        QTRY_COMPARE(rig.commands.size(), 1);
    else
        QTRY_VERIFY(rig.progress.shown().contains("|Считывается"));
    rig.manager->on_InterruptAllOperation();
    QTEST(rig.takeFinish(), "cancelledFinish");
    QTRY_VERIFY2(rig.progress.shown().startsWith(cancelledShown), qPrintable(rig.progress.shown()));
    // An interrupted diagnosis stops before the next file.
    const int cancelledRows = rig.manager->readerState(card.name()).cmdCheckRows.size();

    start();
    const QString finish = rig.takeFinish();
    QVERIFY2(finish.startsWith(operation == "read" ? "read:/" : ""), qPrintable(finish));
    QTRY_VERIFY2(rig.progress.shown().startsWith(againShown), qPrintable(rig.progress.shown()));
    if (operation == "check") {
        QTRY_VERIFY(rig.logged(
            QStringLiteral("0|%1: Завершено диагностирование карты RUD0000012345600 / A23501000123456.").arg(card.name())));
        const ReaderState state = rig.manager->readerState(card.name());
        QCOMPARE(failedRows(state), 0);
        QVERIFY(!state.dataCheckRows.isEmpty() && !state.eventFaultRows.isEmpty());
        QVERIFY2(cancelledRows < state.cmdCheckRows.size(), qPrintable(QString::number(cancelledRows)));
    }
}

void TestReaderManagerOps::twoReadersTwoCards()
{
    ReaderManagerRig rig;
    VirtualCardProcess first(0);
    VirtualCardProcess second(1);
    QVERIFY(first.insert("driver-estr"));
    QVERIFY(second.insert("workshop-rf"));
    QVERIFY(rig.waitForCard(first.name()));
    QVERIFY(rig.waitForCard(second.name()));
    QCOMPARE(rig.manager->readerState(first.name()).cardNumber, QString("RUD0000001100200"));
    QCOMPARE(rig.manager->readerState(second.name()).cardNumber, QString("RUW1000000234500"));

    ProgressRow otherProgress(rig.folder.path());
    rig.read(first.name());
    const QString secondName = second.name();
    rig.request([&] { rig.manager->on_CheckCard(secondName, &otherProgress.element, SecretBytes()); });
    QString readFinish = rig.takeFinish();
    QCOMPARE(rig.takeFinish(), QString("check"));
    QVERIFY2(QFileInfo(readFinish.mid(5)).fileName().startsWith("ЕСТР_RUD0000001100200-"), qPrintable(readFinish));
    QTRY_COMPARE(rig.progress.shown(), QString("2|Карта успешно считана"));
    QCOMPARE(failedRows(rig.manager->readerState(second.name())), 0);
    QVERIFY(rig.manager->readerState(first.name()).cmdCheckRows.isEmpty());

    QVERIFY(first.remove());
    QVERIFY(rig.waitForCard(first.name(), false));
    QVERIFY(rig.manager->readerState(second.name()).cardPresent);
}

// The interrupt arrives from the GUI thread at any moment, also while the
// worker deletes readers (the sanitizer build catches a reader used after it
// was deleted).
void TestReaderManagerOps::interruptWhileReadersComeAndGo()
{
    ReaderManagerRig rig;
    QVERIFY(rig.waitForReaders(2));
    std::atomic<bool> done{false};
    rig.request([&] {
        for (int i = 0; i < 3000; ++i) {
            const QStringList names{QStringLiteral("ghost %1").arg(i % 5)};
            rig.manager->on_FoundCardReaders(names);
            rig.manager->on_UnmountedCardReader(names);
        }
        done = true;
    });
    QDeadlineTimer deadline(ReaderManagerRig::generousMs);
    while (!done && !deadline.hasExpired()) {
        rig.manager->on_InterruptAllOperation();
        rig.manager->readerState(QStringLiteral("ghost 3"));
    }
    QVERIFY(done);
    QCOMPARE(rig.manager->readerNames().size(), 2);
}

QTEST_MAIN(TestReaderManagerOps)
#include "tst_readermanager_ops.moc"
