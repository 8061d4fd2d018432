#pragma once

#include "card/SecretBytes.h"
#include "readers/ChosenCard.h"
#include "readers/CardWork.h"
#include "readers/DurableLine.h"
#include "readers/ReaderState.h"

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

class CardReader;
class Config;
class MultiProgressElement;

// Keeps one CardReader per reader the monitor reports and runs every card
// operation (read to .ddd, diagnosis, manual and automatic unblock) in the
// thread it lives in, with a PC/SC context of its own. The GUI thread learns
// about readers only through readerState(), a copy published after every
// change; only on_InterruptAllOperation, readerState() and readerNames() may
// be called from another thread.
class ReaderManager : public QObject
{
    Q_OBJECT

public:
    explicit ReaderManager(QObject *parent = nullptr);
    ~ReaderManager() override;

    // Not owned; set before the thread starts.
    void setConfig(Config *config);
    // Set before the thread starts; every card reader writes through it.
    void setDurableLog(const DurableLine &log);

    // Copies taken under the lock; safe from any thread.
    ReaderState readerState(const QString &name) const;
    QStringList readerNames() const;

signals:
    // After an insertion read, a read or a diagnosis: the reader's published
    // state changed, ask readerState() again.
    void showUpdatedCardInfo(QString reader_name);
    void showErrMsg(uchar type, QString text, QString inftext, QString detailtext);
    void makeCommand(MultiProgressElement *prg_element, QString cmd, QStringList params = QStringList());
    void logginMessage(uchar Type, QString Msg);
    // The server's counter of automatic unblocks left; -9999 when there is none.
    void autoUnblockFinished(short val = -9999);
    void unblockFinished();
    // Full path of the .ddd file this read saved; empty when none was saved.
    void readFinished(QString dddPath);
    // The diagnosis rows are published: ask readerState() again. False when
    // the diagnosis did not run (unknown reader, cancelled, no card, card held
    // by another program).
    void checkFinished(bool checked);
    // An interrupt was delivered to every reader.
    void interruptAllOperation();
    // Our own work with the reader's card starts or ends: sent before its
    // first card command and after its last.
    void cardWork(QString reader_name, CardWork work);

public slots:
    void on_ContextEstablished(qulonglong context);
    void on_FoundCardReaders(const QStringList &readers_list);
    void on_UnmountedCardReader(const QStringList &readers_list);
    void on_MountedCard(const QString &reader_name);
    void on_UnmountedCard(const QString &reader_name);
    void on_CardUsing(const QString &reader_name, bool is_card_using = true);
    // The unblock-server client's answer; ok false: the command failed. The
    // server's PUK comes in `puk`, never in the list.
    void on_commandResult(const QString &cmd, bool ok, const QStringList &result, SecretBytes puk);
    // The secrets are wiped, for every holder, once they are used.
    void on_AutoUnblockCard(const QString &reader_name, MultiProgressElement *progress, SecretBytes PIN);
    void on_UnblockCard(const QString &reader_name, MultiProgressElement *progress, SecretBytes PUK,
                        SecretBytes PIN);
    void on_ReadCard(const QString &reader_name, MultiProgressElement *progress, SecretBytes PIN);
    // Runs in the caller's thread (direct connection): sets the interrupt
    // flags, which the worker reads before every card command. The cancel
    // reaches the running operation and every one requested before it, never
    // a later one.
    void on_InterruptAllOperation();
    void on_CheckCard(const QString &reader_name, MultiProgressElement *progress, SecretBytes PIN);
    void on_ProgressMessage(const QString &msg);

private:
    // The automatic unblock between its request and the server's answer.
    struct PukRequest
    {
        // Counts this manager's "findPUK" requests; the server's answers come
        // in the same order.
        int number = 0;
        QString reader;
        QString cardNumber;
        QString skziNumber;
        quint8 cardKind = 0;
        // The card the PUK is asked for: it goes to no other.
        ChosenCard card;
        MultiProgressElement *progress = nullptr;
        SecretBytes newPin;
    };

    void addCardReader(const QString &name);
    void removeCardReader(const QString &name);
    void clearCardReaders();
    void establishOwnContext();
    void releaseOwnContext();

    // Common start of every operation: no pending server request, the
    // progress element and the reader check. Null when the operation must not
    // run, because it was cancelled before it started or its reader is
    // unknown; the caller then emits its finish signal at once.
    CardReader *beginOperation(const QString &name, MultiProgressElement *progress);
    bool cancelPending() const;
    // Every request made before a cancel has been handled: the flags go down.
    void cancelDelivered();
    // Ends a waiting automatic unblock at once, as failed.
    void dropPukRequest();
    void publish(const CardReader &reader);
    // Card work of an operation, the identification at insertion included:
    // told to the window at once, so it never says that the card may be
    // pulled while the work runs, and says so as soon as it is over.
    void beginCardWork(CardReader &reader);
    void endCardWork(const CardReader &reader);
    // A card whose type was not told at its insertion (another program may
    // have reset it meanwhile) is identified again; false, with the reason
    // shown and logged, when its type is still unknown.
    bool knowsCardType(CardReader &reader);
    // The read road; the saved file's path, or empty when none was saved.
    QString readIntoFile(CardReader &reader, const SecretBytes &pin);
    QString saveDddFile(CardReader &reader);
    enum class Unblock {
        Done,
        Failed,
        // Sent, but no answer came back: the card may hold the new PIN.
        AnswerLost,
        // Refused by PC/SC before it reached the card: the PIN is unchanged.
        NotSent,
        // Another program kept the card or reset it once too often, or
        // another card took its place.
        NoCard,
    };
    // RESET RETRY COUNTER to `chosen` only, without one to the card in the
    // reader as identified (first, when its number was never read); wipes
    // both secrets whatever happens.
    Unblock unblockCurrentCard(CardReader &reader, const std::optional<ChosenCard> &chosen, SecretBytes puk,
                               SecretBytes pin);
    // `answer` holds the server's six elements, but for the PUK itself,
    // which comes apart in `puk`.
    void answerPukRequest(PukRequest &request, bool ok, const QStringList &answer, const SecretBytes &puk);
    bool refusesAnswer(const CardReader &reader, const PukRequest &request, const QStringList &answer);

    void setCurrentState(quint8 state, const QString &text);
    void nextStep(const QString &text, quint8 state);
    void setMessage(const QString &text);
    QString cardTitle(const CardReader &reader) const;

    quint64 context = 0;
    QMap<QString, CardReader *> readers;
    MultiProgressElement *progress = nullptr;
    Config *config = nullptr;
    DurableLine durableLog;
    PukRequest pukRequest;
    // The service's count of card events when the running card work began:
    // another count at its end means that card left the reader meanwhile.
    quint32 cardEventsAtWorkStart = 0;
    int pukRequestsMade = 0;
    int pukAnswersSeen = 0;

    // Cancels whose requests are still on their way here: raised in the GUI
    // thread at the cancel, lowered here once the requests queued before it
    // are handled.
    std::atomic<int> cancelsPending{0};
    // Guards the published states, and the reader objects against deletion
    // while the GUI thread sets their interrupt flags.
    mutable QMutex lock;
    QMap<QString, ReaderState> states;
};
