// A card swapped while another program keeps it from us: the operation's
// hold finds the other card and lets it go untouched, and no line says the
// first card was read, diagnosed or unblocked. The card left in its place
// goes through as ever. Through the monitor, the reader manager in its
// thread, pcscd and the virtual cards.

#include "tests/readers/CardCounters.h"
#include "tests/readers/CardDump.h"
#include "tests/readers/ReaderManagerRig.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/VirtualCardProcess.h"

#include <QtTest>

#include <ctime>

namespace {

const QString oldPin = QStringLiteral("31323334FFFFFFFF");
const QString newPin = QStringLiteral("35363738FFFFFFFF");
const QByteArray ownDate = QByteArray::fromHex("5E0BE100");

} // namespace

class TestCardSwap : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void swappedDuringTheWait_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("swapped");
        QTest::addColumn<QString>("success"); // the first card's line; %1 the reader
        const QString unblocked = QStringLiteral("0|%1: Карта RUD0000012345600 / A23501000123456 успешно разблокирована.");
        const QStringList successes{
            QStringLiteral("0|%1 - Сформированный ddd-файл успешно сохранен: "),
            QStringLiteral("0|%1: Завершено диагностирование карты RUD0000012345600 / A23501000123456."), unblocked,
            unblocked};
        const QStringList operations{"read", "diagnosis", "unblock", "automatic unblock"};
        for (int i = 0; i < operations.size(); ++i) {
            for (const bool swapped : {true, false}) {
                QTest::addRow("%s, %s", qPrintable(operations.at(i)), swapped ? "swapped" : "left in place")
                    << operations.at(i) << swapped << successes.at(i);
            }
        }
    }

    void swappedDuringTheWait()
    {
        QFETCH(QString, operation);
        QFETCH(bool, swapped);
        QFETCH(QString, success);
        const bool unblocks = operation.endsWith("unblock");
        const QStringList blocked = unblocks ? QStringList{"--pin-tries", "0"} : QStringList();
        ReaderManagerRig rig;
        QTemporaryDir firstDump, secondDump;
        VirtualCardProcess first(0);
        QVERIFY(first.insert("driver-rfskzi", blocked + QStringList{"--patch", "050E:0:5E0BE100", "--dump",
                                                                     firstDump.path()}));
        const QString reader = first.name();
        QVERIFY(rig.waitForCard(reader));

        OtherProgram other;
        QVERIFY(other.connect(reader, Pcsc::SCARD_SHARE_EXCLUSIVE));
        if (operation == "read") {
            rig.read(reader, "1234");
        } else if (operation == "diagnosis") {
            rig.check(reader, "1234");
        } else if (operation == "unblock") {
            rig.unblock(reader, "12345678", "5678");
        } else {
            rig.autoUnblock(reader, "5678");
            QVERIFY(rig.waitForCommands(1));
            rig.answer("findPUK", {"RUD0000012345600", "A23501000123456", "12345678", "None", "Сервер", "7"});
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.progress.message.text(), QString("Карта занята другой программой, ожидание…"),
                                  ReaderManagerRig::generousMs);
        VirtualCardProcess second(0);
        if (swapped) {
            QVERIFY(first.remove());
            QVERIFY(second.insert("driver-estr", blocked + QStringList{"--patch", "050E:0:5E0BE100", "--dump",
                                                                       secondDump.path()}));
        }
        other.release();
        QVERIFY(rig.takeFinish() != "none");

        const QString line = success.arg(reader);
        QCOMPARE(!rig.log.filter(line).isEmpty(), !swapped);
        QCOMPARE(QDir(rig.folder.path()).entryList({"*.ddd"}).size(), !swapped && operation == "read" ? 1 : 0);
        if (!swapped) {
            QVERIFY(first.remove());
            if (unblocks)
                QCOMPARE(readCardCounters(firstDump.path()).value("pin"), newPin);
            return;
        }
        QTRY_COMPARE(rig.progress.shown(), QString("3|Карта была заменена"));
        QVERIFY2(rig.logged(QStringLiteral("2|%1: Карта была заменена: в картридере карта RUD0000001100200, а операция "
                                           "начата для карты RUD0000012345600. Операция прервана, на карту ничего не "
                                           "записано.")
                                .arg(reader)),
                 qPrintable(rig.log.join('\n')));
        QVERIFY(second.remove());
        const QMap<QString, QString> counters = readCardCounters(secondDump.path());
        QCOMPARE(counters.value("pin"), oldPin);
        QCOMPARE(counters.value("pin-tries"), unblocks ? QString("0") : QString("3"));
        QCOMPARE(counters.value("puk-tries"), QString("3"));
        QCOMPARE(readCardDump(secondDump.path()).value(0x050E), ownDate);
        QCOMPARE(readCardDump(firstDump.path()).value(0x050E), ownDate);
    }
};

QTEST_MAIN(TestCardSwap)
#include "tst_cardswap.moc"
