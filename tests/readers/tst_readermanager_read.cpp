#include "tests/readers/CardDump.h"
#include "tests/readers/ReaderManagerRig.h"
#include "tests/support/VirtualCardProcess.h"

#include <QFileInfo>
#include <QtTest>

// Whole-card reads through the monitor, the reader manager in its thread,
// pcscd and the virtual card. What an insertion publishes is checked through
// the main window, on the same path.
class TestReaderManagerRead : public QObject
{
    Q_OBJECT

private slots:
    void readRoad_data();
    void readRoad();
    void unknownReaderEndsAtOnce();
};

void TestReaderManagerRead::readRoad_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("pin");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("filePrefix");
    QTest::addColumn<QByteArray>("countAfter");

    const QByteArray noCount;
    QTest::newRow("kind 1 wrong PIN") << "driver-rfskzi" << QStringList() << QByteArray("9999")
                                      << "3|Не корректный ПИН-код" << "" << noCount;
    QTest::newRow("kind 2") << "driver-estr" << QStringList() << QByteArray() << "2|Карта успешно считана"
                            << "ЕСТР_RUD0000001100200-" << noCount;
    // The save presents the PIN again to zero the count: the manager keeps it until then.
    // A kind-1 driver card takes the same road without the count.
    QTest::newRow("kind 1 workshop") << "workshop-rfskzi" << QStringList() << QByteArray("1234")
                                     << "2|Карта успешно считана" << "РФСКЗИ_RUW0000000456700-"
                                     << QByteArray::fromHex("0000");
    QTest::newRow("count not reset") << "workshop-rfskzi" << QStringList{"--fail", "update:1:6581"}
                                     << QByteArray("1234") << "2|Карта считана, счетчик калибровок не обнулен"
                                     << "РФСКЗИ_RUW0000000456700-" << QByteArray::fromHex("0003");
    QTest::newRow("card pulled mid-read") << "driver-estr" << QStringList{"--remove-after", "40"} << QByteArray()
                                          << "3|Не удалось считать карту" << "" << noCount;
}

void TestReaderManagerRead::readRoad()
{
    QFETCH(QString, profile);
    QFETCH(QStringList, options);
    QFETCH(QString, filePrefix);
    QFETCH(QByteArray, countAfter);
    QFETCH(QByteArray, pin);
    QFETCH(QString, shown);
    ReaderManagerRig rig;
    QTemporaryDir dump;
    VirtualCardProcess card(0);
    QVERIFY(card.insert(profile, options + QStringList{"--dump", dump.path()}));
    QVERIFY(rig.waitForCard(card.name()));
    rig.config.setLastDddPath(rig.folder.filePath("earlier card.ddd"));

    const SecretBytes typed(pin);
    const QByteArray held = typed.bytes(); // shares the buffer the window hands over
    const QString reader = card.name();
    rig.request([&rig, reader, typed] { rig.manager->on_ReadCard(reader, &rig.progress.element, typed); });
    const QString finish = rig.takeFinish();
    QCOMPARE(held, QByteArray(pin.size(), '\0')); // overwritten once used, for every holder
    QVERIFY2(finish.startsWith("read:"), qPrintable(finish));
    const QString path = finish.mid(5);
    QTRY_COMPARE(rig.progress.shown(), shown);
    QCOMPARE(rig.config.lastDddPath(), path);
    QCOMPARE(QDir(rig.folder.path()).entryList({"*.ddd"}).size(), filePrefix.isEmpty() ? 0 : 1);
    if (!filePrefix.isEmpty()) {
        QVERIFY2(QFileInfo(path).fileName().startsWith(filePrefix), qPrintable(path));
        QVERIFY(QFileInfo(path).size() > 1000);
    }
    if (shown.startsWith("2|Карта считана")) {
        QTRY_VERIFY(rig.logged(
            QStringLiteral("1|%1: Не удалось обнулить счетчик калибровок карты тахографа.").arg(card.name())));
    }

    QVERIFY(card.remove());
    if (!countAfter.isEmpty())
        QCOMPARE(readCardDump(dump.path()).value(0x0509).left(2), countAfter);
}

void TestReaderManagerRead::unknownReaderEndsAtOnce()
{
    ReaderManagerRig rig;
    rig.read("no such reader");
    QCOMPARE(rig.takeFinish(), QString("read:"));
    QTRY_COMPARE(rig.progress.shown(), QString("3|Картридер не найден"));
    QVERIFY(rig.logged("2|Не найден картридер: no such reader."));
    QVERIFY(!rig.manager->readerState("no such reader").isKnown());
}

QTEST_MAIN(TestReaderManagerRead)
#include "tst_readermanager_read.moc"
