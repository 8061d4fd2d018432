#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "config/Config.h"
#include "readers/SaveDddFile.h"
#include "tests/readers/CardDump.h"
#include "tests/readers/CardReaderRig.h"
#include "tests/readers/DddBlocks.h"
#include "tests/support/RealLog.h"
#include "tests/support/VirtualCardProcess.h"
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

const CardAppLayout *rowOf(quint16 fid)
{
    for (const CardAppLayout &row : CardDictionary::efDescriptors()) {
        if (row.fid == fid)
            return &row;
    }
    return nullptr;
}

} // namespace

// Whole reads into .ddd files through pcscd, the virtual reader and the
// virtual card, checked against the files the card held when it left.
class TestCardReaderRead : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir sandbox;
    std::unique_ptr<Config> config;
    std::unique_ptr<QTemporaryDir> dddFolder;
    std::unique_ptr<QTemporaryDir> dumpFolder;
    std::unique_ptr<VirtualCardProcess> vcard;
    std::unique_ptr<CardReaderRig> rig;

    // Inserts the card (dumping its files when it leaves) and reads its general files.
    bool insert(const QString &profile, QStringList options = {})
    {
        options << "--dump" << dumpFolder->path();
        vcard = std::make_unique<VirtualCardProcess>(0);
        if (!vcard->insert(profile, options))
            return false;
        rig = std::make_unique<CardReaderRig>();
        RealLog::attach(rig->reader.get(), &CardReader::logginMessage);
        RealLog::attach(&rig->reader->card, &TachographCard::logginMessage);
        return rig->reader->readGeneralInfo();
    }

    bool save()
    {
        return saveDddFile(*rig->reader, *config, [this](uchar type, const QString &msg) {
            rig->log << QStringLiteral("%1|%2").arg(type).arg(msg);
        });
    }

    QMap<quint16, QByteArray> removeAndDump()
    {
        if (!vcard->remove())
            return {};
        return readCardDump(dumpFolder->path());
    }

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
        dumpFolder = std::make_unique<QTemporaryDir>();
        config->setPath("dddPath", dddFolder->path());
        config->setLastDddPath(QString());
    }

    void cleanup()
    {
        rig.reset();
        // A card left behind by a failed check must be gone before the next one.
        if (vcard)
            vcard->remove();
        vcard.reset();
    }

    void wholeReadMatchesTheCard_data()
    {
        QTest::addColumn<QString>("profile");
        const char *profiles[] = {"driver-rfskzi", "workshop-rfskzi", "control-rfskzi", "company-rfskzi",
                                  "driver-estr",   "workshop-estr",   "control-estr",   "company-estr",
                                  "driver-rf",     "workshop-rf",     "control-rf",     "company-rf"};
        for (const char *profile : profiles)
            QTest::newRow(profile) << profile;
    }

    void wholeReadMatchesTheCard()
    {
        QFETCH(QString, profile);
        const bool workshop = profile.startsWith("workshop");
        QVERIFY(insert(profile, workshop ? QStringList{"--patch", "0509:0:" + calibrationCount.toHex()}
                                         : QStringList()));
        CardReader &reader = *rig->reader;
        const quint8 kind = reader.card.cardKind;

        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY2(rig->readCard(), qPrintable(rig->log.join('\n')));
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QVERIFY(save());
        const QString path = config->lastDddPath();
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(dddFolder->path()).absoluteFilePath());
        QVERIFY(rig->logged(QStringLiteral("0|%1 - Сформированный ddd-файл успешно сохранен: <a href=\"%2\">%2</a>")
                                .arg(reader.readerName, path)));
        const QString name = QFileInfo(path).fileName();
        QVERIFY2(QRegularExpression(QStringLiteral("^%1_%2-\\d{8}_\\d{4}\\.ddd$")
                                        .arg(reader.card.cardKindName(), reader.card.cardNumber()))
                     .match(name)
                     .hasMatch(),
                 qPrintable(name));

        const QMap<quint16, QByteArray> card = removeAndDump();
        QVERIFY(!card.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVector<DddBlock> blocks;
        QVERIFY(parseDddBlocks(file.readAll(), &blocks));

        // Every file of the card, in the file order, each signed one followed by its signature.
        QVector<QPair<quint16, quint8>> expected;
        for (const quint16 fid : CardDictionary::dddFileOrder()) {
            if (!card.contains(fid))
                continue;
            expected.append({fid, 0x00});
            if (rowOf(fid)->signedFile)
                expected.append({fid, quint8(kind == 1 ? 0x81 : 0x01)});
        }
        QVector<QPair<quint16, quint8>> found;
        for (const DddBlock &block : blocks)
            found.append({block.fid, block.tag});
        QCOMPARE(found, expected);

        const auto algorithm = kind == 1 ? QCryptographicHash::Sha256 : QCryptographicHash::Sha1;
        QByteArray data;
        for (const DddBlock &block : blocks) {
            const QByteArray onCard = card.value(block.fid);
            if (block.tag != 0) {
                const QByteArray signature =
                    ApduEngine::signatureOf(QCryptographicHash::hash(data, algorithm), kind == 1 ? 64 : 128);
                QVERIFY2(block.bytes == signature, qPrintable(QString::number(block.fid, 16)));
                continue;
            }
            data = block.bytes;
            if (block.fid == 0x0509) {
                // The file keeps the count the read found; the card starts again from 0.
                QCOMPARE(data, calibrationCount);
                QCOMPARE(onCard, QByteArray(2, '\0'));
            } else {
                QVERIFY2(data == onCard, qPrintable(QString::number(block.fid, 16)));
            }
            if (block.fid == 0xC200 || block.fid == 0xC208)
                QCOMPARE(data.size(), 1000);
            if (block.fid == 0x050E) {
                QVERIFY(bigEndian(data) >= before);
                QVERIFY(bigEndian(data) <= after);
            }
        }
    }

    void failedReadLeavesTheBookkeepingAlone_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("fault");
        // Each fault lands after the bookkeeping file has been read.
        QTest::newRow("driver") << "driver-estr" << "hash:5:6581";
        QTest::newRow("workshop") << "workshop-estr" << "hash:5:6581";
        QTest::newRow("workshop kind 1") << "workshop-rfskzi" << "sign:7:6581";
        QTest::newRow("card removed") << "workshop-rf" << QString();
    }

    void failedReadLeavesTheBookkeepingAlone()
    {
        QFETCH(QString, profile);
        QFETCH(QString, fault);
        QStringList options{"--patch", "0509:0:" + calibrationCount.toHex()};
        if (profile.startsWith("driver"))
            options.clear();
        options << (fault.isEmpty() ? QStringList{"--remove-after", "60"} : QStringList{"--fail", fault});
        QVERIFY(insert(profile, options));
        const bool driver = rig->reader->card.cardType == 1;
        const QByteArray download = driver ? rig->reader->card.readData.value(0x050E)->data : QByteArray();

        QVERIFY(!rig->readCard());
        QVERIFY(rig->reader->card.result.maxLevel() > 0);
        QVERIFY(savedFiles().isEmpty());
        if (fault.isEmpty())
            QVERIFY(vcard->waitForExit());
        const QMap<quint16, QByteArray> card = fault.isEmpty() ? readCardDump(dumpFolder->path()) : removeAndDump();
        QVERIFY(!card.isEmpty());
        if (driver)
            QCOMPARE(card.value(0x050E), download);
        else
            QCOMPARE(card.value(0x0509), calibrationCount);
    }

    void interruptedReadSavesNothingAndWritesNothing()
    {
        QVERIFY(insert("driver-estr"));
        CardReader &reader = *rig->reader;
        // Between two files, as the user's cancel would.
        connect(&reader.card, &TachographCard::pogressMessage, &reader, [&reader](const QString &msg) {
            if (msg.contains("EFDriverActivityData"))
                reader.interrupted = true;
        });
        const QByteArray download = reader.card.readData.value(0x050E)->data;
        QVERIFY(rig->readCard());
        QVERIFY(reader.card.readData.contains(0x0504));
        QVERIFY(!reader.card.readData.contains(0x0505));
        const int lines = rig->log.size();
        QVERIFY(!save());
        QCOMPARE(rig->log.size(), lines);
        QVERIFY(savedFiles().isEmpty());
        QCOMPARE(removeAndDump().value(0x050E), download);
    }

    void failedSaveKeepsTheCalibrationCount()
    {
        QVERIFY(insert("workshop-estr", {"--patch", "0509:0:" + calibrationCount.toHex()}));
        QVERIFY(rig->readCard());
        const QString notAFolder = dddFolder->filePath("plain-file");
        QFile blocker(notAFolder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        config->setPath("dddPath", notAFolder);

        QVERIFY(!save());
        const QString line = rig->log.last();
        QVERIFY2(line.startsWith(QStringLiteral("2|%1 - Ошибка сохранения ddd-файла. Имя файла: %2/ЕСТР_")
                                     .arg(rig->reader->readerName, notAFolder)),
                 qPrintable(line));
        QVERIFY2(QRegularExpression("\\.ddd\\. \\(\\d+\\) \\S.*$").match(line).hasMatch(), qPrintable(line));
        QVERIFY(config->lastDddPath().isEmpty());
        QCOMPARE(removeAndDump().value(0x0509), calibrationCount);
    }

    void wrongPinReadsNothing()
    {
        QVERIFY(insert("workshop-rfskzi", {"--pin", "9999", "--patch", "0509:0:" + calibrationCount.toHex()}));
        CardReader &reader = *rig->reader;
        QVERIFY(!rig->readCard("1234"));
        QVERIFY(rig->logged(QStringLiteral("2|%1: Ошибка проверки ПИН-кода. ").arg(reader.readerName)
                            + reader.card.result.toString()));

        // Even a read started without the check gets no file of the application.
        QVERIFY(reader.connectCard());
        QVERIFY(!reader.readAllFiles());
        reader.disconnectCard();
        const QList<quint16> outside{0x0002, 0x0005};
        QCOMPARE(reader.card.readData.keys(), outside);
        QCOMPARE(removeAndDump().value(0x0509), calibrationCount);
    }

    void saveNeverOverwritesAndKeepsNamesInTheFolder()
    {
        // The fourth character is '/', so the card counts as kind 2.
        const QByteArray hostile = "../../etc/%2:x*?";
        QVERIFY(insert("driver-estr", {"--patch", "0520:1:" + hostile.toHex()}));
        QVERIFY(rig->readCard());
        QVERIFY(save());
        const QString first = config->lastDddPath();
        QVERIFY(save());
        const QString second = config->lastDddPath();
        QVERIFY(first != second);
        QCOMPARE(savedFiles().size(), 2);
        for (const QString &path : {first, second}) {
            QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(dddFolder->path()).absoluteFilePath());
            QVERIFY2(QRegularExpression("^ЕСТР_[A-Za-z0-9_]{16}-\\d{8}_\\d{4}(_2)?\\.ddd$")
                         .match(QFileInfo(path).fileName())
                         .hasMatch(),
                     qPrintable(path));
        }
        QVERIFY(vcard->remove());
    }

    void readerRecoversAfterTheCardLeftMidRead()
    {
        QVERIFY(insert("driver-estr", {"--remove-after", "40"}));
        QVERIFY(!rig->readCard());
        QVERIFY(rig->reader->card.result.scardFailed());
        QVERIFY(vcard->waitForExit());

        VirtualCardProcess next(0);
        QVERIFY(next.insert("company-estr"));
        QVERIFY(rig->reader->readGeneralInfo());
        QVERIFY(rig->readCard());
        QVERIFY(save());
        QVERIFY(next.remove());
    }

    void cleanupTestCase()
    {
        QVERIFY(RealLog::text().contains("Вид карты тахогарфа"));
        QCOMPARE(RealLog::secretsFound({"1234", "9999"}), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCardReaderRead)
#include "tst_cardreader_read.moc"
