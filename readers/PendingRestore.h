#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

class CardReader;

// The test values the write tests put on cards, kept in a small file of the
// data folder from before the test write until the card's own bytes are
// confirmed back. A run ended in between (a kill, a crash, a power cut)
// leaves the record behind: the next sight of the card tells the user, and
// the card's next diagnosis puts back the recorded bytes instead of the test
// value it reads first. Reads and saves the file on every use; worker thread
// only, and it speaks through the reader's signals.
class PendingRestore
{
public:
    PendingRestore(CardReader &reader, const QString &cardNumber);

    // "pending-restore.json" in the folder of the log.
    static QString filePath();

    // Once the card is identified, with its general files read.
    void checkIdentifiedCard();
    // The bytes a diagnosis must put back into the selected file, which it
    // read as `read`: the recorded own bytes while it holds the recorded
    // test bytes. A record the file no longer matches is dropped.
    QByteArray ownBytes(quint16 fid, const QByteArray &read);
    // Before the test write: the record saved, and its log line on disk.
    void hold(quint16 fid, const QByteArray &own, const QByteArray &test);
    // After a restore the card acknowledged.
    void release(quint16 fid);
    // The card refused the test write and kept the bytes it held.
    void withdraw(quint16 fid);

private:
    struct Entry
    {
        QString card;
        quint16 fid = 0;
        QByteArray own;
        QByteArray test;
        QDateTime time;
    };

    void load();
    void save();
    int find(quint16 fid) const;
    void drop(int index);
    QString valueText(quint16 fid, const QByteArray &bytes) const;
    QString fileText(quint16 fid) const;

    CardReader &reader;
    QString cardNumber;
    QVector<Entry> entries;
};
