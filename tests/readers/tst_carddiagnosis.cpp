// The diagnosis through pcscd, the virtual reader and virtual cards, some
// built with flawed data: the command check with the write tests of EF 0x0509
// and EF 0x050E under every fault the card can be made to show, the data
// checks, and the events and faults list.

#include "platform/FileLock.h"
#include "readers/PendingRestore.h"
#include "tests/readers/CardCounters.h"
#include "tests/readers/DiagnosisWrites.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/OtherProgramAtWork.h"
#include "tests/support/ReadOnlyFolder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

const QString identification = QStringLiteral("Проверка наличия данных, идентифицирующих карту тахографа");
const QString issueDates = QStringLiteral("Сравнение дат выпуска, начала и окончания действия карты тыхографа");
const QString period = QStringLiteral("Контроль установленных сроков действия карты");
const QString validityBegin = QStringLiteral("Контроль срока начала действия карты");
const QString expiry = QStringLiteral("Контроль срока окончания действия карты");
const QString birth = QStringLiteral("Контроль даты рождения");
const QString session = QStringLiteral("Контроль корректности закрытия сеанса");
const QString activity = QStringLiteral("Контроль наличия сведений о деятельнсоти водителя");
const QString vehicles = QStringLiteral("Контроль наличия сведений об эксплуатации ТС");
const QString places = QStringLiteral("Контроль наличия сведений о территориях (местах)");
const QString calibrations = QStringLiteral("Контроль наличия сведений о калибровках");
const QString controls = QStringLiteral("Контроль наличия сведений о выполненных контролях");
const QString badBirthDate = birth + QStringLiteral("||Не корректная дата рождения.|1");

const QString disconnected = QStringLiteral("Отключение от карты тахографа||0");

// Record entries: an earlier run's test value over this card's own bytes,
// and another card's entries this program cannot read.
const QByteArray earlierEntry = R"({"card": "RUD0000012345600", "fid": "050E", "own": "5E0BE100",
    "values": [{"value": "6B000000", "by": "diagnosis", "time": "2026-12-07T21:01:20Z"}]})";
const QByteArray laterWriterEntry = R"({"card": "RUD0000000000001", "fid": "050E", "own": "5E0BE100",
    "values": [{"value": "6B000000", "by": "calibration", "time": "2026-12-07T21:01:20Z"}]})";
const QByteArray untimedEntry = R"({"card": "RUD0000000000001", "fid": "050E", "own": "5E0BE100",
    "values": [{"value": "6B000000", "by": "diagnosis"}]})";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint8 ins(const QByteArray &apdu) { return quint8(apdu.at(1)); }

// "step|message|failed" per row.
QStringList commandRows(const CardReader &reader)
{
    QStringList rows;
    for (const CmdCheckRow &row : reader.cmdCheckRows)
        rows << QStringLiteral("%1|%2|%3").arg(row.step, row.message).arg(row.failed);
    return rows;
}

// The rows of the writable file, from its selection to its signature.
QStringList writableFileRows(const QStringList &rows)
{
    const int first = rows.indexOf(QRegularExpression(QStringLiteral("Выбор EFCardDownload\\|.*")));
    const int last =
        rows.indexOf(QRegularExpression(QStringLiteral("Вычисление электронной подписи EFCardDownload.*")));
    return first < 0 || last < first ? QStringList() : rows.mid(first, last - first + 1);
}

QStringList failedSteps(const QStringList &rows)
{
    QStringList steps;
    for (const QString &row : rows) {
        if (row.endsWith(QLatin1String("|1")))
            steps << row.section(QLatin1Char('|'), 0, 0).replace(QStringLiteral(" EFCardDownload"), QString());
    }
    return steps;
}

} // namespace

class TestCardDiagnosis : public QObject
{
    Q_OBJECT

    enum Trouble {
        NoTrouble,
        ReadBackFails,
        InterruptAfterTestWrite,
        GoneAfterRestore,
        GoneAfterRestoredRead,
        RestoredReadFails,
        TestWriteAnswerLost,
        BothAnswersLost,
        // Another program beside the diagnosis, as OtherProgramAtWork::Work.
        OtherResets,
        OtherSelects,
        OtherSelectsInTransactions
    };

private slots:
    void initTestCase()
    {
        // The rows of EF 0x050E show local times.
        qputenv("TZ", "UTC");
        tzset();
    }

    // Every step passes and every file the card holds is selected once; the
    // PIN of a kind-1 card goes to the card once, right after the first DF
    // selection, and stays there; the write test shows its values ("*": a row
    // that shows the time of the run). The file lists restate the card
    // dictionary, which the read test's block lists check.
    void rowsOfSoundCards_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("writableRows");
        const auto rows = [](const char *profile, const QString &written, const QString &readBack) {
            const QString value = writableOf(profile).text;
            QTest::newRow(profile) << profile
                                   << QStringList{"Выбор EFCardDownload||0",
                                                  "Считывание данных из EFCardDownload|Считанное значение: " + value
                                                      + ".|0",
                                                  written, readBack,
                                                  "Востановление (запись) исходного значения в EFCardDownload|"
                                                  "Записанное значение: " + value + ".|0",
                                                  "Считывание востановленного значения из EFCardDownload|Считанное "
                                                  "значение: " + value + ". Равно записанному значению..|0",
                                                  "Расчет хеша EFCardDownload||0",
                                                  "Вычисление электронной подписи EFCardDownload||0"};
        };
        rows("driver-rfskzi", "*", "*");
        rows("workshop-estr", "Запись данных в EFCardDownload|Записанное значение: 0x7E2 / 2018.|0",
             "Считывание записанных данных в EFCardDownload|Считанное значение: 0x7E2 / 2018. Равно записанному "
             "значению..|0");
        QTest::newRow("control-estr") << "control-estr" << QStringList();
        QTest::newRow("company-rfskzi") << "company-rfskzi" << QStringList();
    }

    void rowsOfSoundCards()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, writableRows);
        const Writable writable = writableOf(profile);
        CardReaderRig rig;
        QVERIFY(rig.insert(profile, writableRows.isEmpty() ? QStringList() : QStringList{"--patch", writable.patch}));
        rig.reader->checkCard(SecretBytes("1234"));
        const QStringList rows = commandRows(*rig.reader);
        QCOMPARE(rows.first(), QStringLiteral("Выбор EFICC||0"));
        QCOMPARE(rows.last(), disconnected);
        QCOMPARE(failedSteps(rows), QStringList());
        const bool skzi = profile.endsWith(QLatin1String("rfskzi"));
        QCOMPARE(rows.indexOf(QStringLiteral("Проверка ПАК-кода||0")),
                 skzi ? rows.indexOf(QStringLiteral("Выбор DF||0")) + 1 : -1);
        QCOMPARE(rows.count(QStringLiteral("Проверка ПАК-кода||0")), skzi ? 1 : 0);
        QCOMPARE(rig.reader->card.pin.bytes(), skzi ? QByteArray("1234") : QByteArray());
        QVERIFY(QDateTime::fromString(rig.reader->cmdCheckRows.first().time, "dd.MM.yyyy hh:mm:ss").isValid());

        QStringList shown = writableFileRows(rows);
        for (int i = 0; i < shown.size() && i < writableRows.size(); ++i)
            shown[i] = writableRows.at(i) == QLatin1String("*") ? writableRows.at(i) : shown.at(i);
        QCOMPARE(shown, writableRows);
        const QMap<quint16, QByteArray> held = rig.files();
        QCOMPARE(rows.filter(QRegularExpression("^Выбор EF")).size(), held.size());
        if (!writableRows.isEmpty())
            QCOMPARE(held.value(writable.fid), writable.bytes);
    }

    // What the card holds afterwards ("left"): its own bytes, the test
    // value, or its own bytes with the last bit changed. Whenever its own
    // bytes cannot be confirmed, the user is told once.
    void writeTestUnderFaults_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("trouble");
        QTest::addColumn<QStringList>("failed");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<bool>("userTold");
        QTest::addColumn<QString>("left");
        const QString readBack = QStringLiteral("Считывание записанных данных в");
        const QString write = QStringLiteral("Запись данных в");
        const QString restore = QStringLiteral("Востановление (запись) исходного значения в");
        const QString readRestored = QStringLiteral("Считывание востановленного значения из");
        const QStringList signing{"Расчет хеша", "Вычисление электронной подписи"};
        for (const char *profile : {"workshop-estr", "driver-rfskzi"}) {
            const auto row = [profile](const char *what) -> QTestData & {
                return QTest::addRow("%s: %s", profile, what) << QString::fromLatin1(profile);
            };
            row("refused test write") << QStringList{"--fail", "update:1:6A80"} << int(NoTrouble)
                                      << QStringList{write} << 5 << false << "own";
            row("test write stores another value") << QStringList{"--store-other", "1"} << int(NoTrouble)
                                                   << QStringList{readBack} << 8 << false << "own";
            row("failed read-back") << QStringList() << int(ReadBackFails) << QStringList{readBack} << 8 << false
                                    << "own";
            row("interruption after the test write")
                << QStringList() << int(InterruptAfterTestWrite) << QStringList{readBack} + signing << 8 << false
                << "own";
            row("restore stores another value") << QStringList{"--store-other", "2"} << int(NoTrouble)
                                                << QStringList{readRestored} << 8 << true << "other";
            row("refused restore") << QStringList{"--fail", "update:2:6A80"} << int(NoTrouble)
                                   << QStringList{restore} << 7 << true << "test";
            // The card took its bytes back before it left: nothing to tell the user.
            row("card gone after the restore") << QStringList() << int(GoneAfterRestore)
                                               << QStringList{readRestored} + signing << 8 << false << "own";
            row("card gone after the restored value was read")
                << QStringList() << int(GoneAfterRestoredRead) << signing << 8 << false << "own";
            // The card acknowledged its bytes; only their check failed.
            row("failed read of the restored value") << QStringList() << int(RestoredReadFails)
                                                     << QStringList{readRestored} << 8 << false << "own";
            // The card carried out the test write and left before its answer.
            row("card gone before the test write's answer")
                << QStringList{"--leave-on", "update:1"} << int(NoTrouble)
                << QStringList{write, restore} + signing << 6 << true << "test";
            row("test write's answer lost, the card still there")
                << QStringList() << int(TestWriteAnswerLost) << QStringList{write} << 7 << false << "own";
            row("answers of both writes lost, the card still there")
                << QStringList() << int(BothAnswersLost) << QStringList{write, restore} << 6 << true << "own";
            row("another program selecting") << QStringList() << int(OtherSelects) << QStringList() << 8 << false
                                             << "own";
            row("another program selecting in transactions")
                << QStringList() << int(OtherSelectsInTransactions) << QStringList() << 8 << false << "own";
            row("another program's reset") << QStringList() << int(OtherResets) << QStringList() << 8 << false
                                           << "own";
        }
    }

    void writeTestUnderFaults()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(int, trouble);
        QFETCH(QStringList, failed);
        QFETCH(int, rowCount);
        QFETCH(bool, userTold);
        QFETCH(QString, left);
        const Writable writable = writableOf(profile);
        if (trouble == ReadBackFails || trouble == RestoredReadFails)
            options << "--fail"
                    << QStringLiteral("read:%1:6A82")
                           .arg(testWriteOf(profile).readBack + (trouble == RestoredReadFails ? 1 : 0));
        // The test write, its read-back, the restore, the read of the restored value.
        if (trouble == GoneAfterRestore || trouble == GoneAfterRestoredRead)
            options << "--remove-after"
                    << QString::number(testWriteOf(profile).command + (trouble == GoneAfterRestore ? 2 : 3));
        CardReaderRig rig;
        CardReader &reader = *rig.reader;
        QVERIFY(rig.insert(profile, options + QStringList{"--patch", writable.patch}));
        if (trouble == InterruptAfterTestWrite) {
            rig.afterApdu = [&reader](const QByteArray &apdu) {
                if (ins(apdu) == 0xD6 && !reader.interrupted)
                    reader.interrupted = reader.card.interrupted = true;
            };
        }
        int writes = 0;
        rig.loseAnswer = [&](const QByteArray &apdu) {
            const bool isWrite = ins(apdu) == 0xD6;
            writes += isWrite ? 1 : 0;
            return isWrite && (trouble == BothAnswersLost || (trouble == TestWriteAnswerLost && writes == 1));
        };
        std::unique_ptr<OtherProgramAtWork> busy;
        if (trouble >= OtherResets) { // from our first command on
            rig.afterApdu = [&](const QByteArray &) {
                if (!busy)
                    busy = std::make_unique<OtherProgramAtWork>(rig.vcard.name(),
                                                                OtherProgramAtWork::Work(trouble - OtherResets));
            };
        }
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        reader.checkCard(SecretBytes("1234"));
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        if (busy) { // it did its work, if only after ours
            QTRY_VERIFY_WITH_TIMEOUT(busy->done > 0, 30000);
            busy.reset();
        }
        const QStringList rows = commandRows(reader);
        QCOMPARE(failedSteps(writableFileRows(rows)), failed);
        QCOMPARE(writableFileRows(rows).size(), rowCount);
        const QString logLine = QStringLiteral("2|%1: Не удалось восстановить исходное значение %2 в EFCardDownload "
                                               "(EF 0x%3).")
                                    .arg(rig.vcard.name(), writable.text, writable.patch.left(4));
        if (userTold) {
            QCOMPARE(rig.errorBoxes.size(), 1);
            QVERIFY2(rig.errorBoxes.first().startsWith(
                         "3|Не удалось восстановить исходное значение в EFCardDownload (EF 0x0"),
                     qPrintable(rig.errorBoxes.first()));
            QVERIFY2(rig.errorBoxes.first().contains(writable.text), qPrintable(rig.errorBoxes.first()));
            QCOMPARE(rig.log.count(logLine), 1);
        } else {
            QCOMPARE(rig.errorBoxes, QStringList());
            QVERIFY(!rig.log.contains(logLine));
            // What the card information will show: the card's own bytes.
            QCOMPARE(reader.card.readData.value(writable.fid)->data, writable.bytes);
        }
        if (trouble == InterruptAfterTestWrite) {
            // The loop ends with the interrupted file; the card stays interrupted.
            QCOMPARE(rows.mid(rows.indexOf(writableFileRows(rows).last()) + 1), QStringList{disconnected});
            QVERIFY(reader.card.interrupted);
        }

        const QMap<quint16, QByteArray> files = rig.files();
        const QByteArray held = files.value(writable.fid);
        if (trouble >= OtherResets) { // no other file changed: the same card never diagnosed
            QVERIFY(rig.insertCard(profile, options + QStringList{"--patch", writable.patch}));
            QCOMPARE(rig.files(), files);
        }
        if (left == QLatin1String("own")) {
            QCOMPARE(held, writable.bytes);
        } else if (left == QLatin1String("other")) {
            QCOMPARE(held.toHex(), writable.fid == 0x0509 ? QByteArray("abcc") : QByteArray("5e0be101"));
        } else if (writable.fid == 0x0509) {
            QCOMPARE(held.toHex(), QByteArray("07e2"));
        } else {
            const qint64 stamped = qint64(held.toHex().toUInt(nullptr, 16));
            QVERIFY2(stamped >= before && stamped <= after, held.toHex().constData());
        }
    }

    // Another program's reset met by each kind of command, one level down:
    // the check starts over and no row fails; a PIN the card refused is not
    // presented again; a reset met again ends the check with its reason,
    // and the test value still goes back, in a hold of its own.
    void startOverAfterAReset_data()
    {
        QTest::addColumn<QStringList>("resets"); // hexadecimal prefixes of the APDUs tried, in order
        QTest::addColumn<QByteArray>("pin");
        QTest::addColumn<bool>("ends");
        const auto row = [](const char *name, const QStringList &resets, bool ends = false,
                            const QByteArray &pin = "1234") { QTest::newRow(name) << resets << pin << ends; };
        row("SELECT DF", {"00A4040C"});
        row("the VERIFY", {"00A4040C 0020"});
        row("the first SELECT in the application", {"00A4040C 0020 00A4020C"});
        row("PERFORM HASH", {"802A"});
        row("COMPUTE SIGNATURE", {"002A9E9A"});
        row("the test write", {"00D6"});
        row("the read-back", {"00D6 00B0"});
        row("the restore", {"00D6 00D6"});
        row("a READ BINARY after a wrong PIN", {"00A4040C 0020 00A4020C 00B0"}, false, "9999");
        row("again at the PIN presented again", {"00A4040C 0020 00A4020C", "00A4040C 0020 00A4020C 00A4040C 0020"},
            true);
        row("again at the restore", {"00D6 00D6", "00D6 00D6 00D6"}, true);
    }

    void startOverAfterAReset()
    {
        QFETCH(QStringList, resets);
        QFETCH(QByteArray, pin);
        QFETCH(bool, ends);
        const Writable writable = writableOf("driver-rfskzi");
        CardReaderRig rig;
        QVERIFY(rig.insert("driver-rfskzi", {"--patch", writable.patch}));
        QList<QStringList> plan;
        for (const QString &sequence : qAsConst(resets))
            plan << sequence.split(' ');
        rig.refuse = [&](const QByteArray &apdu) {
            bool fired = false;
            for (QStringList &left : plan) {
                if (left.isEmpty() || !apdu.toHex().toUpper().startsWith(left.first().toLatin1()))
                    continue;
                left.removeFirst();
                fired = fired || left.isEmpty();
            }
            if (!fired)
                return 0;
            quint32 protocol = 0;
            Pcsc::SCardReconnect(rig.reader->card.hCard, Pcsc::SCARD_SHARE_SHARED,
                                 Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1, Pcsc::SCARD_RESET_CARD, &protocol);
            return qint32(0x80100068);
        };
        const bool checked = rig.reader->checkCard(SecretBytes(pin));
        QCOMPARE(checked, !ends);
        const QStringList rows = commandRows(*rig.reader);
        if (ends)
            QCOMPARE(rig.reader->connectFailureText(QString()), QString("Карта была сброшена другой программой"));
        else if (pin == "1234")
            QCOMPARE(failedSteps(rows), QStringList());
        QCOMPARE(rig.files().value(writable.fid), writable.bytes);
        QCOMPARE(readCardCounters(rig.dumpFolder.path()).value("pin-tries"), QString(pin == "9999" ? "2" : "3"));
        QVERIFY(!QFile::exists(PendingRestore::filePath()));
    }

    // The record of the test write, first at the sight of the card (as the
    // reader manager looks) and then through the diagnosis. An earlier run's
    // value stays in it beside the new one while the card may hold either. A
    // record that cannot be locked, read whole or written keeps what it holds
    // and the card its bytes, an earlier run's test value included: the row
    // says why. A card left changed is told in a box and a line whatever keeps
    // the record from being changed, and so is a record not read whole.
    void recordOfTheTestWrite_data()
    {
        QTest::addColumn<QByteArray>("record"); // the entries; empty: none
        QTest::addColumn<QString>("card");      // what the card's EF 0x050E holds
        QTest::addColumn<QString>("place");     // what else stands in the data folder
        QTest::addColumn<QString>("reason");    // of the refused write; empty: written
        QTest::addColumn<int>("leftTold");       // boxes and lines of a card left changed
        QTest::addColumn<int>("unreadableTold"); // of a record not read whole
        QTest::addColumn<QByteArray>("kept");   // the record afterwards, when the write was refused
        const QString record = PendingRestore::filePath();
        const QString notOurs = " не является обычным файлом программы";
        const QString unknown = "в записи есть сведения, которые эта версия программы не понимает";
        const QByteArray earlier = "[" + earlierEntry + "]";
        const QByteArray cut = earlier.left(60);
        const auto row = [](const char *name, const QByteArray &record, const char *card, const char *place,
                            const QString &reason, int left, int unreadable, const QByteArray &kept) {
            QTest::newRow(name) << record << QString(card) << QString(place) << reason << left << unreadable << kept;
        };
        row("an earlier run's value, the card pulled at the new test write", earlier, "6B000000", "pulled", "", 1, 0,
            "");
        row("the record's path a folder", "", "5E0BE100", "folder", record + notOurs, 0, 2, "");
        row("the record a link to an outside file", "", "5E0BE100", "link", record + notOurs, 0, 2, "[General]\n");
        row("another card's entry by a later version's writer", "[" + laterWriterEntry + "]", "5E0BE100", "",
            unknown, 0, 1, "[" + laterWriterEntry + "]");
        row("another card's entry without its time", "[" + untimedEntry + "]", "5E0BE100", "", unknown, 0, 1,
            "[" + untimedEntry + "]");
        row("the record cut short", cut, "5E0BE100", "", "запись повреждена", 0, 2, cut);
        row("another card's entry unreadable, the card holding an earlier test value",
            "[" + earlierEntry + "," + laterWriterEntry + "]", "6B000000", "", unknown, 1, 1,
            "[" + earlierEntry + "," + laterWriterEntry + "]");
        row("this card's entry unreadable, the card holding its value",
            "[" + QByteArray(earlierEntry).replace("diagnosis", "calibration") + "]", "6B000000", "", unknown, 0, 2,
            "[" + QByteArray(earlierEntry).replace("diagnosis", "calibration") + "]");
        row("an entry over, another card's entry unreadable",
            "[" + QByteArray(earlierEntry).replace("6B000000", "6C000000") + "," + laterWriterEntry + "]",
            "6B000000", "", unknown, 0, 1, "[" + laterWriterEntry + "]");
        row("the record busy, the card holding an earlier test value", earlier, "6B000000", "busy",
            "запись занята другой копией программы дольше 3 с", 1, 0, earlier);
        row("a read-only data folder, the card holding an earlier test value", earlier, "6B000000", "read-only",
            "не удалось занять запись (Файловая система доступна только для чтения)", 1, 0, earlier);
        row("a full data folder, the card holding an earlier test value", earlier, "6B000000", "full",
            "На устройстве не осталось свободного места", 1, 0, earlier);
        row("a pipe at the lock's path", "", "5E0BE100", "pipe lock", record + ".lock" + notOurs, 0, 0, "");
        row("an empty lock file left behind", "", "5E0BE100", "empty lock", "", 0, 0, "");
    }

    void recordOfTheTestWrite()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, card);
        QFETCH(QString, place);
        QFETCH(QString, reason);
        QFETCH(int, leftTold);
        QFETCH(int, unreadableTold);
        QFETCH(QByteArray, kept);
        QStringList options{"--patch", "050E:0:" + card};
        if (place == "pulled")
            options << "--remove-after" << QString::number(testWriteOf("driver-rfskzi").command - 1);
        CardReaderRig rig;
        QTemporaryDir folder;
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        // A full data folder: a small tmpfs in the sandbox's own mount namespace.
        const bool full = place == "full";
        const QStringList small{"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder.path()};
        QVERIFY(!full || (qEnvironmentVariableIsSet("DRVP_IN_SANDBOX") && QProcess::execute("mount", small) == 0));
        const auto restoreHome = qScopeGuard([&] {
            qputenv("XDG_DATA_HOME", dataHome);
            if (full)
                QProcess::execute("umount", {"-l", folder.path()});
        });
        if (full)
            qputenv("XDG_DATA_HOME", QFile::encodeName(folder.path()));
        const QString path = PendingRestore::filePath();
        const QString lock = path + ".lock";
        QFile::remove(lock); // left by the diagnoses before
        const auto cleanUp = qScopeGuard([path, lock] {
            QDir(path).removeRecursively();
            QFile::remove(path);
            QFile::remove(lock);
        });
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && writeFile(folder.filePath("settings.ini"), "[General]\n"));
        QVERIFY(record.isEmpty() || writeFile(path, record));
        QVERIFY(place != "folder" || QDir().mkpath(path));
        QVERIFY(place != "link" || QFile::link(folder.filePath("settings.ini"), path));
        QVERIFY(place != "pipe lock" || !makeFifo(lock).isEmpty());
        QVERIFY(place != "empty lock" || writeFile(lock, ""));
        QFile filler(folder.filePath("filler"));
        QVERIFY(!full || filler.open(QIODevice::WriteOnly));
        while (full && filler.write(QByteArray(4096, '\0')) > 0 && filler.flush()) {
        }
        auto otherCopy = std::make_unique<FileLock>(lock);
        QVERIFY(place != "busy" || otherCopy->lock(0, {}) == FileLock::Outcome::Locked);
        // The other copy lets the record go once this one has given up on it.
        connect(rig.reader.get(), &CardReader::logginMessage, this, [&otherCopy](uchar, const QString &line) {
            if (line.contains("занята другой копией"))
                otherCopy.reset();
        });
        ReadOnlyFolder readOnly(place == "read-only" ? QFileInfo(path).path() : QString());
        QCOMPARE(readOnly.isReadOnly(), place == "read-only");
        QVERIFY(rig.insert("driver-rfskzi", options));
        PendingRestore(*rig.reader, rig.reader->card.cardNumber()).checkIdentifiedCard();
        rig.reader->checkCard(SecretBytes("1234"));
        readOnly.release();
        const QStringList rows = writableFileRows(commandRows(*rig.reader));
        const QByteArray held = rig.files().value(0x050E);
        const QByteArray left = fileBytes(path);
        QCOMPARE(fileBytes(folder.filePath("settings.ini")), QByteArray("[General]\n"));
        const QString reader = rig.vcard.name();
        const QString leftText = "На карте RUD0000012345600 осталось тестовое значение";
        QCOMPARE(rig.errorBoxes.filter("2|" + leftText).size(), leftTold);
        QCOMPARE(rig.log.filter("1|" + reader + ": " + leftText).size(), leftTold);
        const QString unreadable = "Не удалось прочитать запись о восстановлении исходных значений";
        QCOMPARE(rig.errorBoxes.filter("2|" + unreadable + ".|Файл " + path + ": " + reason + ".").size(),
                 unreadableTold);
        QCOMPARE(rig.log.filter("1|" + reader + ": " + unreadable + " " + path + ": " + reason + ".").size(),
                 unreadableTold);
        if (!reason.isEmpty()) {
            QCOMPARE(rows.value(2), "Запись данных в EFCardDownload|Тестовое значение не записано: " + reason + ".|1");
            QCOMPARE(held.toHex().toUpper(), card.toLatin1());
            QCOMPARE(rig.log.filter("восстановлено").size(), 0);
            QCOMPARE(QJsonDocument::fromJson(left), QJsonDocument::fromJson(kept));
            QCOMPARE(left.isEmpty(), kept.isEmpty());
        } else if (place == "empty lock") { // no copy holds it: the test runs, and the record goes with it
            QCOMPARE(failedSteps(rows), QStringList());
            QCOMPARE(held.toHex().toUpper(), card.toLatin1());
            QCOMPARE(left, QByteArray());
        } else { // the card kept the earlier run's value; the record names both over the card's own
            QCOMPARE(held, QByteArray::fromHex("6B000000"));
            const QJsonArray entries = QJsonDocument::fromJson(left).array();
            QCOMPARE(entries.size(), 1);
            QCOMPARE(entries.at(0)["own"].toString(), QString("5E0BE100"));
            const QJsonArray values = entries.at(0)["values"].toArray();
            QCOMPARE(values.size(), 2);
            QCOMPARE(values.at(0)["value"].toString(), QString("6B000000"));
            QVERIFY(values.at(1)["value"].toString() != "6B000000");
        }
    }

    // Nothing is tried past the connect, and no hold that never was is let go.
    void cardThatCannotBeConnected()
    {
        CardReaderRig rig;
        QVERIFY(rig.insert(QStringLiteral("control-estr")));
        QVERIFY(rig.vcard.remove());
        QVERIFY(!rig.reader->checkCard(SecretBytes("1234")));
        QCOMPARE(commandRows(*rig.reader), QStringList{"Подключение к карте|Не удалось подключиться к карте.|1"});
        QCOMPARE(rig.log.filter("Не удалось отключиться"), QStringList());
    }

    void skziCardWithoutPin()
    {
        CardReaderRig rig;
        QVERIFY(rig.insert(QStringLiteral("driver-rfskzi")));
        rig.reader->checkCard(SecretBytes());
        const QStringList rows = commandRows(*rig.reader);
        QVERIFY(!rows.join('\n').contains(QStringLiteral("ПАК")));
        QVERIFY(rows.contains(QStringLiteral("Считывание данных из EFIdentification||0")));
        QVERIFY(rows.contains(QStringLiteral("Считывание данных из EFEventsData|Не удалось считать данные.|1")));
    }

    // Sound cards list their controls; a flawed card fails the control of
    // its flaw. Dates follow the day of the run: each shows as "D".
    void dataChecks_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("controls"); // empty: not compared
        QTest::addColumn<QStringList>("failed");
        const QStringList head{identification, issueDates, period, validityBegin, expiry, birth};
        const QStringList driver = head + QStringList{session, activity, vehicles, places};
        const QStringList workshop = head + QStringList{session, calibrations, activity, vehicles, places};
        // Only the card type decides the controls; the one national driver
        // card was left with its session open.
        QTest::newRow("driver-rf") << "driver-rf" << driver
                                   << QStringList{session + "|D 07:00:00 / О777ОО99 / 43|Некорректно закрытый сеанс "
                                                            "работы с картой.|1"};
        QTest::newRow("workshop-rfskzi") << "workshop-rfskzi" << workshop << QStringList{badBirthDate};
        QTest::newRow("control-estr") << "control-estr" << head + QStringList{controls} << QStringList{badBirthDate};
        QTest::newRow("company-rf") << "company-rf" << head + QStringList{controls} << QStringList{badBirthDate};

        const auto flawed = [](const char *name, const char *profile, const QStringList &failed) {
            QTest::newRow(name) << QString::fromLatin1(profile) << QStringList() << failed;
        };
        flawed("issued after the validity begins", "driver-issued-late",
               {issueDates + "|D / D / D|Дата выпуска карты тахографа больше даты начала действия карты.|1"});
        flawed("issued the day the validity begins", "driver-issued-on-begin", {});
        flawed("a driver card valid a day short of three years", "driver-validity-short",
               {period + "|D / D|Срок действия карты отличается от 3 лет|1"});
        flawed("a driver card valid a day over three years", "driver-validity-long",
               {period + "|D / D|Срок действия карты отличается от 3 лет|1"});
        flawed("a workshop card valid two years", "workshop-validity-long",
               {period + "|D / D|Срок действия карты отличается от 1 года|1", badBirthDate});
        flawed("not yet valid", "driver-not-yet-valid",
               {validityBegin + "|D 00:00:00|Срок действия карты еще не наступил.|1"});
        flawed("expired", "driver-expired", {expiry + "|D 00:00:00|Срок действия карты истек.|1"});
        flawed("birth date no date", "driver-bad-birth-date", {badBirthDate});
        const QString noActivity =
            activity + "|Данные отсутствуют|В карте отсутствуют данные о деятельности водителя.|1";
        const QString noVehicles =
            vehicles + "|Данные отсутствуют|В карте отсутствуют данные об эксплуатации транспортных средств.|1";
        const QString noPlaces = places + "|Данные отсутствуют|В карте отсутствуют данные о территориях (местах).|1";
        flawed("blank driver usage data", "driver-blank-usage", {noActivity, noVehicles, noPlaces});
        flawed("blank workshop usage data", "workshop-blank-usage",
               {badBirthDate, calibrations + "|Данные отсутствуют|В карте отсутствуют данные о калибровках.|1",
                noActivity, noVehicles, noPlaces});
        for (const char *profile : {"control-blank-usage", "company-blank-usage"}) {
            flawed(profile, profile,
                   {badBirthDate,
                    controls + "|Данные отсутствуют|В карте отсутствуют данные о выполненных контролях.|1"});
        }
        const QString notLoaded =
            QStringLiteral("|Данные отсутствуют|Проверка данных не может быть выполненна, так как они не были "
                           "загружены.");
        flawed("identification not readable", "driver-short-identification", {notLoaded + "|1"});
        flawed("places not readable", "driver-no-places",
               {places + "|Данные не доступны|Проверка не может быть выполнена, так как не были загружены данные с "
                         "карты тахографа.|1"});
        flawed("current usage not readable", "driver-no-current-usage", {notLoaded + "|0"});
    }

    void dataChecks()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, controls);
        CardReaderRig rig;
        QVERIFY(rig.insert(profile));
        rig.reader->checkCard(SecretBytes("1234"));
        // "control|value|message|failed"; the failed rows and those that say a
        // file was not loaded (no control).
        QStringList rows, failed, names;
        for (const DataCheckRow &row : rig.reader->dataCheckRows) {
            rows << QStringLiteral("%1|%2|%3|%4").arg(row.control, row.value, row.message).arg(row.failed);
            rows.last().replace(QRegularExpression(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4}")), QStringLiteral("D"));
            if (row.failed || row.control.isEmpty())
                failed << rows.last();
            names << row.control;
        }
        QTEST(failed, "failed");
        if (controls.isEmpty())
            return;
        QCOMPARE(names, controls);
        QCOMPARE(rows.first(), identification + QStringLiteral("|Не применимо|Заданы значения всех атрибутов|0"));
        QCOMPARE(rows.at(2).section(QLatin1Char('|'), 1, 1), QStringLiteral("D / D"));
        QCOMPARE(rows.at(3).section(QLatin1Char('|'), 1, 1), QStringLiteral("D 00:00:00"));
        QVERIFY(rows.contains(activity + QStringLiteral("|Данные присутствуют||0")) == controls.contains(activity));
    }

    void eventsAndFaults_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("rows");
        const QString reserved = QStringLiteral("Зарезервировано для будущего использования");
        // The second event, 0x07, made 0x06.
        QTest::newRow("flagged types")
            << "driver-attention-records --patch 0502:24:06"
            << QStringList{"Событие|05|Ввод карточки в процессе управления|1",
                           "Событие|06|Последний сеанс использования карточки завершен неправильно|1",
                           "Событие|41|" + reserved + "|1", "Неисправность|4f|" + reserved + "|1",
                           "Неисправность|35|Неисправность датчика|0"};
        const QString faultsNotRead = QStringLiteral("Неисправность|00|Проверка по неисправностям не может быть "
                                                     "выполненна, так как данные не были загружены.|1");
        QTest::newRow("blank events, no fault file")
            << "driver-no-records"
            << QStringList{"Событие|00|В карте отсутствуют записи о событиях|0", faultsNotRead};
        // Counted empty in EF 0501: read as 0 bytes, which is loaded all the same.
        QTest::newRow("no events counted")
            << "driver-no-records --patch 0501:3:00"
            << QStringList{"Событие|00|В карте отсутствуют записи о событиях|0", faultsNotRead};
        QTest::newRow("control card")
            << "control-rf"
            << QStringList{"Событие|00|Проверка по событиям не может быть выполненна, так как данные не были "
                           "загружены.|1",
                           faultsNotRead};
    }

    void eventsAndFaults()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, rows);
        CardReaderRig rig;
        const QStringList options = profile.split(QLatin1Char(' '));
        QVERIFY(rig.insert(options.first(), options.mid(1)));
        rig.reader->checkCard(SecretBytes("1234"));
        QStringList listed;
        for (const EventFaultRow &row : rig.reader->eventFaultRows) {
            listed << QStringLiteral("%1|%2|%3|%4")
                          .arg(row.kind)
                          .arg(row.type, 2, 16, QLatin1Char('0'))
                          .arg(row.text)
                          .arg(row.flagged);
            if (row.type == 0) {
                // Status rows carry the epoch in local time.
                QCOMPARE(row.begin, QDateTime::fromSecsSinceEpoch(0, Qt::LocalTime));
                QCOMPARE(row.begin.timeSpec(), Qt::LocalTime);
                QCOMPARE(row.end, row.begin);
            } else {
                QCOMPARE(row.begin.secsTo(row.end), qint64(1800));
            }
        }
        QCOMPARE(listed, rows);
    }
};

QTEST_GUILESS_MAIN(TestCardDiagnosis)
#include "tst_carddiagnosis.moc"
