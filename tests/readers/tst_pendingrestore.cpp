// The record of card writes not yet undone, shared by every copy of the
// program: two record objects stand for two copies working at once, and so
// does a lock the test holds. What else may stand at the record's or the
// lock's place, and records this copy cannot read, are the diagnosis test's.

#include "platform/FileLock.h"
#include "readers/CardReader.h"
#include "readers/PendingRestore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QByteArray own = QByteArray::fromHex("5E0BE100");
const QByteArray first = QByteArray::fromHex("6B000000");
const QByteArray second = QByteArray::fromHex("6B000100");

QString path()
{
    return PendingRestore::filePath();
}

// "card fid own value value..." per entry.
QStringList recorded()
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList entries;
    for (const QJsonValue &value : QJsonDocument::fromJson(file.readAll()).array()) {
        const QJsonObject entry = value.toObject();
        QStringList fields{entry.value("card").toString(), entry.value("fid").toString(), entry.value("own").toString()};
        for (const QJsonValue &written : entry.value("values").toArray())
            fields << written.toObject().value("value").toString();
        entries << fields.join(' ');
    }
    entries.sort();
    return entries;
}

// A copy of the program at work on one card.
struct Copy
{
    explicit Copy(const QString &number) : reader(QStringLiteral("Reader ") + number, 0), number(number)
    {
        reader.durableLog = [this](uchar, const QString &line) {
            lines << line;
            return true;
        };
    }
    PendingRestore record() { return PendingRestore(reader, number); }
    QByteArray ownOf(quint16 fid, const QByteArray &read)
    {
        QByteArray own;
        return record().ownBytes(fid, read, &own) ? own : QByteArray("refused");
    }

    CardReader reader;
    QString number;
    QStringList lines;
};

} // namespace

class TestPendingRestore : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(path()); }

    // Every order of two copies' hold and end (release or withdraw).
    void copiesKeepEachOthersEntries()
    {
        const QString entryA = QStringLiteral("RUD0000000000001 050E 5E0BE100 6B000000");
        const QString entryB = QStringLiteral("RUW0000000000002 0509 0007 07E2");
        for (const QString order : {"aAbB", "abAB", "abBA", "baAB", "baBA", "bBaA"}) {
            for (const bool release : {true, false}) {
                init();
                Copy a("RUD0000000000001"), b("RUW0000000000002");
                QStringList expected;
                for (const QChar step : order) {
                    if (step == 'a') {
                        QVERIFY(a.record().hold(0x050E, own, first, PendingRestore::Writer::Diagnosis, "a"));
                        expected << entryA;
                    } else if (step == 'b') {
                        QVERIFY(b.record().hold(0x0509, QByteArray::fromHex("0007"), QByteArray::fromHex("07E2"),
                                                PendingRestore::Writer::Read, "b"));
                        expected << entryB;
                    } else if (release) {
                        step == 'A' ? a.record().release(0x050E) : b.record().release(0x0509);
                        expected.removeAll(step == 'A' ? entryA : entryB);
                    } else {
                        step == 'A' ? a.record().withdraw(0x050E, first)
                                    : b.record().withdraw(0x0509, QByteArray::fromHex("07E2"));
                        expected.removeAll(step == 'A' ? entryA : entryB);
                    }
                    expected.sort();
                    QVERIFY2(recorded() == expected, qPrintable(order + ": " + recorded().join(", ")));
                }
                QVERIFY(!QFile::exists(path()));
            }
        }
    }

    // A second write over an earlier one keeps the card's own bytes: the
    // entry stands while the card holds any value written over them.
    void entryKeepsTheOwnBytesUnderEveryValue()
    {
        Copy copy("RUD0000000000001");
        QVERIFY(copy.record().hold(0x050E, own, first, PendingRestore::Writer::Diagnosis, "one"));
        QCOMPARE(copy.ownOf(0x050E, first), own);
        QVERIFY(copy.record().hold(0x050E, copy.ownOf(0x050E, first), second, PendingRestore::Writer::Read, "two"));
        QCOMPARE(recorded(), QStringList("RUD0000000000001 050E 5E0BE100 6B000000 6B000100"));
        QCOMPARE(copy.ownOf(0x050E, second), own);
        copy.record().withdraw(0x050E, second);
        QCOMPARE(copy.ownOf(0x050E, first), own);
        // Downloaded since: none of the values is on the card any more.
        QCOMPARE(copy.ownOf(0x050E, QByteArray::fromHex("6C000000")), QByteArray::fromHex("6C000000"));
        QCOMPARE(recorded(), QStringList());
        QCOMPARE(copy.lines, (QStringList{"one", "two"}));
    }

    // Another copy holds the lock: the hold waits its 3 s, or ends at a
    // cancel, but not while the card's own bytes go back. No record, no
    // write. (The diagnosis test has what else stands at the lock's path.)
    void lockHeldByAnotherCopy_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<bool>("shielded");
        QTest::addColumn<QString>("failure");
        const QString busy = "запись занята другой копией программы дольше 3 с";
        QTest::newRow("left alone") << false << false << busy;
        QTest::newRow("cancelled") << true << false << "ожидание записи прервано отменой";
        QTest::newRow("cancelled while the card's bytes go back") << true << true << busy;
    }

    void lockHeldByAnotherCopy()
    {
        QFETCH(bool, cancelled);
        QFETCH(bool, shielded);
        QFETCH(QString, failure);
        QVERIFY(QDir().mkpath(QFileInfo(path()).path()));
        FileLock other(path() + ".lock");
        QCOMPARE(other.lock(0, {}), FileLock::Outcome::Locked);
        Copy copy("RUD0000000000001");
        copy.reader.interrupted = cancelled;
        copy.reader.ignoresInterrupt = shielded;
        PendingRestore record = copy.record();
        QVERIFY(!record.hold(0x050E, own, first, PendingRestore::Writer::Diagnosis, "line"));
        QCOMPARE(record.failure(), failure);
        QCOMPARE(recorded(), QStringList());
        QCOMPARE(copy.lines, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestPendingRestore)
#include "tst_pendingrestore.moc"
