#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class CardReader;
class FileLock;

// What the program writes into a card's two writable files before it knows
// the write will be undone or kept: a diagnosis's test values, and the
// download date a read stamps before its .ddd file is saved. Kept in a small
// file of the data folder, beside the log, from before the write until the
// card's own bytes are confirmed back (or, for a read, the file is saved).
// A run ended in between (a kill, a crash, a power cut) leaves the record
// behind: the next sight of the card tells the user, and the card's next
// diagnosis puts back the recorded own bytes instead of the value it reads.
//
// Every copy of the program shares the file: each change reads it again
// under a lock beside it (see FileLock) and writes it back whole, keeping
// the entries it cannot read as they stand. Worker thread only; it speaks
// through the reader's signals and its durable log.
class PendingRestore
{
public:
    enum class Writer { Diagnosis, Read };

    // The longest wait for another copy's change of the record.
    static constexpr int lockWaitMs = 3000;

    PendingRestore(CardReader &reader, const QString &cardNumber);

    // "pending-restore.json" in the folder of the log.
    static QString filePath();

    // Once the card is identified, with its general files read: tells of
    // each value the card was left with, and of a record it cannot read.
    void checkIdentifiedCard();
    // The bytes the selected file must get back, which the card holds as
    // `read`: the recorded own bytes while the card holds one of the values
    // recorded over them, else `read`. An entry the file holds none of is
    // dropped. False, with the reason in failure(), when the record cannot
    // tell (busy, or not readable whole): nothing may be written then.
    bool ownBytes(quint16 fid, const QByteArray &read, QByteArray *own);
    // Before `written` goes into the file whose own bytes are `own`: the
    // entry saved (an entry already there keeps its own bytes and gains the
    // value), then `line` in the log on disk. A read names the .ddd file
    // whose saving makes `written` the card's own. False when either failed
    // or the record cannot be read whole, with the reason in failure(): the
    // write must not be sent.
    bool hold(quint16 fid, const QByteArray &own, const QByteArray &written, Writer writer, const QString &line,
              const QString &dddFile = QString());
    // The card's own bytes are back, or a saved download made the written
    // value its own: the entry goes. `line`, when given, follows on disk.
    void release(quint16 fid, const QString &line = QString());
    // The card did not take `written`: that value goes from the entry.
    void withdraw(quint16 fid, const QByteArray &written);
    QString failure() const { return m_failure; }

    // "0x5E0BE100 / 1577836800, соответствует 01.01.2020 00:00:00"
    QString valueText(quint16 fid, const QByteArray &bytes) const;
    // "EFCardDownload (EF 0x050E)"
    QString fileText(quint16 fid) const;

private:
    struct Value
    {
        QByteArray bytes;
        Writer writer = Writer::Diagnosis;
        QDateTime time;
        // A read's .ddd file.
        QString dddFile;
        // As stored, with what this copy does not know of.
        QJsonObject stored;
    };
    struct Entry
    {
        QString card;
        quint16 fid = 0;
        QByteArray own;
        QVector<Value> values;
        QJsonObject stored;
    };
    using Entries = QVector<Entry>;
    struct Record
    {
        Entries entries;
        // Entries this copy cannot read, kept as they stand.
        QJsonArray unknown;
    };
    // What a change needs: its own entries, or all of the record (it adds
    // to the record, or takes the card's bytes from it).
    enum class Needs { OwnEntries, Whole };

    // Reads the record again under its lock, lets `edit` change it and, when
    // `edit` returns true, writes it back whole. False, with the reason in
    // m_failure, when the lock could not be had or the record could not be
    // read as `needs` asks, or written; a record not read is never written.
    bool change(Needs needs, const std::function<bool(Record &)> &edit);
    bool lockRecord(FileLock &lock);
    // The record as it stands, without its lock. False, with the reason,
    // when it cannot be read at all.
    bool read(Record *record, QString *reason) const;
    static bool parse(const QJsonValue &item, Entry *entry);
    // Why a record holding entries this copy cannot read is not read whole.
    static QString unknownEntries();
    bool save(const Record &record);
    bool unsaved(const QString &reason);
    bool fail(const QString &reason);

    bool recorded() const;
    int find(const Entries &entries, quint16 fid) const;
    bool concerns(const QJsonValue &unknown) const;
    static QString settle(Entry *entry);
    bool follow(Entries &entries, int index, const QByteArray &read, QByteArray *own, QStringList *lines) const;
    void endEntries();
    void warnLeft(const Entry &entry, const Value &value);
    void tellUnreadable(const QString &reason);

    CardReader &reader;
    QString cardNumber;
    QString m_failure;
};
