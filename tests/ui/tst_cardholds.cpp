// The window's picture of a card from the order in which the monitor's and
// the reader manager's news come in: each comes from its own thread, so a
// removal may come before or after the end of the work it cut short.

#include "ui/CardHolds.h"

#include <QtTest>

class TestCardHolds : public QObject
{
    Q_OBJECT

private slots:
    void picturesAndWarnings_data();
    void picturesAndWarnings();
};

// Steps: "in" inserted, "out" removed, "held"/"free" the monitor's word,
// "start" our work starts, "end", "end-held", "end-gone" it ends. After each
// step the picture: "-" no card, "f" free, "u" in use; "!" where a removal
// brings the warning.
void TestCardHolds::picturesAndWarnings_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("seen");
    QTest::newRow("our work, then pulled") << "in start end out" << "fuf-";
    QTest::newRow("pulled while our work runs") << "in start out end" << "fu!--";
    QTest::newRow("our work finds the card gone first") << "in start end-gone out" << "fuu!-";
    QTest::newRow("another program holds it") << "in held out" << "fu!-";
    QTest::newRow("our own connection seen by the monitor") << "in start held end" << "fuuf";
    QTest::newRow("another program holds it after our work") << "in start end-held free" << "fuuf";
    QTest::newRow("a new card before the cut work's end") << "in start out in end start end" << "fu!-ufuf";
    QTest::newRow("our work ends while the monitor is late") << "in start free end" << "fuuf";
}

void TestCardHolds::picturesAndWarnings()
{
    QFETCH(QString, steps);
    QFETCH(QString, seen);
    CardHolds holds;
    const QString reader = QStringLiteral("R");
    QString shown;
    for (const QString &step : steps.split(' ')) {
        if (step == "in")
            holds.cardInserted(reader);
        else if (step == "out" && holds.cardRemoved(reader))
            shown += '!';
        else if (step == "held" || step == "free")
            holds.serviceReports(reader, step == "held");
        else if (step == "start")
            holds.ourWork(reader, CardWork::Started);
        else if (step == "end")
            holds.ourWork(reader, CardWork::EndedFree);
        else if (step == "end-held")
            holds.ourWork(reader, CardWork::EndedHeld);
        else if (step == "end-gone")
            holds.ourWork(reader, CardWork::EndedCardGone);
        const CardHolds::Picture picture = holds.picture(reader);
        shown += picture == CardHolds::Picture::NoCard ? '-' : picture == CardHolds::Picture::Free ? 'f' : 'u';
    }
    QCOMPARE(shown, seen);
}

QTEST_APPLESS_MAIN(TestCardHolds)
#include "tst_cardholds.moc"
