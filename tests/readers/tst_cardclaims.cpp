// The threads that claim a card for a hold. Claims made back to back all
// run, and end as soon as pcscd answers; a cancel that meets the card coming
// leaves it free for every program; at the end of the program, a claim
// pcscd holds for another program's transaction keeps its thread inside
// pcsc-lite until that program lets the card go, and the stop says so
// instead of waiting for it.

#include "readers/CardTransaction.h"
#include "readers/ClaimRunner.h"
#include "tests/readers/ReaderManagerRig.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/VirtualCardProcess.h"

#include <QDir>
#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

int entriesOf(const char *folder)
{
    return int(QDir(QString::fromLatin1(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

// Another program's exclusive connect, tried again while a connect of ours
// given up is still letting the card go. In a thread of its own: pcscd makes
// a connect wait with no end while a transaction is kept.
bool takenExclusively(const QString &reader)
{
    constexpr int limitMs = 5000;
    const auto taken = std::make_shared<std::atomic<int>>(0); // 1 taken, 2 not
    std::thread([reader, taken] {
        QElapsedTimer tried;
        tried.start();
        while (tried.elapsed() < limitMs) {
            OtherProgram exclusive;
            if (exclusive.connect(reader, Pcsc::SCARD_SHARE_EXCLUSIVE)) {
                *taken = 1;
                return;
            }
            QThread::msleep(10);
        }
        *taken = 2;
    }).detach();
    return QTest::qWaitFor([&] { return *taken != 0; }, 2 * limitMs) && *taken == 1;
}

} // namespace

class TestCardClaims : public QObject
{
    Q_OBJECT

private slots:
    void claimsBackToBack_data()
    {
        QTest::addColumn<int>("workers");
        QTest::addColumn<bool>("withCard");
        QTest::addColumn<int>("claims"); // in all
        for (const int workers : {1, 2, 4}) {
            QTest::addRow("%d, empty reader", workers) << workers << false << 20000;
            QTest::addRow("%d, beside a card", workers) << workers << true << 200;
        }
    }

    // Every claim gets the card or pcscd's refusal, never the wait's limit,
    // and no runner is lost on the way.
    void claimsBackToBack()
    {
        QFETCH(int, workers);
        QFETCH(bool, withCard);
        QFETCH(int, claims);
        VirtualCardProcess card(0);
        QVERIFY(!withCard || card.insert("driver-estr"));
        const int threads = entriesOf("/proc/self/task");
        const int descriptors = entriesOf("/proc/self/fd");
        using Outcome = CardTransaction::Outcome;
        const auto answered = [&](Outcome outcome) {
            if (!withCard)
                return outcome == Outcome::Failed;
            // Another worker's end of its hold resets the card.
            return outcome == Outcome::Held || (workers > 1 && outcome == Outcome::ResetAgain);
        };
        std::atomic<int> wrong{0};
        std::vector<std::thread> running;
        for (int i = 0; i < workers; ++i) {
            running.emplace_back([&] {
                for (int n = 0; n < claims / workers && !wrong; ++n)
                    wrong += answered(CardTransaction(card.name(), CardTransaction::Wait()).outcome()) ? 0 : 1;
            });
        }
        for (std::thread &worker : running)
            worker.join();
        QCOMPARE(wrong.load(), 0);
        // At most one runner more for each worker, with its context's socket.
        QVERIFY(entriesOf("/proc/self/task") <= threads + workers);
        QVERIFY(entriesOf("/proc/self/fd") <= descriptors + workers);
        QVERIFY(!withCard || takenExclusively(card.name()));
    }

    void cancelMeetsTheCard_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("exclusively");
        QTest::addColumn<int>("tries");
        QTest::newRow("read, kept exclusively") << "read" << true << 300;
        QTest::newRow("read, kept by its transaction") << "read" << false << 300;
        // Kept until the diagnosis has ended: it never had the card.
        QTest::newRow("diagnosis, never had the card") << "diagnosis" << false << 5;
    }

    // Another program lets the card go at a random moment while we cancel at
    // another: whoever ends second, our hold is let go, and our next read goes
    // through.
    void cancelMeetsTheCard()
    {
        QFETCH(QString, operation);
        QFETCH(bool, exclusively);
        QFETCH(int, tries);
        ReaderManagerRig rig;
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-estr"));
        const QString reader = card.name();
        QVERIFY(rig.waitForCard(reader));
        QRandomGenerator random(59);
        const bool diagnosis = operation == "diagnosis";
        for (int i = 0; i < tries; ++i) {
            OtherProgram other;
            QVERIFY(other.connect(reader, exclusively ? Pcsc::SCARD_SHARE_EXCLUSIVE : Pcsc::SCARD_SHARE_SHARED)
                    && (exclusively || other.begin()));
            bool letGo = false;
            bool cancelled = false;
            diagnosis ? rig.check(reader) : rig.read(reader);
            // The card comes at pcscd's next look after the let-go: the
            // cancel falls just before or after it.
            const int letGoMs = int(random.bounded(300));
            if (!diagnosis) {
                QTimer::singleShot(letGoMs, &rig.receiver, [&] {
                    other.release();
                    letGo = true;
                });
            }
            QTimer::singleShot(diagnosis ? letGoMs : letGoMs + int(random.bounded(100)), &rig.receiver, [&] {
                rig.manager->on_InterruptAllOperation();
                cancelled = true;
            });
            QVERIFY(rig.takeFinish() != "none");
            QTRY_VERIFY(cancelled && (letGo || diagnosis));
            other.release();
            QVERIFY2(takenExclusively(reader), qPrintable(QString("try %1").arg(i)));
        }
        if (diagnosis) {
            QCOMPARE(rig.log.filter("Завершено диагностирование"), QStringList());
            QCOMPARE(rig.log.filter("Не удалось отключиться"), QStringList());
        }
        rig.read(reader);
        QVERIFY(rig.takeFinish().endsWith(".ddd"));
    }

    // The caller decides to give up just after the claim got the card: the
    // give-up comes second and lets the card go.
    void giveUpAfterTheClaimEnded()
    {
        VirtualCardProcess card(0);
        QVERIFY(card.insert("driver-estr"));
        OtherProgram other;
        QVERIFY(other.connect(card.name(), Pcsc::SCARD_SHARE_SHARED) && other.begin());
        CardTransaction::Wait wait;
        wait.cancelled = [&] {
            other.release();
            // The runner connects at pcscd's next look and begins at once.
            QThread::msleep(500);
            return true;
        };
        QCOMPARE(CardTransaction(card.name(), wait).outcome(), CardTransaction::Outcome::Cancelled);
        QVERIFY(takenExclusively(card.name()));
    }

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

QTEST_MAIN(TestCardClaims)
#include "tst_cardclaims.moc"
