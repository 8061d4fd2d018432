// The card information view for every kind and type of the virtual card:
// the reader table's card columns and the rows of CardInfoTbl.

#include "tests/support/VirtualCardProcess.h"
#include "tests/ui/AppRig.h"

#include <QTableWidget>
#include <QtTest>

class TestMainWindowCardInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showsCardInformation_data();
    void showsCardInformation();
};

void TestMainWindowCardInfo::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toUtf8() + "/mainwindow-cardinfo-config");
    qputenv("XDG_DATA_HOME", QDir::tempPath().toUtf8() + "/mainwindow-cardinfo-data");
}

void TestMainWindowCardInfo::showsCardInformation_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("rows");
    // The caption of the row the card type adds.
    QTest::addColumn<QString>("typeRow");
    QTest::addColumn<bool>("icRows");

    QTest::newRow("kind 1 driver") << "driver-rfskzi" << "RUD0000012345600" << 23 << "Номер ВУ" << false;
    QTest::newRow("kind 1 workshop") << "workshop-rfskzi" << "RUW0000000456700" << 21 << "Мастерская" << false;
    QTest::newRow("kind 1 control")
        << "control-rfskzi" << "RUC0000000007800" << 14 << "Контрольно-надзорный орган" << false;
    QTest::newRow("kind 1 company") << "company-rfskzi" << "RUE0000000099900" << 14 << "Предприятие" << false;
    QTest::newRow("kind 2 driver") << "driver-estr" << "RUD0000001100200" << 31 << "Номер ВУ" << true;
    QTest::newRow("kind 2 workshop") << "workshop-estr" << "RUW1000000020100" << 29 << "Мастерская" << true;
    QTest::newRow("kind 2 control")
        << "control-estr" << "RUC0000000300100" << 22 << "Контрольно-надзорный орган" << true;
    QTest::newRow("kind 2 company") << "company-estr" << "RUE0000004000100" << 22 << "Предприятие" << true;
    QTest::newRow("kind 3 driver") << "driver-rf" << "RUD1000000123400" << 31 << "Номер ВУ" << true;
    QTest::newRow("kind 3 workshop") << "workshop-rf" << "RUW1000000234500" << 29 << "Мастерская" << true;
    QTest::newRow("kind 3 control")
        << "control-rf" << "RUC1000000345600" << 22 << "Контрольно-надзорный орган" << true;
    QTest::newRow("kind 3 company") << "company-rf" << "RUE1000000456700" << 22 << "Предприятие" << true;
}

void TestMainWindowCardInfo::showsCardInformation()
{
    QFETCH(QString, profile);
    QFETCH(QString, number);
    QFETCH(int, rows);
    QFETCH(QString, typeRow);
    QFETCH(bool, icRows);
    AppRig rig;
    VirtualCardProcess card(0);
    QVERIFY(card.insert(profile));
    const QString reader = VirtualCardProcess::readerName(0);
    QVERIFY(rig.waitForCardRow(reader));
    QVERIFY(rig.selectReader(reader));

    const auto* readers = rig.widget<QTableWidget>("ReaderListTbl");
    QCOMPARE(readers->item(readers->currentRow(), 1)->text(), number);
    QVERIFY(!readers->item(readers->currentRow(), 3)->text().isEmpty());
    QVERIFY(!readers->item(readers->currentRow(), 4)->text().isEmpty());

    QCOMPARE(rig.viewPage(), 0);
    QVERIFY(rig.enabled("CardInfo2XLSBtn"));
    const auto* info = rig.widget<QTableWidget>("CardInfoTbl");
    QMap<QString, QString> values;
    QStringList captions;
    for (int row = 0; row < info->rowCount(); ++row) {
        captions << info->item(row, 0)->text();
        values.insert(captions.last(), info->item(row, 1)->text());
        QVERIFY(info->item(row, 0)->font().bold());
    }
    QCOMPARE(captions.size(), rows);
    QCOMPARE(captions.first(), QStringLiteral("Вид карты"));
    QCOMPARE(captions.at(3), QStringLiteral("Номер карты"));
    QCOMPARE(values.value("Номер карты"), number);
    QCOMPARE(captions.last(), QStringLiteral("ATR"));
    QVERIFY(captions.contains(typeRow));
    QCOMPARE(captions.contains("Идентификатор ИС"), icRows);
    if (typeRow == "Номер ВУ")
        QVERIFY(captions.indexOf("Дата последней выгрузки") > captions.indexOf("Номер ВУ"));
}

QTEST_MAIN(TestMainWindowCardInfo)
#include "tst_mainwindow_cardinfo.moc"
