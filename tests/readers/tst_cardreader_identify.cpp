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
        QTest::addColumn<int>("type");
        QTest::addColumn<FidList>("files");

        const FidList driver{0x0002, 0x0005, 0x0501, 0x0520, 0x050E, 0x0521};
        const FidList workshop{0x0002, 0x0005, 0x0501, 0x0520, 0x0509};
        const FidList other{0x0002, 0x0005, 0x0501, 0x0520};
        const struct {
            const char *profile;
            int kind;
            int type;
        } cards[] = {
            {"driver-rfskzi", 1, 1}, {"workshop-rfskzi", 1, 2}, {"control-rfskzi", 1, 3}, {"company-rfskzi", 1, 4},
            {"driver-estr", 2, 1},   {"workshop-estr", 2, 2},   {"control-estr", 2, 3},   {"company-estr", 2, 4},
            {"driver-rf", 3, 1},     {"workshop-rf", 3, 2},     {"control-rf", 3, 3},     {"company-rf", 3, 4},
        };
        for (const auto &c : cards) {
            const FidList &files = c.type == 1 ? driver : c.type == 2 ? workshop : other;
            QTest::newRow(c.profile) << c.profile << QStringList() << c.kind << c.type << files;
        }

        // The national series needs both the '1' in the number and the
        // national authority; only the number decides when it has no '1'.
        QTest::newRow("national number, other authority")
            << "driver-rf" << QStringList{"--patch", "0520:18:" + QByteArray("ROSAVTOTRANS").toHex()} << 2 << 1
            << driver;
        QTest::newRow("national authority, other number")
            << "control-rf" << QStringList{"--patch", "0520:4:30"} << 2 << 3 << other;
        // The third SELECT is C100: without it the card has no known kind,
        // and the type and general files are read all the same.
        QTest::newRow("no certificates") << "driver-estr" << QStringList{"--fail", "select:3:6A82"} << 0 << 1
                                         << driver;
    }

    void identifiesKindTypeAndReadsGeneralFiles()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(int, kind);
        QFETCH(int, type);
        QFETCH(FidList, files);

        VirtualCardProcess vcard(0);
        QVERIFY(vcard.insert(profile, options));
        CardReaderRig rig;
        CardReader &reader = *rig.reader;
        QVERIFY2(reader.readGeneralInfo(), qPrintable(rig.log.join('\n')));

        QCOMPARE(int(reader.card.cardKind), kind);
        QCOMPARE(int(reader.card.cardType), type);
        std::sort(files.begin(), files.end());
        QCOMPARE(reader.card.readData.keys(), files);
        for (const quint16 fid : files)
            QVERIFY(!reader.card.readData.value(fid)->fields.isEmpty());
        QVERIFY(!reader.card.dfSelected);

        const QString name = reader.readerName;
        QVERIFY(rig.logged("0|" + name + ": Вид карты тахогарфа: " + reader.card.cardKindName() + "."));
        QVERIFY(rig.logged("0|" + name + ": Тип карты тахографа: " + reader.card.cardTypeName() + "."));
        const QString number = reader.card.cardNumber();
        QVERIFY(number.startsWith("RU"));
        const QString general = kind == 1
            ? QStringLiteral("0|%1: Считаны общие сведения с карты: %2 / %3.").arg(name, number,
                                                                                     reader.card.skziNumber())
            : QStringLiteral("0|%1: Считаны общие сведения с карты: %2.").arg(name, number);
        QVERIFY2(rig.logged(general), qPrintable(rig.log.join('\n')));
        if (kind == 1)
            QVERIFY(!reader.card.skziNumber().isEmpty());
        QVERIFY(vcard.remove());
    }

    void unknownTypeReadsNoGeneralFile()
    {
        VirtualCardProcess vcard(0);
        QVERIFY(vcard.insert("company-estr", {"--patch", "0501:0:05"}));
        CardReaderRig rig;
        QVERIFY(rig.reader->readGeneralInfo());
        QCOMPARE(int(rig.reader->card.cardType), 5);
        QVERIFY(rig.reader->card.readData.isEmpty());
        QVERIFY(rig.logged(QStringLiteral("0|%1: Считаны общие сведения с карты: .").arg(rig.reader->readerName)));
        QVERIFY(vcard.remove());
    }

    void failuresEndTheInsertionReadDisconnected()
    {
        VirtualCardProcess vcard(0);
        // The first READ BINARY is the card number of the kind check.
        QVERIFY(vcard.insert("driver-estr", {"--fail", "read:1:6A82"}));
        CardReaderRig rig;
        QVERIFY(!rig.reader->readGeneralInfo());
        QVERIFY(rig.logged("2|" + rig.reader->readerName + ": Не удалось определить вид карты тахогарфа."));
        // The reset of the failed read's disconnect leaves the card usable.
        QVERIFY(rig.reader->readGeneralInfo());
        QCOMPARE(int(rig.reader->card.cardKind), 2);
        QVERIFY(vcard.remove());

        QVERIFY(vcard.insert("workshop-estr", {"--fail", "read:5:6A82"}));
        QVERIFY(!rig.reader->readGeneralInfo());
        QVERIFY(rig.logged("2|" + rig.reader->readerName + ": Не удалось считать общие сведения о карте тахографа."));
        QVERIFY(vcard.remove());
    }

    void interruptedReaderNeverConnects()
    {
        VirtualCardProcess vcard(0);
        QVERIFY(vcard.insert("driver-estr"));
        CardReaderRig rig;
        rig.reader->on_InterruptAllOperation();
        QVERIFY(!rig.reader->readGeneralInfo());
        QCOMPARE(rig.reader->card.hCard, Pcsc::SCARDHANDLE(0));
        QVERIFY(rig.logged("0|" + rig.reader->readerName + ": Подключение к карте тахографа ..."));
        QVERIFY(vcard.remove());
    }

    void noCardFailsToConnectQuietly()
    {
        CardReaderRig rig(1);
        QVERIFY(!rig.reader->readGeneralInfo());
        QCOMPARE(rig.log, QStringList{"0|" + rig.reader->readerName + ": Подключение к карте тахографа ..."});
    }
};

QTEST_GUILESS_MAIN(TestCardReaderIdentify)
#include "tst_cardreader_identify.moc"
