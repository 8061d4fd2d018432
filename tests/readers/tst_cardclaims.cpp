// The threads that claim a card for a hold, at the end of the program: a
// claim pcscd holds for another program's transaction keeps its thread
// inside pcsc-lite until that program lets the card go, and the stop says
// so instead of waiting for it.

#include "readers/CardTransaction.h"
#include "readers/ClaimRunner.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/VirtualCardProcess.h"

#include <QtTest>

class TestCardClaims : public QObject
{
    Q_OBJECT

private slots:
    void stopWaitsOnlyForWhatCanEnd()
    {
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-estr"));
        OtherProgram other;
        QVERIFY(other.connect(card.name(), Pcsc::SCARD_SHARE_SHARED) && other.begin());

        // Given up once it waited: its connect stays with pcscd.
        bool waited = false;
        CardTransaction::Wait wait;
        wait.waiting = [&waited] { waited = true; };
        wait.cancelled = [&waited] { return waited; };
        const CardTransaction given(card.name(), wait);
        QCOMPARE(given.outcome(), CardTransaction::Outcome::Cancelled);
        QVERIFY(!ClaimRunner::stopAll(300));

        other.end();
        QVERIFY(ClaimRunner::stopAll(10000));
    }
};

QTEST_GUILESS_MAIN(TestCardClaims)
#include "tst_cardclaims.moc"
