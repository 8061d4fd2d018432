// The command check of the diagnosis through pcscd, the virtual reader and
// the virtual card: the rows of every card variant, and the write tests of
// EF 0x0509 and EF 0x050E under every fault the card can be made to show.

#include "tests/readers/CardDiagnosisRig.h"

#include <QtTest>

#include <ctime>

namespace {

const QByteArray calibrationCount = QByteArray::fromHex("ABCD");
const QString calibrationText = QStringLiteral("0xABCD / 43981");
// 01.01.2020 00:00:00 UTC.
const QByteArray lastDownload = QByteArray::fromHex("5E0BE100");
const QString lastDownloadText = QStringLiteral("0x5E0BE100 / 1577836800, соответствует 01.01.2020 00:00:00");

const QString mf = QStringLiteral("EFICC EFIC EFApplicationIdentification ");
const QString plainCerts = QStringLiteral("EFCardCertificate EFCACertificate ");
const QString driverFiles = QStringLiteral(
    "EFIdentification EFCardDownload EFDrivingLicenceInfo EFEventsData EFFaultsData EFDriverActivityData "
    "EFVehiclesUsed EFPlaces EFCurrentUsage EFControlActivityData EFSpecificConditions");
const QString workshopFiles = QStringLiteral(
    "EFIdentification EFCardDownload EFCalibration EFEventsData EFFaultsData EFDriverActivityData EFVehiclesUsed "
    "EFPlaces EFCurrentUsage EFControlActivityData EFSpecificConditions");

bool isWorkshop(const QString &profile)
{
    return profile.startsWith(QLatin1String("workshop"));
}

quint16 writableFid(const QString &profile)
{
    return isWorkshop(profile) ? 0x0509 : 0x050E;
}

// The card with a known value in its writable file.
QStringList knownValue(const QString &profile)
{
    return {QStringLiteral("--patch"), isWorkshop(profile) ? "0509:0:" + calibrationCount.toHex()
                                                           : "050E:0:" + lastDownload.toHex()};
}

QByteArray originalBytes(const QString &profile)
{
    return isWorkshop(profile) ? calibrationCount : lastDownload;
}

QString originalText(const QString &profile)
{
    return isWorkshop(profile) ? calibrationText : lastDownloadText;
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

// "step|failed" of the rows of the writable file, from its selection to its signature.
QStringList writableFileRows(const QStringList &rows)
{
    QStringList steps;
    bool inFile = false;
    for (const QString &row : rows) {
        inFile = inFile || row.startsWith(QStringLiteral("Выбор EFCardDownload|"));
        if (!inFile)
            continue;
        steps << row.section(QLatin1Char('|'), 0, 0) + QLatin1Char('|') + row.section(QLatin1Char('|'), 2, 2);
        if (row.startsWith(QStringLiteral("Вычисление электронной подписи EFCardDownload|")))
            break;
    }
    return steps;
}

QStringList stepsWithFlags(std::initializer_list<const char *> rows)
{
    QStringList steps;
    for (const char *row : rows)
        steps << QString::fromUtf8(row).replace(QStringLiteral("%1"), QStringLiteral("EFCardDownload"));
    return steps;
}

} // namespace

class TestCardDiagnosisCommands : public QObject
{
    Q_OBJECT

    enum class Trouble { None, InterruptAfterTestWrite };

    // Number of the first UPDATE BINARY and of READ BINARY commands before
    // it, as the card counts them, for a diagnosis of the profile.
    QMap<QString, QPair<int, int>> updatePositions;

    QPair<int, int> updatePosition(const QString &profile)
    {
        if (!updatePositions.contains(profile)) {
            CardDiagnosisRig card;
            if (!card.insert(profile, knownValue(profile)))
                return {};
            card.reader().checkCard("1234");
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
        // The write-test rows show times in local time.
        qputenv("TZ", "UTC");
        tzset();
    }

    void rowsOfEveryCardVariant_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("files");
        const QString gost = QStringLiteral("EFCardCertificateGOST EFKeyIdentificators ");
        QTest::newRow("driver-rfskzi") << "driver-rfskzi" << mf + gost + "EFCACertificate " + driverFiles;
        QTest::newRow("workshop-rfskzi")
            << "workshop-rfskzi"
            << mf + gost + "EFTemporaryCert EFCertRequest EFVUCert EFArchiveRequests EFVUCertRequest EFCACertificate "
                   + workshopFiles;
        QTest::newRow("control-rfskzi") << "control-rfskzi"
                                        << mf + gost + "EFArchiveRequests EFCACertificate EFIdentification "
                                                       "EFControllerActivityData";
        QTest::newRow("company-rfskzi") << "company-rfskzi"
                                        << mf + gost + "EFArchiveRequests EFCACertificate EFIdentification "
                                                       "EFCompanyActivityData";
        for (const char *kind : {"estr", "rf"}) {
            const QString suffix = QStringLiteral("-") + kind;
            QTest::newRow(qPrintable("driver" + suffix)) << "driver" + suffix << mf + plainCerts + driverFiles;
            QTest::newRow(qPrintable("workshop" + suffix)) << "workshop" + suffix << mf + plainCerts + workshopFiles;
            QTest::newRow(qPrintable("control" + suffix))
                << "control" + suffix << mf + plainCerts + "EFIdentification EFControllerActivityData";
            QTest::newRow(qPrintable("company" + suffix))
                << "company" + suffix << mf + plainCerts + "EFIdentification EFCompanyActivityData";
        }
    }

    void rowsOfEveryCardVariant()
    {
        QFETCH(QString, profile);
        QFETCH(QString, files);
        CardDiagnosisRig card;
        QVERIFY(card.insert(profile));
        card.reader().checkCard("1234");
        const QStringList rows = card.commandRows();
        QCOMPARE(selectedFiles(rows), files);
        QCOMPARE(rows.first(), QStringLiteral("Выбор EFICC||0"));
        QCOMPARE(rows.last(), QStringLiteral("Отключение от карты тахографа||0"));
        for (const QString &row : rows)
            QVERIFY2(row.endsWith(QLatin1String("|0")), qPrintable(row));
        // The PIN goes to the card once, right after the first DF selection.
        const int pinRows = rows.count(QStringLiteral("Проверка ПАК-кода||0"));
        QCOMPARE(pinRows, profile.endsWith(QLatin1String("rfskzi")) ? 1 : 0);
        if (pinRows)
            QCOMPARE(rows.indexOf(QStringLiteral("Проверка ПАК-кода||0")),
                     rows.indexOf(QStringLiteral("Выбор DF||0")) + 1);
        QCOMPARE(card.reader().card.pin, pinRows ? QByteArray("1234") : QByteArray());
        for (const CmdCheckRow &row : card.reader().cmdCheckRows)
            QVERIFY(QDateTime::fromString(row.time, QStringLiteral("dd.MM.yyyy hh:mm:ss")).isValid());
    }

    void writeTestRowsShowTheValues()
    {
        CardDiagnosisRig card;
        QVERIFY(card.insert(QStringLiteral("workshop-estr"), knownValue(QStringLiteral("workshop"))));
        card.reader().checkCard("1234");
        const QStringList rows = card.commandRows();
        const int first = rows.indexOf(QStringLiteral("Выбор EFCardDownload||0"));
        QVERIFY(first >= 0);
        QCOMPARE(rows.mid(first, 8),
                 QStringList({"Выбор EFCardDownload||0",
                              "Считывание данных из EFCardDownload|Считанное значение: 0xABCD / 43981.|0",
                              "Запись данных в EFCardDownload|Записанное значение: 0x7E2 / 2018.|0",
                              "Считывание записанных данных в EFCardDownload|Считанное значение: 0x7E2 / 2018. "
                              "Равно записанному значению..|0",
                              "Востановление (запись) исходного значения в EFCardDownload|Записанное значение: "
                              "0xABCD / 43981.|0",
                              "Считывание востановленного значения из EFCardDownload|Считанное значение: 0xABCD / "
                              "43981. Равно записанному значению..|0",
                              "Расчет хеша EFCardDownload||0", "Вычисление электронной подписи EFCardDownload||0"}));
        QCOMPARE(card.files().value(0x0509), calibrationCount);
    }

    void downloadTestRowsShowTheTimes()
    {
        CardDiagnosisRig card;
        QVERIFY(card.insert(QStringLiteral("driver-estr"), knownValue(QStringLiteral("driver"))));
        card.reader().checkCard("1234");
        const QStringList rows = card.commandRows();
        const int first = rows.indexOf(QStringLiteral("Выбор EFCardDownload||0"));
        QVERIFY(first >= 0);
        QCOMPARE(rows.at(first + 1), "Считывание данных из EFCardDownload|Считанное значение: " + lastDownloadText
                                         + ".|0");
        const QRegularExpression written(QStringLiteral(
            "^Запись данных в EFCardDownload\\|Записанное значение: 0x([0-9A-F]+) / (\\d+), соответствует "
            "\\d\\d\\.\\d\\d\\.20\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\|0$"));
        const QRegularExpressionMatch match = written.match(rows.at(first + 2));
        QVERIFY2(match.hasMatch(), qPrintable(rows.at(first + 2)));
        QCOMPARE(match.captured(1).toUInt(nullptr, 16), match.captured(2).toUInt());
        QVERIFY(rows.at(first + 3).endsWith(QStringLiteral("Равно записанному значению..|0")));
        QCOMPARE(rows.at(first + 4), "Востановление (запись) исходного значения в EFCardDownload|Записанное значение: "
                                         + lastDownloadText + ".|0");
        QCOMPARE(rows.at(first + 5), "Считывание востановленного значения из EFCardDownload|Считанное значение: "
                                         + lastDownloadText + ". Равно записанному значению..|0");
        QCOMPARE(card.files().value(0x050E), lastDownload);
    }

    void writeTestUnderFaults_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("trouble");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("userTold");

        const QStringList refused = stepsWithFlags(
            {"Выбор %1|0", "Считывание данных из %1|0", "Запись данных в %1|1", "Расчет хеша %1|0",
             "Вычисление электронной подписи %1|0"});
        const QStringList otherTestValue = stepsWithFlags(
            {"Выбор %1|0", "Считывание данных из %1|0", "Запись данных в %1|0", "Считывание записанных данных в %1|1",
             "Востановление (запись) исходного значения в %1|0", "Считывание востановленного значения из %1|0",
             "Расчет хеша %1|0", "Вычисление электронной подписи %1|0"});
        const QStringList otherRestoredValue = stepsWithFlags(
            {"Выбор %1|0", "Считывание данных из %1|0", "Запись данных в %1|0", "Считывание записанных данных в %1|0",
             "Востановление (запись) исходного значения в %1|0", "Считывание востановленного значения из %1|1",
             "Расчет хеша %1|0", "Вычисление электронной подписи %1|0"});
        const QStringList refusedRestore = stepsWithFlags(
            {"Выбор %1|0", "Считывание данных из %1|0", "Запись данных в %1|0", "Считывание записанных данных в %1|0",
             "Востановление (запись) исходного значения в %1|1", "Расчет хеша %1|0",
             "Вычисление электронной подписи %1|0"});
        const QStringList interrupted = stepsWithFlags(
            {"Выбор %1|0", "Считывание данных из %1|0", "Запись данных в %1|0", "Считывание записанных данных в %1|1",
             "Востановление (запись) исходного значения в %1|0", "Считывание востановленного значения из %1|0",
             "Расчет хеша %1|1", "Вычисление электронной подписи %1|1"});
        const int none = int(Trouble::None);
        for (const char *profile : {"workshop-estr", "driver-rf"}) {
            const QString name = QString::fromLatin1(profile);
            const auto row = [profile](const char *what) -> QTestData & {
                return QTest::addRow("%s: %s", profile, what);
            };
            row("refused test write")
                << name << QStringList{"--fail", "update:1:6A80"} << none << refused << false;
            row("test write stores another value")
                << name << QStringList{"--store-other", "1"} << none << otherTestValue << false;
            row("restore stores another value")
                << name << QStringList{"--store-other", "2"} << none << otherRestoredValue << true;
            row("refused restore")
                << name << QStringList{"--fail", "update:2:6A80"} << none << refusedRestore << true;
            row("interruption after the test write")
                << name << QStringList() << int(Trouble::InterruptAfterTestWrite) << interrupted << false;
        }
    }

    void writeTestUnderFaults()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, options);
        QFETCH(int, trouble);
        QFETCH(QStringList, steps);
        QFETCH(bool, userTold);
        CardDiagnosisRig card;
        QVERIFY(card.insert(profile, options + knownValue(profile)));
        if (Trouble(trouble) == Trouble::InterruptAfterTestWrite) {
            card.afterApdu = [&card](const QByteArray &apdu) {
                if (quint8(apdu.at(1)) == 0xD6 && !card.reader().interrupted) {
                    card.reader().on_InterruptAllOperation();
                    card.reader().card.on_InterruptAllOperation();
                }
            };
        }
        card.reader().checkCard("1234");
        const QStringList rows = card.commandRows();
        QCOMPARE(writableFileRows(rows), steps);
        const QByteArray left = card.files().value(writableFid(profile));
        if (userTold) {
            QCOMPARE(card.errorBoxes.size(), 1);
            QVERIFY2(card.errorBoxes.first().startsWith(QStringLiteral("3|Не удалось восстановить исходное значение "
                                                                       "в EFCardDownload")),
                     qPrintable(card.errorBoxes.first()));
            QVERIFY2(card.errorBoxes.first().contains(originalText(profile)), qPrintable(card.errorBoxes.first()));
            QVERIFY(card.rig->logged(QStringLiteral("2|%1: Не удалось восстановить исходное значение %2 в "
                                                    "EFCardDownload (EF 0x%3).")
                                         .arg(card.vcard.name(), originalText(profile),
                                              isWorkshop(profile) ? "0509" : "050E")));
        } else {
            QCOMPARE(card.errorBoxes, QStringList());
            QCOMPARE(left, originalBytes(profile));
        }
        if (Trouble(trouble) == Trouble::InterruptAfterTestWrite) {
            // The loop ends after the interrupted file; the card stays interrupted.
            QCOMPARE(rows.at(rows.indexOf(QRegularExpression("^Вычисление электронной подписи EFCardDownload\\|.*"))
                             + 1),
                     QStringLiteral("Отключение от карты тахографа||0"));
            QCOMPARE(rows.size(), rows.indexOf(QStringLiteral("Отключение от карты тахографа||0")) + 1);
            QVERIFY(card.reader().card.interrupted);
        }
    }

    void failedReadBackStillRestores_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::newRow("workshop-estr") << "workshop-estr";
        QTest::newRow("driver-rfskzi") << "driver-rfskzi";
    }

    void failedReadBackStillRestores()
    {
        QFETCH(QString, profile);
        const int reads = updatePosition(profile).second;
        QVERIFY(reads > 0);
        CardDiagnosisRig card;
        QVERIFY(card.insert(profile, knownValue(profile)
                                         + QStringList{"--fail", QStringLiteral("read:%1:6A82").arg(reads + 1)}));
        card.reader().checkCard("1234");
        QCOMPARE(writableFileRows(card.commandRows()),
                 stepsWithFlags({"Выбор %1|0", "Считывание данных из %1|0", "Запись данных в %1|0",
                                 "Считывание записанных данных в %1|1",
                                 "Востановление (запись) исходного значения в %1|0",
                                 "Считывание востановленного значения из %1|0", "Расчет хеша %1|0",
                                 "Вычисление электронной подписи %1|0"}));
        QVERIFY(card.commandRows().contains(
            "Считывание записанных данных в EFCardDownload|Не удалось считать записанные данные.|1"));
        QCOMPARE(card.files().value(writableFid(profile)), originalBytes(profile));
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
        const int update = updatePosition(profile).first;
        QVERIFY(update > 0);
        CardDiagnosisRig card;
        QVERIFY(card.insert(profile, knownValue(profile)
                                         + QStringList{"--remove-after", QString::number(update + offset)}));
        card.reader().checkCard("1234");
        QVERIFY(card.vcard.waitForExit());
        const QByteArray left = card.files().value(writableFid(profile));
        if (offset == 0 || offset == 1) {
            // Gone while holding the test value.
            QVERIFY(left != originalBytes(profile));
            QCOMPARE(card.errorBoxes.size(), 1);
            QVERIFY(card.errorBoxes.first().contains(originalText(profile)));
        } else {
            QCOMPARE(left, originalBytes(profile));
            QCOMPARE(card.errorBoxes, QStringList());
        }
        QCOMPARE(card.commandRows().last(), QStringLiteral("Отключение от карты тахографа||0"));
    }

    void cardThatCannotBeConnected()
    {
        CardDiagnosisRig card;
        QVERIFY(card.insert(QStringLiteral("control-estr")));
        QVERIFY(card.vcard.remove());
        card.reader().checkCard("1234");
        const QStringList rows = card.commandRows();
        QCOMPARE(rows.first(), QStringLiteral("Подключение к карте|Не удалось подключиться к карте.|1"));
        QCOMPARE(selectedFiles(rows), mf + plainCerts + "EFIdentification EFControllerActivityData");
        for (const QString &row : rows)
            QVERIFY2(row.endsWith(QLatin1String("|1")), qPrintable(row));
        QVERIFY(rows.contains(
            QStringLiteral("Считывание данных из EFControllerActivityData|Не удалось считать данные.|1")));
    }

    void skziCardWithoutPin()
    {
        CardDiagnosisRig card;
        QVERIFY(card.insert(QStringLiteral("driver-rfskzi")));
        card.reader().checkCard(QByteArray());
        const QStringList rows = card.commandRows();
        QVERIFY(!rows.join('\n').contains(QStringLiteral("ПАК")));
        QVERIFY(rows.contains(QStringLiteral("Считывание данных из EFIdentification||0")));
        QVERIFY(rows.contains(QStringLiteral("Считывание данных из EFEventsData|Не удалось считать данные.|1")));
    }
};

QTEST_GUILESS_MAIN(TestCardDiagnosisCommands)
#include "tst_carddiagnosis_commands.moc"
