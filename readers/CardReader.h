#pragma once

#include "card/CardFileRecord.h"
#include "card/CardOpResult.h"
#include "card/TachographCard.h"
#include "readers/ChosenCard.h"
#include "readers/CmdCheckRow.h"
#include "readers/DataCheckRow.h"
#include "readers/DurableLine.h"
#include "readers/EventFaultRow.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CardFileRecord;
class CardTransaction;
class MultiProgressElement;
struct CardWriteTest;

// One PC/SC reader and the card in it: connection, identification of the
// card's kind and type, and the reads that go through the card object.
// Every operation runs in the thread that owns `context`; only the interrupt
// slot and the display fields are touched from the GUI thread.
class CardReader : public QObject
{
    Q_OBJECT

public:
    // `context` must have been established in the thread that will call the
    // operations: a context shared with the monitor stalls while it waits.
    CardReader(const QString &readerName, quint64 context, QObject *parent = nullptr);
    ~CardReader() override;

    // A connection holds the card's transaction until its disconnect (see
    // CardTransaction): it may wait, bounded and cancellable, for another
    // program to let the card go. In an operation started for a chosen card,
    // a hold on any other card is let go before anything else is sent (see
    // chooseCard).
    bool scardConnect();
    // A connect refused because another program holds the card is logged
    // here, naming that cause, so each road reports it once.
    bool connectCard();
    // The last connect did not get the card because another program kept it.
    bool heldElsewhere() const { return m_heldElsewhere; }
    // A connect found another card than the one the operation is for.
    bool swapped() const { return m_swapped; }
    // One of the three above: the operation cannot go on with the card.
    bool cardOutOfReach() const { return m_heldElsewhere || m_resetAgain || m_swapped; }
    // Another program reset the card a second time in this operation: the
    // last connect or command was refused, and the operation ends.
    bool resetAgain() const { return m_resetAgain; }
    // The state text of a connect that failed: the reason of one of the
    // three above, or `other`.
    QString connectFailureText(const QString &other) const;
    // An operation starts: it may start a stretch over once after another
    // program's reset, and no card is chosen yet.
    void startWork();
    // The card in the reader as the last identification saw it.
    const ChosenCard &identifiedCard() const { return m_identified; }
    // The operation is for `card`: in every hold, before any other command
    // and again after every reset, the card in the reader proves by its own
    // bytes that it is that card (see returnToMasterFile). A card whose
    // number was never read proves nothing, but for the operation's own
    // identification, whose card it takes.
    void chooseCard(const ChosenCard &card);
    bool disconnectCard();
    bool detectCardKind();
    bool detectCardType();
    bool findFileEntry(quint16 fid, quint8 &index, quint16 &key) const;
    bool readFileById(quint16 fid);
    bool readGeneralInfo();
    void updateCardInfo();
    // Copies of the card's general files (number, holder, module). A read or
    // a diagnosis empties the read data first; where it did not get through
    // (a cancel, a failed command), the kept files go back in place of those
    // it left missing or cut, so the card in the reader keeps its identity.
    QMap<quint16, CardFileRecord> keepGeneralInfo() const;
    void restoreGeneralInfo(const QMap<quint16, CardFileRecord> &kept);

    // The card's type is one whose files are known.
    bool knowsCardType() const;
    // A card whose type or number was not told at its insertion (another
    // program may have kept or reset it meanwhile) is identified again. False
    // when its type is still unknown; that is logged, unless another program
    // kept the card.
    bool identifyIfUnknown();
    // The whole card; the card must be connected and, for kind 1, the PIN
    // verified, with the PIN still in the card object. Nothing is written to
    // the card here: the save does that (SaveDddFile.h).
    bool readAllFiles();
    QByteArray buildDddImage();
    QString dddFileName();
    // The card's download bookkeeping, done by the save once the read is
    // over. Each step connects to the card (which must be the one read, with
    // the PIN of a kind-1 card still set) and disconnects again.
    struct DownloadStamp
    {
        // Empty when the card has no such file.
        QByteArray original;
        QByteArray written;
        // Once saved, it makes the written date the card's own.
        QString dddFile;
    };
    // Writes the present time into EF 050E, once the record and the log say
    // so on disk, and reads the file back signed. True when the card has no
    // such file. Every failure is logged; wherever the date may have reached
    // the card (a write whose answer never came among them) the old bytes go
    // back.
    bool stampDownloadDate(DownloadStamp *stamp);
    // Writes the original bytes back into EF 050E and logs how that went.
    bool restoreDownloadDate(const DownloadStamp &stamp);
    // The .ddd file is saved: the new date is the card's own.
    void keepDownloadDate();
    // Sets a workshop card's calibration count to 0; true when there was
    // nothing to reset.
    bool resetCalibrationCount();

    quint64 context = 0;
    QString readerName;
    TachographCard card;
    MultiProgressElement *progress = nullptr;
    QVector<CmdCheckRow> cmdCheckRows;
    QVector<DataCheckRow> dataCheckRows;
    QVector<EventFaultRow> eventFaultRows;
    CardOpResult pcscResult;
    // Set from the GUI thread while the worker reads them.
    std::atomic<bool> interrupted{false};
    // Worker thread only: see InterruptShield.
    bool ignoresInterrupt = false;
    std::atomic<bool> cardPresent{false};
    // Lines that must be in the log file before the next card command.
    DurableLine durableLog;

signals:
    void logginMessage(uchar Type, QString Msg);

public slots:
    void on_InterruptAllOperation();

private:
    bool selectApplication(bool presentPin);
    bool readsRussianAuthority(bool &russian);
    bool readWholeFile(quint8 index, quint16 key);
    bool signCurrentFile(const QString &name);
    bool openCardAsRead();
    void showProgress(const QString &text);
    bool identifyHeldCard();
    void recordIdentity();
    // The card's command hook for a reset by another program in our hold.
    bool startOverAfterReset(quint8 kind);
    bool setUpAgain(quint8 kind, bool inApplication, quint16 fid);
    void useProtocol(quint32 protocol);
    void dropHold();
    bool resetInHold();
    // The reset, proven for a chosen card; logs the card found when it is
    // another one.
    bool returnToMasterFile();
    bool readCardNumber(QByteArray *number);
    // The proof could not read the card: the failed command's reason stands.
    bool proofFailed();
    // The card proved to be another one: logged, and the operation ends.
    bool otherCard(const QByteArray &number);

    // Card diagnosis (CardReaderCheck*.cpp): the command check, the data
    // checks, and the events and faults list, each filling its row list.
public:
    // All three stages, in this order, unless the first connect did not
    // get the card (cancelled, another program holds it, no card...) or the
    // card was lost on the way: then nothing runs past it, and the result is
    // false. A write test that cannot put a file's original bytes back emits
    // showErrMsg with type 3 (critical); the reader manager relays it to the
    // main window. Only the command check talks to the card: `cardDone` runs
    // once it is over.
    bool checkCard(const SecretBytes &pin, const std::function<void()> &cardDone = {});
    // False when the card was never had, or lost to another program or card.
    bool checkCommands(const SecretBytes &pin);
    void diagnoseCardData();
    void checkEventsAndFaults();
    void addCmdCheckRow(const QString &step, const QString &message, quint8 failed);
    void addDataCheckRow(const QString &control, const QString &value, const QString &message, quint8 failed);
    static void markEventFaultRow(EventFaultRow &row);

signals:
    void showErrMsg(uchar type, QString text, QString inftext, QString detailtext);

private:
    void checkFile(quint8 index, quint16 key, const SecretBytes &pin);
    // A command step: no message when done, else the failure message.
    void addStepRow(bool done, const QString &step, const QString &failure);
    // Runs the write test when the selected file has one.
    bool testWritableFile(quint8 index, quint16 key);
    void runWriteTest(const CardWriteTest &test, quint8 index, quint16 key);
    // restoreOriginal, and the failed-restore box when it returns false.
    bool putOriginalBack(const CardWriteTest &test, quint8 index, quint16 key, const QByteArray &original,
                         qint64 testValue);
    bool restoreOriginal(const CardWriteTest &test, quint8 index, quint16 key, const QByteArray &original);
    bool reopenInNewHold(quint16 fid);
    // Disconnects and connects again, a row for each step; true when connected.
    bool reconnectWithRows();
    void checkIdentification();
    void checkIssueDates();
    void checkValidityPeriod();
    void checkValidityBegin();
    void checkExpiry();
    void checkBirthDate();
    void checkSessionClosure();
    void checkDataPresence(const QVector<quint16> &fids, const QStringList &controls, const QStringList &messages);
    void addEventFaultRows(bool events);
    CardFileRecord *loadedFile(quint16 fid) const;
    void setProgressState(quint8 state, const QString &text);
    void nextProgressStep(const QString &text);

    // Kept apart: the diagnosis empties the read data the number comes from.
    QString checkedCardNumber;

    std::unique_ptr<CardTransaction> m_hold;
    bool m_heldElsewhere = false;
    bool m_resetAgain = false;
    bool m_startedOver = false;
    bool m_swapped = false;
    ChosenCard m_identified;
    std::optional<ChosenCard> m_chosen;
};
