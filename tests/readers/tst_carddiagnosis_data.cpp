// The data checks and the events and faults list of the diagnosis, through
// pcscd, the virtual reader and virtual cards built with flawed data.

#include "tests/readers/CardReaderRig.h"

#include <QtTest>

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

} // namespace

class TestCardDiagnosisData : public QObject
{
    Q_OBJECT

private slots:
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
            QStringLiteral("|Данные отсутствуют|Проверка данных не может быть выполненна, так как они не были загружены.");
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
        QTest::newRow("flagged types") << "driver-attention-records"
                                       << QStringList{"Событие|05|Ввод карточки в процессе управления|1",
                                                      "Событие|07|Превышение скорости|0", "Событие|41|" + reserved + "|1",
                                                      "Неисправность|4f|" + reserved + "|1",
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
            listed << QStringLiteral("%1|%2|%3|%4").arg(row.kind).arg(row.type, 2, 16, QLatin1Char('0')).arg(row.text).arg(row.flagged);
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

QTEST_GUILESS_MAIN(TestCardDiagnosisData)
#include "tst_carddiagnosis_data.moc"
