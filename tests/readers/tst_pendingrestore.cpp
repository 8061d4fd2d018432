// The record of card writes not yet undone, shared by every copy of the
// program: two record objects stand for two copies working at once, and so
// does a lock the test holds. The record's place taken by a folder or a
// link, and records this copy cannot read, are the diagnosis test's.

#include "platform/FileLock.h"
#include "readers/CardReader.h"
#include "readers/PendingRestore.h"
#include "tests/support/BlockingFiles.h"
#include "tests/support/FileNodes.h"

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

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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
        QObject::connect(&reader, &CardReader::logginMessage, &reader,
                         [this](uchar, const QString &line) { logged << line; });
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
    QStringList logged;
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

    // What stands at the lock's path, and what the copy's hold meets there:
    // another copy's lock, a lock file no living copy holds, or no file of
    // ours, which is refused at once and named. No record, no write.
    void lockBesideTheRecord_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<QString>("cancel"); // "cancelled", or "shielded" while the card's bytes go back
        QTest::addColumn<QString>("failure"); // empty: held
        const QString busy = "запись занята другой копией программы дольше 3 с";
        const QString notOurs = path() + ".lock не является обычным файлом программы";
        QTest::newRow("held by another copy") << "held" << "" << busy;
        QTest::newRow("held, the operation cancelled") << "held" << "cancelled" << "ожидание записи прервано отменой";
        QTest::newRow("held, cancelled while bytes go back") << "held" << "shielded" << busy;
        QTest::newRow("empty, its copy killed") << "empty" << "" << "";
        QTest::newRow("an owner's line, its copy killed") << "owner" << "" << "";
        QTest::newRow("a named pipe") << "pipe" << "" << notOurs;
        QTest::newRow("a folder") << "folder" << "" << notOurs;
        QTest::newRow("a device") << "device" << "" << notOurs;
        QTest::newRow("a link to a device") << "link" << "" << notOurs;
    }

    void lockBesideTheRecord()
    {
        QFETCH(QString, lock);
        QFETCH(QString, cancel);
        QFETCH(QString, failure);
        const QString lockPath = path() + ".lock";
        QDir(lockPath).removeRecursively();
        QFile::remove(lockPath);
        QVERIFY(QDir().mkpath(QFileInfo(path()).path()));
        FileLock other(lockPath);
        if (lock == "held")
            QCOMPARE(other.lock(0, {}), FileLock::Outcome::Locked);
        else if (lock == "empty" || lock == "owner")
            QVERIFY(writeFile(lockPath, lock == "owner" ? "999999\nother-host\nДравек Про\n" : ""));
        else if (lock == "pipe")
            QVERIFY(!makeFifo(lockPath).isEmpty());
        else if (lock == "folder")
            QVERIFY(QDir().mkpath(lockPath));
        else
            QVERIFY(makeDevice(lock == "link" ? lockPath + ".device" : lockPath, 1, 5)
                    && (lock == "device" || QFile::link(lockPath + ".device", lockPath)));
        const QString before = nodeAt(lockPath);
        Copy copy("RUD0000000000001");
        copy.reader.interrupted = !cancel.isEmpty();
        copy.reader.ignoresInterrupt = cancel == "shielded";
        PendingRestore record = copy.record();
        QCOMPARE(record.hold(0x050E, own, first, PendingRestore::Writer::Diagnosis, "line"), failure.isEmpty());
        QCOMPARE(record.failure(), failure);
        QCOMPARE(recorded(), failure.isEmpty() ? QStringList("RUD0000000000001 050E 5E0BE100 6B000000") : QStringList());
        QCOMPARE(copy.lines, failure.isEmpty() ? QStringList("line") : QStringList());
        QCOMPARE(copy.logged.filter(lockPath).size(), failure.startsWith(lockPath) ? 1 : 0);
        QCOMPARE(nodeAt(lockPath), before);
        QDir(lockPath).removeRecursively();
        QFile::remove(lockPath);
        QFile::remove(lockPath + ".device");
    }
};

QTEST_GUILESS_MAIN(TestPendingRestore)
#include "tst_pendingrestore.moc"
