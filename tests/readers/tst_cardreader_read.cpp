#include "card/CardFileRecord.h"
#include "config/Config.h"
#include "tests/readers/CardRig.h"
#include "tests/readers/DddBlocks.h"
#include "tests/support/RealLog.h"
#include "tools/vcard/ApduEngine.h"

#include <QCryptographicHash>
#include <QtTest>

#include <memory>

namespace {

const QByteArray calibrationCount = QByteArray::fromHex("0007");

quint32 bigEndian(const QByteArray &bytes)
{
    quint32 value = 0;
    for (const char byte : bytes)
        value = (value << 8) | quint8(byte);
    return value;
}

// "0501+" is a data block followed by its signature block.
QString blockList(const QVector<DddBlock> &blocks)
{
    QStringList list;
    for (const DddBlock &block : blocks) {
        if (block.tag == 0)
            list << QString::number(block.fid, 16).toUpper().rightJustified(4, '0');
        else if (!list.isEmpty() && !list.last().endsWith('+'))
            list.last() += '+';
        else
            list << QStringLiteral("stray signature");
    }
    return list.join(' ');
}

const QString driverFiles = QStringLiteral("0520+ 050E+ 0521+ 0502+ 0503+ 0504+ 0505+ 0506+ 0507+ 0508+ 0522+");
const QString workshopFiles = QStringLiteral("0520+ 0509+ 050A+ 0502+ 0503+ 0504+ 0505+ 0506+ 0507+ 0508+ 0522+");

} // namespace

Q_DECLARE_METATYPE(DddSaveResult)

// Whole reads and saves through pcscd, the virtual reader and the virtual
// card, in the order the reader manager runs them, checked against the files
// the card held when it left.
class TestCardReaderRead : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir sandbox;
    std::unique_ptr<Config> config;
    std::unique_ptr<QTemporaryDir> dddFolder;
    std::unique_ptr<CardRig> card;

    // A workshop card carries 7 calibrations.
    static QStringList calibrated(const QString &profile, QStringList options)
    {
        if (profile.startsWith("workshop"))
            options << "--patch" << "0509:0:" + calibrationCount.toHex();
        return options;
    }

    CardReaderRig &rig() { return *card->rig; }
    DddSaveResult save() { return rig().save(*config); }
    QStringList savedFiles() const { return QDir(dddFolder->path()).entryList(QDir::Files); }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.filePath("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(sandbox.filePath("data")));
        config = std::make_unique<Config>();
    }

    void init()
    {
        dddFolder = std::make_unique<QTemporaryDir>();
        card = std::make_unique<CardRig>();
        config->setPath("dddPath", dddFolder->path());
        config->setLastDddPath(QString());
    }

    void cleanup() { card.reset(); }

    void wholeReadMatchesTheCard_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("blocks");
        QTest::addColumn<int>("tag");
        const QString rfskzi = QStringLiteral("0002 0005 0501+ C200 C201+ ");
        const QString other = QStringLiteral("0002 0005 0501+ C100 C108 ");
        QTest::newRow("driver-rfskzi") << "driver-rfskzi" << "РФСКЗИ_RUD0000012345600" << rfskzi + "C208 " + driverFiles
                                       << 0x81;
        QTest::newRow("workshop-rfskzi") << "workshop-rfskzi" << "РФСКЗИ_RUW0000000456700"
                                         << rfskzi + "C203 C204 C205 C206+ C207 C208 " + workshopFiles << 0x81;
        QTest::newRow("control-rfskzi") << "control-rfskzi" << "РФСКЗИ_RUC0000000007800"
                                        << rfskzi + "C206+ C208 0520+ 050C+" << 0x81;
        QTest::newRow("company-rfskzi") << "company-rfskzi" << "РФСКЗИ_RUE0000000099900"
                                        << rfskzi + "C206+ C208 0520+ 050D+" << 0x81;
        QTest::newRow("driver-estr") << "driver-estr" << "ЕСТР_RUD0000001100200" << other + driverFiles << 0x01;
        QTest::newRow("workshop-estr") << "workshop-estr" << "ЕСТР_RUW1000000020100" << other + workshopFiles << 0x01;
        QTest::newRow("control-estr") << "control-estr" << "ЕСТР_RUC0000000300100" << other + "0520+ 050C+" << 0x01;
        QTest::newRow("company-rf") << "company-rf" << "РФ_RUE1000000456700" << other + "0520+ 050D+" << 0x01;
        QTest::newRow("driver-rf") << "driver-rf" << "РФ_RUD1000000123400" << other + driverFiles << 0x01;
        QTest::newRow("kind 0") << "driver-unknown" << "Неопределенный_RUD0000007700100"
                                << "0002 0005 0501 0520 050E 0521 0502 0503 0504 0505 0506 0507 0508 0522" << 0;
    }

    void wholeReadMatchesTheCard()
    {
        QFETCH(QString, profile);
        QFETCH(QString, name);
        QFETCH(QString, blocks);
        QFETCH(int, tag);
        QVERIFY(card->insert(profile, calibrated(profile, {})));
        const QString reader = rig().reader->readerName;
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY2(rig().readCard(), qPrintable(rig().log.join('\n')));
        QCOMPARE(save(), DddSaveResult::Saved);
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QVERIFY(rig().reader->card.pin.isEmpty());

        const QString path = config->lastDddPath();
        QVERIFY2(QRegularExpression("^" + name + "-\\d{8}_\\d{4}\\.ddd$").match(QFileInfo(path).fileName()).hasMatch(),
                 qPrintable(path));
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(dddFolder->path()).absoluteFilePath());
        QVERIFY(rig().logged(QStringLiteral("0|%1 - Сформированный ddd-файл успешно сохранен: <a href=\"%2\">%2</a>")
                                .arg(reader, path)));
        if (tag == 0)
            QVERIFY(rig().logged(QStringLiteral("1|%1: Файл EFIdentification сохраняется без ЭП: карта вида "
                                               "Неопределенный не подписывает файлы.")
                                    .arg(reader)));

        const QMap<quint16, QByteArray> left = card->files();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVector<DddBlock> found;
        QVERIFY(parseDddBlocks(file.readAll(), &found));
        QCOMPARE(blockList(found), blocks);

        const auto algorithm = tag == 0x81 ? QCryptographicHash::Sha256 : QCryptographicHash::Sha1;
        QByteArray data;
        for (const DddBlock &block : found) {
            const QString fid = QString::number(block.fid, 16);
            if (block.tag != 0) {
                QCOMPARE(int(block.tag), tag);
                const QByteArray hash = QCryptographicHash::hash(data, algorithm);
                QVERIFY2(block.bytes == ApduEngine::signatureOf(hash, tag == 0x81 ? 64 : 128), qPrintable(fid));
                continue;
            }
            data = block.bytes;
            if (block.fid == 0x0509) {
                // The file keeps the count the read found; the card starts again from 0.
                QCOMPARE(data, calibrationCount);
                QCOMPARE(left.value(0x0509), QByteArray(2, '\0'));
            } else if (block.fid == 0xC200 || block.fid == 0xC208) {
                // The length in bytes 2 and 3, the content, then zeros up to 1000 bytes.
                const QByteArray onCard = left.value(block.fid);
                const int length = int(bigEndian(onCard.mid(2, 2))) + 4;
                QCOMPARE(data, onCard.left(length) + QByteArray(1000 - length, '\0'));
            } else {
                QVERIFY2(data == left.value(block.fid), qPrintable(fid));
            }
            if (block.fid == 0x050E) {
                QVERIFY(bigEndian(data) >= before);
                QVERIFY(bigEndian(data) <= after);
            }
        }
    }

    // The card says it was downloaded, or has its count reset, only when
    // the file is there; each failure reaches the log.
    void bookkeepingFollowsTheFile_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("mishap");
        QTest::addColumn<DddSaveResult>("result");
        QTest::addColumn<QString>("line"); // a pattern: %1 reader, %2 folder, %3 the card's old date
        QTest::addColumn<bool>("dateWritten");

        const QString failSave = QStringLiteral(
            "^2\\|%1 - Ошибка сохранения ddd-файла\\. Имя файла: %2/NAME-\\d{8}_\\d{4}\\.ddd\\. \\(\\d+\\) \\S.*$");
        const QString countKept = QStringLiteral("^1\\|%1: Не удалось обнулить счетчик калибровок карты тахографа\\.$");
        QTest::newRow("driver, no folder") << "driver-estr" << QStringList() << "no folder" << DddSaveResult::NotSaved
                                           << QString(failSave).replace("NAME", "ЕСТР_RUD0000001100200") << false;
        QTest::newRow("workshop, no folder")
            << "workshop-estr" << QStringList() << "no folder" << DddSaveResult::NotSaved
            << QString(failSave).replace("NAME", "ЕСТР_RUW1000000020100") << false;
        QTest::newRow("driver, folder lost after the date")
            << "driver-estr" << QStringList() << "folder lost" << DddSaveResult::NotSaved
            << "^1\\|%1: Карте тахографа возвращена прежняя дата последней выгрузки: %3\\.$" << false;
        QTest::newRow("driver, cancelled after the date")
            << "driver-rfskzi" << QStringList() << "cancelled" << DddSaveResult::NotSaved
            << "^1\\|%1: Карте тахографа возвращена прежняя дата последней выгрузки: %3\\.$" << false;
        QTest::newRow("driver, old date refused")
            << "driver-rf" << QStringList{"--fail", "update:2:6581"} << "folder lost" << DddSaveResult::NotSaved
            << "^2\\|%1: Не удалось вернуть карте тахографа прежнюю дату последней выгрузки: %3 \\([0-9A-F]{8}\\)\\. "
               "Карта считает себя выгруженной, хотя ddd-файл не сохранен\\.$"
            << true;
        QTest::newRow("driver, another card") << "driver-estr" << QStringList() << "another card"
                                              << DddSaveResult::NotSaved
                                              << "^2\\|%1: Не удалось записать в карту тахографа дату последней "
                                                 "выгрузки\\.$"
                                              << false;
        QTest::newRow("workshop, reset refused") << "workshop-estr" << QStringList{"--fail", "update:1:6581"} << ""
                                                 << DddSaveResult::SavedCountNotReset << countKept << false;
        QTest::newRow("workshop, another card") << "workshop-rf" << QStringList() << "another card"
                                                << DddSaveResult::SavedCountNotReset << countKept << false;
        QTest::newRow("workshop kind 1, PIN cleared early") << "workshop-rfskzi" << QStringList() << "PIN cleared"
                                                            << DddSaveResult::SavedCountNotReset << countKept << false;
    }

    void bookkeepingFollowsTheFile()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(QString, mishap);
        QFETCH(DddSaveResult, result);
        QFETCH(QString, line);
        QFETCH(bool, dateWritten);
        QVERIFY(card->insert(profile, calibrated(profile, options)));
        CardReader &reader = *rig().reader;
        const CardFileRecord *download = reader.card.readData.value(0x050E);
        const QByteArray date = download ? download->data : QByteArray();
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY(rig().readCard());

        QString folder = dddFolder->path();
        if (mishap == "no folder") {
            folder = sandbox.filePath("missing");
            config->setPath("dddPath", folder);
        } else if (mishap == "folder lost") {
            connect(&reader.card, &TachographCard::pogressMessage, &reader, [this](const QString &msg) {
                if (msg == QStringLiteral("Формирование ЭП EFCardDownload"))
                    QDir(dddFolder->path()).removeRecursively();
            });
        } else if (mishap == "cancelled") {
            // The user's cancel, as the manager delivers it, once the card
            // holds the new date.
            connect(&reader.card, &TachographCard::pogressMessage, &reader, [&reader](const QString &msg) {
                if (msg == QStringLiteral("Формирование ЭП EFCardDownload"))
                    reader.interrupted = reader.card.interrupted = true;
            });
        } else if (mishap == "PIN cleared") {
            reader.card.pin.wipe();
        } else if (mishap == "another card") {
            // The same card but for the serial number in EF ICC; the manager
            // sees the insertion only after the save.
            QVERIFY(card->vcard.remove());
            QVERIFY(card->insertCard(profile, calibrated(profile, options + QStringList{"--patch", "0002:1:FFFF"})));
        }
        QCOMPARE(save(), result);

        const QString oldDate = QDateTime::fromSecsSinceEpoch(bigEndian(date), Qt::UTC)
                                    .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss 'UTC'"));
        const QRegularExpression pattern(QString(line)
                                             .replace("%1", QRegularExpression::escape(reader.readerName))
                                             .replace("%2", QRegularExpression::escape(folder))
                                             .replace("%3", QRegularExpression::escape(oldDate)));
        QVERIFY2(!rig().log.filter(pattern).isEmpty(), qPrintable(rig().log.join('\n')));
        QCOMPARE(savedFiles().size(), result == DddSaveResult::NotSaved ? 0 : 1);
        QCOMPARE(config->lastDddPath().isEmpty(), result == DddSaveResult::NotSaved);

        const QMap<quint16, QByteArray> left = card->files();
        if (!date.isEmpty() && dateWritten)
            QVERIFY(bigEndian(left.value(0x050E)) >= before);
        else if (!date.isEmpty())
            QCOMPARE(left.value(0x050E), date);
        else
            QCOMPARE(left.value(0x0509), calibrationCount);
    }

    void interruptedReadSavesNothingAndWritesNothing()
    {
        QVERIFY(card->insert("driver-unknown"));
        CardReader &reader = *rig().reader;
        // Between two files, as the user's cancel would: a card of kind 0
        // reports each file read in full.
        connect(&reader, &CardReader::logginMessage, &reader, [&reader](uchar, const QString &msg) {
            if (msg.contains(QStringLiteral("Файл EFDriverActivityData")))
                reader.interrupted = true;
        });
        const QByteArray download = reader.card.readData.value(0x050E)->data;
        QVERIFY(rig().readCard());
        QVERIFY(reader.card.readData.contains(0x0504) && !reader.card.readData.contains(0x0505));
        const int lines = rig().log.size();
        QCOMPARE(save(), DddSaveResult::NotSaved);
        QCOMPARE(rig().log.size(), lines);
        QVERIFY(savedFiles().isEmpty());
        QCOMPARE(card->files().value(0x050E), download);
    }

    void wrongPinReadsNothing()
    {
        QVERIFY(card->insert("workshop-rfskzi", calibrated("workshop-rfskzi", {"--pin", "9999"})));
        CardReader &reader = *rig().reader;
        QVERIFY(!rig().readCard("1234"));
        QVERIFY(rig().logged(QStringLiteral("2|%1: Ошибка проверки ПИН-кода. ").arg(reader.readerName)
                            + reader.card.result.toString()));
        QVERIFY(reader.card.pin.isEmpty());

        // Even a read started without the check gets no file of the application.
        QVERIFY(reader.connectCard());
        QVERIFY(!reader.readAllFiles());
        reader.disconnectCard();
        const QList<quint16> outside{0x0002, 0x0005};
        QCOMPARE(reader.card.readData.keys(), outside);
        QCOMPARE(card->files().value(0x0509), calibrationCount);
    }

    void cleanupTestCase()
    {
        QVERIFY(RealLog::text().contains("Вид карты тахогарфа"));
        QCOMPARE(RealLog::secretsFound({"1234", "9999"}), QStringList());
    }

    void readerRecoversAfterTheCardLeftMidRead()
    {
        QVERIFY(card->insert("driver-estr", {"--remove-after", "40"}));
        // The failure may come at a command or at a reconnect, by timing.
        QVERIFY(!rig().readCard());
        QVERIFY(card->vcard.waitForExit());

        QVERIFY(card->insert("company-estr"));
        QVERIFY(rig().readCard());
        QCOMPARE(save(), DddSaveResult::Saved);
    }
};

QTEST_GUILESS_MAIN(TestCardReaderRead)
#include "tst_cardreader_read.moc"
