#include "card/CardFileRecord.h"
#include "tests/readers/CardReaderRig.h"
#include "tests/support/VirtualCardProcess.h"

#include <QtTest>

#include <algorithm>

using FidList = QList<quint16>;
Q_DECLARE_METATYPE(FidList)

// Insertion read of every kind and type of card through pcscd and the
// virtual reader.
class TestCardReaderIdentify : public QObject
{
    Q_OBJECT

private slots:
    void identifiesKindTypeAndReadsGeneralFiles_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("names"); // kind and type as the log shows them
        QTest::addColumn<FidList>("files");

        const FidList driver{0x0002, 0x0005, 0x0501, 0x0520, 0x050E, 0x0521};
        const FidList workshop{0x0002, 0x0005, 0x0501, 0x0520, 0x0509};
        const FidList other{0x0002, 0x0005, 0x0501, 0x0520};
        QTest::newRow("driver-rfskzi") << "driver-rfskzi" << QStringList() << 1 << "РФСКЗИ/Карта водителя" << driver;
        QTest::newRow("workshop-rfskzi") << "workshop-rfskzi" << QStringList() << 1 << "РФСКЗИ/Карта мастерской"
                                         << workshop;
        QTest::newRow("control-estr") << "control-estr" << QStringList() << 2 << "ЕСТР/Карта контролера" << other;
        QTest::newRow("company-rf") << "company-rf" << QStringList() << 3 << "РФ/Карта предприятия" << other;
        QTest::newRow("control-rf, mixed-case authority") << "control-rf" << QStringList() << 3
                                                          << "РФ/Карта контролера" << other;

        // The national series needs both the '1' in the number and the
        // national authority; only the number decides when it has no '1'.
        QTest::newRow("national number, other authority")
            << "driver-rf" << QStringList{"--patch", "0520:18:" + QByteArray("ROSAVTOTRANS").toHex()} << 2
            << "ЕСТР/Карта водителя" << driver;
        QTest::newRow("national authority, other number")
            << "control-rf" << QStringList{"--patch", "0520:4:30"} << 2 << "ЕСТР/Карта контролера" << other;
        // The third SELECT is C100: without it the card has no known kind,
        // and the type and general files are read all the same.
        QTest::newRow("no certificates") << "driver-estr" << QStringList{"--fail", "select:3:6A82"} << 0
                                         << "Неопределенный/Карта водителя" << driver;
    }

    void identifiesKindTypeAndReadsGeneralFiles()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(int, kind);
        QFETCH(QString, names);
        QFETCH(FidList, files);

        VirtualCardProcess vcard(0);
        QVERIFY(vcard.insert(profile, options));
        CardReaderRig rig;
        CardReader &reader = *rig.reader;
        QVERIFY2(reader.readGeneralInfo(), qPrintable(rig.log.join('\n')));

        QCOMPARE(int(reader.card.cardKind), kind);
        std::sort(files.begin(), files.end());
        QCOMPARE(reader.card.readData.keys(), files);
        for (const quint16 fid : files)
            QVERIFY(!reader.card.readData.value(fid)->fields.isEmpty());
        QVERIFY(!reader.card.dfSelected);

        const QString name = reader.readerName;
        QVERIFY(rig.logged("0|" + name + ": Вид карты тахогарфа: " + names.section('/', 0, 0) + "."));
        QVERIFY(rig.logged("0|" + name + ": Тип карты тахографа: " + names.section('/', 1) + "."));
        const QString number = reader.card.cardNumber();
        QCOMPARE(number.size(), 16);
        const QString general = kind == 1
            ? QStringLiteral("0|%1: Считаны общие сведения с карты: %2 / %3.").arg(name, number,
                                                                                     reader.card.skziNumber())
            : QStringLiteral("0|%1: Считаны общие сведения с карты: %2.").arg(name, number);
        QVERIFY2(rig.logged(general), qPrintable(rig.log.join('\n')));
        QVERIFY(vcard.remove());
    }

    void insertionReadShortOfACard_data()
    {
        QTest::addColumn<QString>("profile"); // empty: no card in the reader
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("interrupted");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("line"); // %1: the reader
        const QString connecting = QStringLiteral("0|%1: Подключение к карте тахографа ...");
        // The first READ BINARY is the card number of the kind check.
        QTest::newRow("kind check fails") << "driver-estr" << QStringList{"--fail", "read:1:6A82"} << false << false
                                          << "2|%1: Не удалось определить вид карты тахогарфа.";
        QTest::newRow("general files fail") << "workshop-estr" << QStringList{"--fail", "read:5:6A82"} << false
                                            << false << "2|%1: Не удалось считать общие сведения о карте тахографа.";
        QTest::newRow("unknown type") << "company-estr" << QStringList{"--patch", "0501:0:05"} << false << true
                                      << "0|%1: Считаны общие сведения с карты: .";
        QTest::newRow("interrupted reader") << "driver-estr" << QStringList() << true << false << connecting;
        QTest::newRow("no card") << "" << QStringList() << false << false << connecting;
    }

    void insertionReadShortOfACard()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(bool, interrupted);
        QFETCH(bool, read);
        QFETCH(QString, line);
        VirtualCardProcess vcard(0);
        QVERIFY(profile.isEmpty() || vcard.insert(profile, options));
        CardReaderRig rig(profile.isEmpty() ? 1 : 0);
        if (interrupted)
            rig.reader->on_InterruptAllOperation();
        QCOMPARE(rig.reader->readGeneralInfo(), read);
        const QString name = rig.reader->readerName;
        QVERIFY2(rig.logged(line.arg(name)), qPrintable(rig.log.join('\n')));
        if (read) { // a type of no known files: nothing to read, and the user is told
            QVERIFY(rig.reader->card.readData.isEmpty());
            QVERIFY(rig.reader->connectCard());
            QVERIFY2(!rig.reader->readAllFiles(), qPrintable(rig.log.join('\n')));
            QVERIFY(rig.logged(QString("2|%1: Тип карты не определен, её файлы неизвестны. Чтение карты невозможно.").arg(name)));
            rig.reader->disconnectCard();
        }
        else if (interrupted || profile.isEmpty()) // never connected, nothing more said
            QVERIFY(rig.log == QStringList{line.arg(name)} && rig.reader->card.hCard == 0);
        else // the reset of the failed read's disconnect leaves the card usable
            QVERIFY(rig.reader->readGeneralInfo());
        QVERIFY(profile.isEmpty() || vcard.remove());
    }
};

QTEST_GUILESS_MAIN(TestCardReaderIdentify)
#include "tst_cardreader_identify.moc"
