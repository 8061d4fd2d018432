// Insertion reads, whole reads and saves through pcscd, the virtual reader
// and the virtual card, in the order the reader manager runs them, checked
// against the files the card held when it left.

#include "card/CardFileRecord.h"
#include "config/Config.h"
#include "platform/FileLock.h"
#include "readers/PendingRestore.h"
#include "tests/readers/CardCounters.h"
#include "tests/readers/CardReaderRig.h"
#include "tests/readers/DddBlocks.h"
#include "tests/support/OtherProgramAtWork.h"
#include "tools/vcard/ApduEngine.h"

#include <QCryptographicHash>
#include <QtTest>

#include <algorithm>
#include <memory>

using FidList = QList<quint16>;
Q_DECLARE_METATYPE(FidList)
Q_DECLARE_METATYPE(DddSaveResult)

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
    QString list;
    for (const DddBlock &block : blocks)
        list += block.tag ? QStringLiteral("+") : ' ' + QString::number(block.fid, 16).toUpper().rightJustified(4, '0');
    return list.trimmed();
}

// Fires once, at the APDU that completes `sequence`: hexadecimal prefixes
// met in this order among the APDUs tried.
class ResetAt
{
public:
    explicit ResetAt(const QString &sequence) : left(sequence.split(' ', Qt::SkipEmptyParts)) {}
    bool fires(const QByteArray &apdu)
    {
        if (left.isEmpty() || !apdu.toHex().toUpper().startsWith(left.first().toLatin1()))
            return false;
        left.removeFirst();
        return left.isEmpty();
    }

private:
    QStringList left;
};

// Another program's reset as our command meets it, one level down: the card
// really loses what the stretch set up, and PC/SC refuses the command.
qint32 resetByOther(CardReader &reader)
{
    quint32 protocol = 0;
    Pcsc::SCardReconnect(reader.card.hCard, Pcsc::SCARD_SHARE_SHARED, Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1,
                         Pcsc::SCARD_RESET_CARD, &protocol);
    return qint32(0x80100068);
}

// A workshop card carries 7 calibrations.
QStringList calibrated(const QString &profile, QStringList options = {})
{
    if (profile.startsWith("workshop"))
        options << "--patch" << "0509:0:" + calibrationCount.toHex();
    return options;
}

} // namespace

class TestCardReaderRead : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir sandbox;
    std::unique_ptr<Config> config;
    std::unique_ptr<QTemporaryDir> dddFolder;
    std::unique_ptr<CardReaderRig> rig;

    DddSaveResult save() { return rig->save(*config); }
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
        rig = std::make_unique<CardReaderRig>();
        config->setPath("dddPath", dddFolder->path());
        config->setLastDddPath(QString());
    }

    void cleanup() { rig.reset(); }

    void cleanupTestCase()
    {
        QVERIFY(RealLog::text().contains("Вид карты тахогарфа"));
        QCOMPARE(RealLog::secretsFound({"1234"}), QStringList());
    }

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
        QTest::newRow("company-rfskzi") << "company-rfskzi" << QStringList() << 1 << "РФСКЗИ/Карта предприятия"
                                        << other;
        QTest::newRow("control-estr") << "control-estr" << QStringList() << 2 << "ЕСТР/Карта контролера" << other;
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
        QVERIFY2(rig->insertCard(profile, options) && rig->reader->readGeneralInfo(), qPrintable(rig->log.join('\n')));
        const TachographCard &card = rig->reader->card;
        QCOMPARE(int(card.cardKind), kind);
        std::sort(files.begin(), files.end());
        QCOMPARE(card.readData.keys(), files);
        QVERIFY(!card.dfSelected);

        const QString name = rig->vcard.name();
        QVERIFY(rig->logged("0|" + name + ": Вид карты тахогарфа: " + names.section('/', 0, 0) + "."));
        QVERIFY(rig->logged("0|" + name + ": Тип карты тахографа: " + names.section('/', 1) + "."));
        QCOMPARE(card.cardNumber().size(), 16);
        const QString numbers = kind == 1 ? card.cardNumber() + " / " + card.skziNumber() : card.cardNumber();
        QVERIFY(rig->logged(QStringLiteral("0|%1: Считаны общие сведения с карты: %2.").arg(name, numbers)));
    }

    void insertionReadShortOfACard_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("line"); // %1: the reader
        // The first READ BINARY is the card number of the kind check.
        QTest::newRow("kind check fails") << "driver-estr" << QStringList{"--fail", "read:1:6A82"} << false
                                          << "2|%1: Не удалось определить вид карты тахогарфа.";
        QTest::newRow("general files fail") << "workshop-estr" << QStringList{"--fail", "read:5:6A82"} << false
                                            << "2|%1: Не удалось считать общие сведения о карте тахографа.";
        QTest::newRow("unknown type") << "company-estr" << QStringList{"--patch", "0501:0:05"} << true
                                      << "0|%1: Считаны общие сведения с карты: .";
        QTest::newRow("interrupted reader") << "driver-estr" << QStringList() << false
                                            << "0|%1: Подключение к карте тахографа ...";
    }

    void insertionReadShortOfACard()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(bool, read);
        QFETCH(QString, line);
        QVERIFY(rig->insertCard(profile, options));
        CardReader &reader = *rig->reader;
        const bool interrupted = QTest::currentDataTag() == QLatin1String("interrupted reader");
        if (interrupted)
            reader.on_InterruptAllOperation();
        QCOMPARE(reader.readGeneralInfo(), read);
        const QString name = reader.readerName;
        QVERIFY2(rig->logged(line.arg(name)), qPrintable(rig->log.join('\n')));
        if (read) { // a type of no known files: nothing to read, and the user is told
            QVERIFY(reader.card.readData.isEmpty());
            QVERIFY(!rig->readCard());
            QVERIFY(rig->logged(
                QString("2|%1: Тип карты не определен, её файлы неизвестны. Чтение карты невозможно.").arg(name)));
        } else if (interrupted) { // never connected, nothing more said
            QVERIFY(rig->log == QStringList{line.arg(name)} && reader.card.hCard == 0);
        } else { // the reset of the failed read's disconnect leaves the card usable
            QVERIFY(reader.readGeneralInfo());
        }
    }

    void wholeReadMatchesTheCard_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("blocks");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("other"); // what happens beside the read
        const QString rfskzi = QStringLiteral("0002 0005 0501+ C200 C201+ ");
        const QString other = QStringLiteral("0002 0005 0501+ C100 C108 ");
        const QString driverFiles = QStringLiteral("0520+ 050E+ 0521+ 0502+ 0503+ 0504+ 0505+ 0506+ 0507+ 0508+ 0522+");
        const QString workshopFiles =
            QStringLiteral("0520+ 0509+ 050A+ 0502+ 0503+ 0504+ 0505+ 0506+ 0507+ 0508+ 0522+");
        QTest::newRow("driver-rfskzi") << "driver-rfskzi" << "РФСКЗИ_RUD0000012345600" << rfskzi + "C208 " + driverFiles
                                       << 0x81 << QString();
        QTest::newRow("workshop-rfskzi") << "workshop-rfskzi" << "РФСКЗИ_RUW0000000456700"
                                         << rfskzi + "C203 C204 C205 C206+ C207 C208 " + workshopFiles << 0x81
                                         << QString();
        QTest::newRow("control-rfskzi") << "control-rfskzi" << "РФСКЗИ_RUC0000000007800"
                                        << rfskzi + "C206+ C208 0520+ 050C+" << 0x81 << QString();
        QTest::newRow("company-rfskzi") << "company-rfskzi" << "РФСКЗИ_RUE0000000099900"
                                        << rfskzi + "C206+ C208 0520+ 050D+" << 0x81 << QString();
        QTest::newRow("workshop-estr") << "workshop-estr" << "ЕСТР_RUW1000000020100" << other + workshopFiles << 0x01
                                       << QString();
        QTest::newRow("company-rf") << "company-rf" << "РФ_RUE1000000456700" << other + "0520+ 050D+" << 0x01
                                    << QString();
        QTest::newRow("kind 0") << "driver-unknown" << "Неопределенный_RUD0000007700100"
                                << "0002 0005 0501 0520 050E 0521 0502 0503 0504 0505 0506 0507 0508 0522" << 0
                                << QString();
        // "reset met": one level down, a command PC/SC refused after a reset in our hold.
        for (const char *beside : {"selects", "selects in transactions", "reset", "first read fails at insertion",
                                   "reset met by a command", "reset met twice"})
            QTest::addRow("workshop-rfskzi, %s", beside) << "workshop-rfskzi" << "РФСКЗИ_RUW0000000456700"
                                                       << rfskzi + "C203 C204 C205 C206+ C207 C208 " + workshopFiles
                                                       << 0x81 << QString(beside);
        // The reset met by each kind of command of the read and of its
        // download date; the read's first VERIFY comes before any SELECT DF.
        const QList<QPair<const char *, const char *>> commands{
            {"the first VERIFY", "0020"},
            {"SELECT DF", "00A4040C"},
            {"the VERIFY after SELECT DF", "00A4040C 0020"},
            {"the first SELECT in the application", "00A4040C 0020 00A4020C"},
            {"a READ BINARY in the application", "00A4040C 0020 00A4020C 00B0 00B0"},
            {"PERFORM HASH", "802A"},
            {"COMPUTE SIGNATURE", "002A9E9A"},
            {"the date's SELECT DF", "00A4040C 00A4040C"},
            {"the date's VERIFY", "00A4040C 00A4040C 0020"},
            {"the date's UPDATE BINARY", "00D6"},
            {"the date's read-back", "00D6 00B0"},
            {"the date's signature", "00D6 002A9E9A"},
        };
        for (const auto &command : commands)
            QTest::addRow("driver-rfskzi, reset at %s", command.first) << "driver-rfskzi" << "РФСКЗИ_RUD0000012345600"
                                                                      << rfskzi + "C208 " + driverFiles << 0x81
                                                                      << QString("reset at ") + command.second;
    }

    void wholeReadMatchesTheCard()
    {
        QFETCH(QString, profile);
        QFETCH(QString, name);
        QFETCH(QString, blocks);
        QFETCH(int, tag);
        QFETCH(QString, other);
        const QString reader = rig->vcard.name();
        if (other == "first read fails at insertion") {
            QVERIFY(rig->insertCard(profile, calibrated(profile, {"--fail", "read:1:6A82"})));
            QVERIFY(!rig->reader->readGeneralInfo() && rig->reader->identifyIfUnknown());
        } else {
            QVERIFY(rig->insert(profile, calibrated(profile)));
        }
        const QStringList works{"reset", "selects", "selects in transactions"};
        std::unique_ptr<OtherProgramAtWork> busy;
        const auto start = [&] {
            busy = std::make_unique<OtherProgramAtWork>(reader, OtherProgramAtWork::Work(works.indexOf(other)));
        };
        if (other.startsWith("selects")) { // our work begins on a card in the application
            start();
            QTRY_VERIFY_WITH_TIMEOUT(busy->done > 0, 30000);
        }
        rig->afterApdu = [&](const QByteArray &) {
            if (!busy && other == "reset") // its reset waits for our hold's end
                start();
        };
        rig->refuse = [&, other, commands = 0,
                       at = ResetAt(other.startsWith("reset at ") ? other.mid(9) : QString())](
                          const QByteArray &apdu) mutable {
            const bool counted =
                other.startsWith("reset met") && (++commands == 20 || (commands == 40 && other.endsWith("twice")));
            return counted || at.fires(apdu) ? resetByOther(*rig->reader) : 0;
        };
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        if (other == "reset met twice") {
            QVERIFY(!rig->readCard() && rig->reader->resetAgain());
            return;
        }
        QVERIFY2(rig->readCard(), qPrintable(rig->log.join('\n')));
        QCOMPARE(save(), DddSaveResult::Saved);
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        if (busy) { // it did its work, if only after ours
            QTRY_VERIFY_WITH_TIMEOUT(busy->done > 0, 30000);
            busy.reset();
        }
        QVERIFY(rig->reader->card.pin.isEmpty());

        const QString path = config->lastDddPath();
        QVERIFY2(QRegularExpression("^" + name + "-\\d{8}_\\d{4}\\.ddd$").match(QFileInfo(path).fileName()).hasMatch(),
                 qPrintable(path));
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(dddFolder->path()).absoluteFilePath());
        QVERIFY(rig->logged(QStringLiteral("0|%1 - Сформированный ddd-файл успешно сохранен: <a href=\"%2\">%2</a>")
                                .arg(reader, path)));
        if (tag == 0)
            QVERIFY(rig->logged(QStringLiteral("1|%1: Файл EFIdentification сохраняется без ЭП: карта вида "
                                               "Неопределенный не подписывает файлы.")
                                    .arg(reader)));

        const QMap<quint16, QByteArray> left = rig->files();
        QCOMPARE(readCardCounters(rig->dumpFolder.path()).value("pin-tries"), QString("3"));
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
            if (block.fid == 0x050E)
                QVERIFY(bigEndian(data) >= before && bigEndian(data) <= after);
        }
    }

    // A reset met again once the read started over ends it with its reason;
    // the card's own download date still goes back, in a hold of its own.
    void secondResetEndsTheRead_data()
    {
        QTest::addColumn<QStringList>("resets");
        QTest::newRow("again at the PIN presented again")
            << QStringList{"00A4040C 0020", "00A4040C 0020 00A4040C 0020"};
        QTest::newRow("again at the date's read-back") << QStringList{"00D6 00B0", "00D6 00B0 00B0"};
    }

    void secondResetEndsTheRead()
    {
        QFETCH(QStringList, resets);
        QVERIFY(rig->insert("driver-rfskzi"));
        const QByteArray date = rig->reader->card.readData.value(0x050E)->data;
        QList<ResetAt> plan;
        for (const QString &sequence : qAsConst(resets))
            plan << ResetAt(sequence);
        rig->refuse = [&](const QByteArray &apdu) {
            bool fired = false;
            for (ResetAt &at : plan)
                fired = at.fires(apdu) || fired;
            return fired ? resetByOther(*rig->reader) : 0;
        };
        const bool inDate = QTest::currentDataTag() == QLatin1String("again at the date's read-back");
        QCOMPARE(rig->readCard(), inDate);
        if (inDate) {
            QCOMPARE(save(), DddSaveResult::NotSaved);
            QVERIFY(!rig->log.filter("Карте тахографа возвращена прежняя дата последней выгрузки").isEmpty());
        }
        QCOMPARE(rig->reader->connectFailureText(QString()), QString("Карта была сброшена другой программой"));
        QVERIFY(savedFiles().isEmpty());
        QCOMPARE(rig->files().value(0x050E), date);
        QCOMPARE(readCardCounters(rig->dumpFolder.path()).value("pin-tries"), QString("3"));
        QVERIFY(!QFile::exists(PendingRestore::filePath()));
    }

    // The card says it was downloaded, or has its count reset, only when
    // the file is there; each failure reaches the log once. "written": the
    // card holds the new date, or the count 0. The line that the date was not
    // written never comes when the card may hold it.
    void bookkeepingFollowsTheFile_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("mishap");
        QTest::addColumn<DddSaveResult>("result");
        QTest::addColumn<QString>("line"); // a pattern: %1 reader, %2 folder, %3 the card's old date
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("notWrittenLine");

        const QString dateBack =
            QStringLiteral("^1\\|%1: Карте тахографа возвращена прежняя дата последней выгрузки: %3\\.$");
        const QString countKept = QStringLiteral("^1\\|%1: Не удалось обнулить счетчик калибровок карты тахографа\\.$");
        const auto failSave = [](const QString &name) {
            return "^2\\|%1 - Ошибка сохранения ddd-файла\\. Имя файла: %2/" + name
                + "-\\d{8}_\\d{4}\\.ddd\\. \\(\\d+\\) \\S.*$";
        };
        const QString oldDateKept = QStringLiteral(
            "^2\\|%1: Не удалось вернуть карте тахографа прежнюю дату последней выгрузки: %3 \\([0-9A-F]{8}\\)\\. "
            "Карта считает себя выгруженной, хотя ddd-файл не сохранен\\.$");
        QTest::newRow("no folder") << "driver-estr" << QStringList() << "no folder" << DddSaveResult::NotSaved
                                   << failSave("ЕСТР_RUD0000001100200") << false << false;
        QTest::newRow("workshop, no folder") << "workshop-estr" << QStringList() << "no folder"
                                             << DddSaveResult::NotSaved << failSave("ЕСТР_RUW1000000020100") << false
                                             << false;
        QTest::newRow("folder lost after the date")
            << "driver-estr" << QStringList() << "folder lost" << DddSaveResult::NotSaved << dateBack << false << false;
        // The date was written and acknowledged; only its signed read failed.
        QTest::newRow("cancelled after the date")
            << "driver-rfskzi" << QStringList() << "cancelled" << DddSaveResult::NotSaved << dateBack << false << true;
        QTest::newRow("old date refused") << "driver-rf" << QStringList{"--fail", "update:2:6581"} << "folder lost"
                                          << DddSaveResult::NotSaved << oldDateKept << true << false;
        QTest::newRow("another card") << "driver-estr" << QStringList() << "another card" << DddSaveResult::NotSaved
                                      << "^2\\|%1: Не удалось записать в карту тахографа дату последней выгрузки\\.$"
                                      << false << true;
        QTest::newRow("count reset refused") << "workshop-estr" << QStringList{"--fail", "update:1:6581"} << ""
                                             << DddSaveResult::SavedCountNotReset << countKept << false << false;
        QTest::newRow("workshop, another card") << "workshop-rf" << QStringList() << "another card"
                                                << DddSaveResult::SavedCountNotReset << countKept << false << false;
        // The card carries out the write and leaves before its answer.
        QTest::newRow("card gone before the date's answer")
            << "driver-estr" << QStringList{"--leave-on", "update:1"} << "" << DddSaveResult::NotSaved << oldDateKept
            << true << false;
        QTest::newRow("workshop, card gone before the count's answer")
            << "workshop-estr" << QStringList{"--leave-on", "update:1"} << "" << DddSaveResult::SavedCountNotReset
            << countKept << true << false;
        QTest::newRow("date's answer lost, the card still there")
            << "driver-rfskzi" << QStringList() << "answer lost" << DddSaveResult::NotSaved << dateBack << false
            << false;
    }

    void bookkeepingFollowsTheFile()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(QString, mishap);
        QFETCH(DddSaveResult, result);
        QFETCH(QString, line);
        QFETCH(bool, written);
        QFETCH(bool, notWrittenLine);
        QVERIFY(rig->insert(profile, calibrated(profile, options)));
        CardReader &reader = *rig->reader;
        const CardFileRecord *download = reader.card.readData.value(0x050E);
        const QByteArray date = download ? download->data : QByteArray();
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY(rig->readCard());

        QString folder = dddFolder->path();
        if (mishap == "no folder") {
            folder = sandbox.filePath("missing");
            config->setPath("dddPath", folder);
        } else if (mishap == "folder lost" || mishap == "cancelled") {
            // Once the card holds the new date; the cancel as the manager delivers it.
            connect(&reader.card, &TachographCard::pogressMessage, &reader, [&, mishap](const QString &msg) {
                if (msg != QStringLiteral("Формирование ЭП EFCardDownload"))
                    return;
                if (mishap == "cancelled")
                    reader.interrupted = reader.card.interrupted = true;
                else
                    QDir(dddFolder->path()).removeRecursively();
            });
        } else if (mishap == "another card") {
            // The same card but for the serial number in EF ICC; the manager
            // sees the insertion only after the save.
            QVERIFY(rig->vcard.remove());
            QVERIFY(rig->insertCard(profile, calibrated(profile, options + QStringList{"--patch", "0002:1:FFFF"})));
        } else if (mishap == "answer lost") {
            // The date's own write; the one that puts the old date back is answered.
            rig->loseAnswer = [writes = 0](const QByteArray &apdu) mutable {
                return quint8(apdu.at(1)) == 0xD6 && ++writes == 1;
            };
        }
        QCOMPARE(save(), result);

        const QString oldDate = QDateTime::fromSecsSinceEpoch(bigEndian(date), Qt::UTC)
                                    .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss 'UTC'"));
        const QRegularExpression pattern(QString(line)
                                             .replace("%1", QRegularExpression::escape(reader.readerName))
                                             .replace("%2", QRegularExpression::escape(folder))
                                             .replace("%3", QRegularExpression::escape(oldDate)));
        QVERIFY2(rig->log.filter(pattern).size() == 1, qPrintable(rig->log.join('\n')));
        QCOMPARE(rig->log.count(QStringLiteral("2|%1: Не удалось записать в карту тахографа дату последней выгрузки.")
                                    .arg(reader.readerName)),
                 notWrittenLine ? 1 : 0);
        QCOMPARE(savedFiles().size(), result == DddSaveResult::NotSaved ? 0 : 1);
        QCOMPARE(config->lastDddPath().isEmpty(), result == DddSaveResult::NotSaved);

        const QMap<quint16, QByteArray> left = rig->files();
        if (!date.isEmpty() && written)
            QVERIFY(bigEndian(left.value(0x050E)) >= before);
        else if (!date.isEmpty())
            QCOMPARE(left.value(0x050E), date);
        else
            QCOMPARE(left.value(0x0509), written ? QByteArray(2, '\0') : calibrationCount);
    }

    // The .ddd file saved while another copy held the record, so that the
    // read's entry could not go: the file stays saved, the next sight of the
    // card tells of no unsaved read, and the next diagnosis leaves the card
    // its new date.
    void savedReadStaysSaved_data()
    {
        QTest::addColumn<bool>("diagnose");
        QTest::newRow("seen again") << false;
        QTest::newRow("diagnosed") << true;
    }

    void savedReadStaysSaved()
    {
        QFETCH(bool, diagnose);
        const QString path = PendingRestore::filePath();
        QFile::remove(path); // what the faults of the tests before left there
        QVERIFY(rig->insert("driver-rfskzi"));
        CardReader &reader = *rig->reader;
        QVERIFY(rig->readCard());
        auto otherCopy = std::make_unique<FileLock>(path + ".lock");
        // Once the card holds the new date, its entry on disk.
        connect(&reader.card, &TachographCard::pogressMessage, &reader, [&](const QString &msg) {
            if (msg == QStringLiteral("Формирование ЭП EFCardDownload"))
                QCOMPARE(otherCopy->lock(0, {}), FileLock::Outcome::Locked);
        });
        QCOMPARE(save(), DddSaveResult::Saved);
        disconnect(&reader.card, &TachographCard::pogressMessage, &reader, nullptr);
        otherCopy.reset();
        QVERIFY(QFile::exists(path));
        const QByteArray date = reader.card.readData.value(0x050E)->data;
        QVERIFY(reader.readGeneralInfo());
        if (diagnose)
            reader.checkCard(SecretBytes("1234"));
        else
            PendingRestore(reader, reader.card.cardNumber()).checkIdentifiedCard();
        QCOMPARE(rig->errorBoxes, QStringList());
        QCOMPARE(rig->log.filter("сохранена чтением карты в ddd-файле " + config->lastDddPath()).size(), 1);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(rig->files().value(0x050E), date);
    }

    void interruptedReadSavesNothingAndWritesNothing()
    {
        QVERIFY(rig->insert("driver-unknown"));
        CardReader &reader = *rig->reader;
        // Between two files, as the user's cancel would: a card of kind 0
        // reports each file read in full.
        connect(&reader, &CardReader::logginMessage, &reader, [&reader](uchar, const QString &msg) {
            if (msg.contains(QStringLiteral("Файл EFDriverActivityData")))
                reader.interrupted = true;
        });
        const QByteArray download = reader.card.readData.value(0x050E)->data;
        QVERIFY(rig->readCard());
        QVERIFY(reader.card.readData.contains(0x0504) && !reader.card.readData.contains(0x0505));
        const int lines = rig->log.size();
        QCOMPARE(save(), DddSaveResult::NotSaved);
        QCOMPARE(rig->log.size(), lines);
        QVERIFY(savedFiles().isEmpty());
        QCOMPARE(rig->files().value(0x050E), download);
    }
};

QTEST_GUILESS_MAIN(TestCardReaderRead)
#include "tst_cardreader_read.moc"
