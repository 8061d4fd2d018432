// The command check of the diagnosis through pcscd, the virtual reader and
// the virtual card: the rows of every card variant, and the write tests of
// EF 0x0509 and EF 0x050E under every fault the card can be made to show.

#include "tests/readers/CardRig.h"

#include <QtTest>

#include <ctime>

namespace {

const QString mf = QStringLiteral("EFICC EFIC EFApplicationIdentification ");
const QString plainCerts = QStringLiteral("EFCardCertificate EFCACertificate ");
const QString gostCerts = QStringLiteral("EFCardCertificateGOST EFKeyIdentificators ");
const QString driverFiles = QStringLiteral(
    "EFIdentification EFCardDownload EFDrivingLicenceInfo EFEventsData EFFaultsData EFDriverActivityData "
    "EFVehiclesUsed EFPlaces EFCurrentUsage EFControlActivityData EFSpecificConditions");
const QString workshopFiles = QStringLiteral(
    "EFIdentification EFCardDownload EFCalibration EFEventsData EFFaultsData EFDriverActivityData EFVehiclesUsed "
    "EFPlaces EFCurrentUsage EFControlActivityData EFSpecificConditions");
const QString disconnected = QStringLiteral("Отключение от карты тахографа||0");

// The writable file of a workshop card and of a driver card: a known value,
// its bytes, and how the rows and the error message name it.
struct Writable
{
    quint16 fid;
    QString patch;
    QByteArray bytes;
    QString text;
};

Writable writableOf(const QString &profile)
{
    if (profile.startsWith(QLatin1String("workshop")))
        return {0x0509, "0509:0:ABCD", QByteArray::fromHex("ABCD"), "0xABCD / 43981"};
    return {0x050E, "050E:0:5E0BE100", QByteArray::fromHex("5E0BE100"),
            "0x5E0BE100 / 1577836800, соответствует 01.01.2020 00:00:00"};
}

// The file names of the "Выбор" rows, DF selection left out.
QString selectedFiles(const QStringList &rows)
{
    QStringList names;
    for (const QString &row : rows) {
        if (row.startsWith(QStringLiteral("Выбор EF")))
            names << row.section(QLatin1Char('|'), 0, 0).mid(6);
    }
    return names.join(QLatin1Char(' '));
}

// The rows of the writable file, from its selection to its signature.
QStringList writableFileRows(const QStringList &rows)
{
    // indexOf wants the whole row to match.
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

class TestCardDiagnosisCommands : public QObject
{
    Q_OBJECT

    enum Trouble { NoTrouble, ReadBackFails, InterruptAfterTestWrite };

    // Number of the first UPDATE BINARY and of the READ BINARY commands
    // before it, as the card counts them, in a diagnosis of the profile.
    QMap<QString, QPair<int, int>> updatePositions;

    QPair<int, int> updatePosition(const QString &profile)
    {
        if (!updatePositions.contains(profile)) {
            CardRig card;
            if (!card.insert(profile, {"--patch", writableOf(profile).patch}))
                return {};
            card.reader().checkCard(SecretBytes("1234"));
            const int update = card.firstApdu(0xD6);
            int reads = 0;
            for (int i = 0; i + 1 < update; ++i)
                reads += quint8(card.apdus.at(i).at(1)) == 0xB0 ? 1 : 0;
            updatePositions.insert(profile, {update, reads});
        }
        return updatePositions.value(profile);
    }

private slots:
    void initTestCase()
    {
        // The rows of EF 0x050E show local times.
        qputenv("TZ", "UTC");
        tzset();
    }

    void rowsOfEveryCardVariant_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("files");
        const QString gostTail = QStringLiteral("EFArchiveRequests EFCACertificate EFIdentification ");
        QTest::newRow("driver-rfskzi") << "driver-rfskzi" << mf + gostCerts + "EFCACertificate " + driverFiles;
        QTest::newRow("workshop-rfskzi")
            << "workshop-rfskzi"
            << mf + gostCerts + "EFTemporaryCert EFCertRequest EFVUCert EFArchiveRequests EFVUCertRequest "
                   "EFCACertificate " + workshopFiles;
        QTest::newRow("control-rfskzi") << "control-rfskzi" << mf + gostCerts + gostTail + "EFControllerActivityData";
        QTest::newRow("company-rfskzi") << "company-rfskzi" << mf + gostCerts + gostTail + "EFCompanyActivityData";
        for (const QString kind : {"-estr", "-rf"}) {
            QTest::newRow(qPrintable("driver" + kind)) << "driver" + kind << mf + plainCerts + driverFiles;
            QTest::newRow(qPrintable("workshop" + kind)) << "workshop" + kind << mf + plainCerts + workshopFiles;
            QTest::newRow(qPrintable("control" + kind))
                << "control" + kind << mf + plainCerts + "EFIdentification EFControllerActivityData";
            QTest::newRow(qPrintable("company" + kind))
                << "company" + kind << mf + plainCerts + "EFIdentification EFCompanyActivityData";
        }
    }

    void rowsOfEveryCardVariant()
    {
        QFETCH(QString, profile);
        QFETCH(QString, files);
        CardRig card;
        QVERIFY(card.insert(profile));
        card.reader().checkCard(SecretBytes("1234"));
        const QStringList rows = card.commandRows();
        QCOMPARE(selectedFiles(rows), files);
        QCOMPARE(rows.first(), QStringLiteral("Выбор EFICC||0"));
        QCOMPARE(rows.last(), disconnected);
        QCOMPARE(failedSteps(rows), QStringList());
        // The PIN goes to the card once, right after the first DF selection,
        // and stays there.
        const bool skzi = profile.endsWith(QLatin1String("rfskzi"));
        QCOMPARE(rows.indexOf(QStringLiteral("Проверка ПАК-кода||0")),
                 skzi ? rows.indexOf(QStringLiteral("Выбор DF||0")) + 1 : -1);
        QCOMPARE(rows.count(QStringLiteral("Проверка ПАК-кода||0")), skzi ? 1 : 0);
        QCOMPARE(card.reader().card.pin.bytes(), skzi ? QByteArray("1234") : QByteArray());
        QVERIFY(QDateTime::fromString(card.reader().cmdCheckRows.first().time, "dd.MM.yyyy hh:mm:ss").isValid());
    }

    // "*" stands for a row that shows the time of the run.
    void writeTestRowsShowTheValues_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("rows");
        const QString read = QStringLiteral("Считывание данных из EFCardDownload|Считанное значение: %1.|0");
        const QString restored = QStringLiteral(
            "Востановление (запись) исходного значения в EFCardDownload|Записанное значение: %1.|0");
        const QString readRestored = QStringLiteral("Считывание востановленного значения из EFCardDownload|Считанное "
                                                    "значение: %1. Равно записанному значению..|0");
        const QString signature = QStringLiteral("Вычисление электронной подписи EFCardDownload||0");
        for (const QString profile : {"workshop-estr", "driver-estr"}) {
            const QString value = writableOf(profile).text;
            const bool workshop = profile.startsWith(QLatin1String("workshop"));
            QTest::newRow(qPrintable(profile))
                << profile
                << QStringList{"Выбор EFCardDownload||0", read.arg(value),
                               workshop ? "Запись данных в EFCardDownload|Записанное значение: 0x7E2 / 2018.|0" : "*",
                               workshop ? "Считывание записанных данных в EFCardDownload|Считанное значение: 0x7E2 / "
                                          "2018. Равно записанному значению..|0"
                                        : "*",
                               restored.arg(value), readRestored.arg(value), "Расчет хеша EFCardDownload||0",
                               signature};
        }
    }

    void writeTestRowsShowTheValues()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, rows);
        const Writable writable = writableOf(profile);
        CardRig card;
        QVERIFY(card.insert(profile, {"--patch", writable.patch}));
        card.reader().checkCard(SecretBytes("1234"));
        QStringList shown = writableFileRows(card.commandRows());
        for (int i = 0; i < shown.size() && i < rows.size(); ++i)
            shown[i] = rows.at(i) == QLatin1String("*") ? rows.at(i) : shown.at(i);
        QCOMPARE(shown, rows);
        QCOMPARE(card.files().value(writable.fid), writable.bytes);
    }

    void writeTestUnderFaults_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("trouble");
        QTest::addColumn<QStringList>("failed");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<bool>("userTold");
        const QString readBack = QStringLiteral("Считывание записанных данных в");
        for (const char *profile : {"workshop-estr", "driver-rfskzi"}) {
            const auto row = [profile](const char *what) -> QTestData & {
                return QTest::addRow("%s: %s", profile, what) << QString::fromLatin1(profile);
            };
            row("refused test write") << QStringList{"--fail", "update:1:6A80"} << int(NoTrouble)
                                      << QStringList{"Запись данных в"} << 5 << false;
            row("test write stores another value") << QStringList{"--store-other", "1"} << int(NoTrouble)
                                                   << QStringList{readBack} << 8 << false;
            row("failed read-back") << QStringList() << int(ReadBackFails) << QStringList{readBack} << 8 << false;
            row("interruption after the test write")
                << QStringList() << int(InterruptAfterTestWrite)
                << QStringList{readBack, "Расчет хеша", "Вычисление электронной подписи"} << 8 << false;
            row("restore stores another value") << QStringList{"--store-other", "2"} << int(NoTrouble)
                                                << QStringList{"Считывание востановленного значения из"} << 8 << true;
            row("refused restore") << QStringList{"--fail", "update:2:6A80"} << int(NoTrouble)
                                   << QStringList{"Востановление (запись) исходного значения в"} << 7 << true;
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
        const Writable writable = writableOf(profile);
        if (trouble == ReadBackFails)
            options << "--fail" << QStringLiteral("read:%1:6A82").arg(updatePosition(profile).second + 1);
        CardRig card;
        QVERIFY(card.insert(profile, options + QStringList{"--patch", writable.patch}));
        if (trouble == InterruptAfterTestWrite) {
            card.afterApdu = [&card](const QByteArray &apdu) {
                if (quint8(apdu.at(1)) == 0xD6 && !card.reader().interrupted) {
                    card.reader().on_InterruptAllOperation();
                    card.reader().card.on_InterruptAllOperation();
                }
            };
        }
        card.reader().checkCard(SecretBytes("1234"));
        const QStringList rows = card.commandRows();
        QCOMPARE(failedSteps(writableFileRows(rows)), failed);
        QCOMPARE(writableFileRows(rows).size(), rowCount);
        if (userTold) {
            QCOMPARE(card.errorBoxes.size(), 1);
            QVERIFY2(card.errorBoxes.first().startsWith(
                         "3|Не удалось восстановить исходное значение в EFCardDownload (EF 0x0"),
                     qPrintable(card.errorBoxes.first()));
            QVERIFY2(card.errorBoxes.first().contains(writable.text), qPrintable(card.errorBoxes.first()));
            QVERIFY(card.rig->logged(
                QStringLiteral("2|%1: Не удалось восстановить исходное значение %2 в EFCardDownload (EF 0x%3).")
                    .arg(card.vcard.name(), writable.text, writable.patch.left(4))));
        } else {
            QCOMPARE(card.errorBoxes, QStringList());
            QCOMPARE(card.files().value(writable.fid), writable.bytes);
        }
        if (trouble == InterruptAfterTestWrite) {
            // The loop ends with the interrupted file; the card stays interrupted.
            QCOMPARE(rows.mid(rows.indexOf(writableFileRows(rows).last()) + 1), QStringList{disconnected});
            QVERIFY(card.reader().card.interrupted);
        }
    }

    // The card leaves after each command from the selection of the writable
    // file to the check of its restored value: either it keeps its original
    // bytes, or the user hears of it.
    void removalDuringTheWriteTest_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("offset");
        for (const char *profile : {"workshop-rf", "driver-estr"}) {
            for (int offset = -2; offset <= 3; ++offset)
                QTest::addRow("%s, removed %+d from the test write", profile, offset) << profile << offset;
        }
    }

    void removalDuringTheWriteTest()
    {
        QFETCH(QString, profile);
        QFETCH(int, offset);
        const Writable writable = writableOf(profile);
        const int update = updatePosition(profile).first;
        QVERIFY(update > 0);
        CardRig card;
        QVERIFY(card.insert(profile,
                            {"--patch", writable.patch, "--remove-after", QString::number(update + offset)}));
        card.reader().checkCard(SecretBytes("1234"));
        QVERIFY(card.vcard.waitForExit());
        const bool testValueLeft = offset == 0 || offset == 1;
        QCOMPARE(card.files().value(writable.fid) == writable.bytes, !testValueLeft);
        QCOMPARE(card.errorBoxes.size(), testValueLeft ? 1 : 0);
        if (testValueLeft)
            QVERIFY(card.errorBoxes.first().contains(writable.text));
        QCOMPARE(card.commandRows().last(), disconnected);
    }

    void cardThatCannotBeConnected()
    {
        CardRig card;
        QVERIFY(card.insert(QStringLiteral("control-estr")));
        QVERIFY(card.vcard.remove());
        card.reader().checkCard(SecretBytes("1234"));
        const QStringList rows = card.commandRows();
        QCOMPARE(rows.first(), QStringLiteral("Подключение к карте|Не удалось подключиться к карте.|1"));
        QCOMPARE(selectedFiles(rows), mf + plainCerts + "EFIdentification EFControllerActivityData");
        QCOMPARE(failedSteps(rows).size(), rows.size());
        QCOMPARE(rows.last(),
                 QStringLiteral("Отключение от карты тахографа|Не удалось отключиться от карты тахографа.|1"));
    }

    void skziCardWithoutPin()
    {
        CardRig card;
        QVERIFY(card.insert(QStringLiteral("driver-rfskzi")));
        card.reader().checkCard(SecretBytes());
        const QStringList rows = card.commandRows();
        QVERIFY(!rows.join('\n').contains(QStringLiteral("ПАК")));
        QVERIFY(rows.contains(QStringLiteral("Считывание данных из EFIdentification||0")));
        QVERIFY(rows.contains(QStringLiteral("Считывание данных из EFEventsData|Не удалось считать данные.|1")));
    }
};

QTEST_GUILESS_MAIN(TestCardDiagnosisCommands)
#include "tst_carddiagnosis_commands.moc"
