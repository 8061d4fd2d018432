#pragma once

#include "card/CardOpResult.h"
#include "card/SecretBytes.h"
#include "platform/Pcsc.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class CardFileRecord;

// The card in one PC/SC reader: sends every APDU the program sends to a
// tachograph card and keeps the files it reads. Its owner connects the card
// and fills the handle, protocol, kind, type, PIN and PUK; every command runs
// in the owner's thread. Only `interrupted` is written from another thread;
// the GUI thread reads `cardKind` and `cardType` for display.
//
// A command returns true exactly when the PC/SC call returned 0 and the card
// answered 0x9000. A refused command sends nothing, logs nothing and leaves a
// level-2 note in `result`.
class TachographCard : public QObject
{
    Q_OBJECT

public:
    // Sends one APDU into `response` (its size in, the bytes received out);
    // returns the PC/SC code. The default goes through SCardTransmit.
    using Transmitter = std::function<qint32(const QByteArray &apdu, quint8 *response, quint32 *responseLength)>;

    explicit TachographCard(QObject *parent = nullptr);
    ~TachographCard() override;

    bool updateCardStatus();
    bool selectDF();
    bool selectEF(quint16 fid);
    bool readBinary(quint16 offset, quint16 length, QByteArray *out);
    bool readCurrentEf(quint8 index, quint16 key);
    bool performHash();
    bool computeSignature();
    bool updateBinary(qint32 value);
    bool verifyPin();
    bool unblockPin();
    // After a failed updateBinary or unblockPin: the command went out and no
    // status word came back, the card or the reader gone on the way, so the
    // card may have carried it out. False when the card answered, or when
    // nothing was sent.
    bool answerLost() const { return m_answerLost; }
    // After a failed command: PC/SC refused it before it reached the card,
    // so the card did not carry it out (another program's reset among the
    // reasons).
    bool notSent() const { return m_notSent; }

    QString cardStateText() const;
    QString atrHex() const;
    void clearReadData();
    void reset();

    // Card information for display; empty texts for what was not read.
    // Call them only between commands that change `readData`.
    QString cardKindName() const;
    QString cardTypeName() const;
    QString cardNumber() const;
    QString skziNumber() const;
    QString cardIssuingMemberState() const;
    QString cardIssuingAuthorityName() const;
    QString cardIssueDate() const;
    QString cardValidityBegin() const;
    QString cardExpiryDate() const;
    QString organisationName() const;
    QString holderName() const;
    QString cardHolderBirthDate() const;
    QString cardHolderPreferredLanguage() const;
    QString clockStop() const;
    QString cardExtendedSerialNumber() const;
    QString cardApprovalNumber() const;
    QString cardPersonaliserID() const;
    QString embedderIcAssemblerId() const;
    QString icIdentifier() const;
    QString icSerialNumber() const;
    QString icManufacturingReferences() const;
    QString cardStructureVersion() const;
    QString noOfEventsPerType() const;
    QString noOfFaultsPerType() const;
    QString activityStructureLength() const;
    QString noOfCardVehicleRecords() const;
    QString noOfCardPlaceRecords() const;
    QString noOfCalibrationRecords() const;
    QString noOfControlActivityRecords() const;
    QString lastCardDownload() const;
    QString noOfCalibrationsSinceDownload() const;
    QString drivingLicenceIssuingAuthority() const;
    QString drivingLicenceIssuingNation() const;
    QString drivingLicenceNumber() const;

    // Called when PC/SC refuses a command of ApduKind `kind` because another
    // program reset the card: true when the card is set up again for it, and
    // the command goes again. Not called for the commands that set it up.
    std::function<bool(quint8 kind)> onResetByOther;

    // Replaces the PC/SC transmission, e.g. by an in-process card; an empty
    // function restores it.
    void setTransmitter(Transmitter transmitter);

    QString readerName;
    Pcsc::SCARDHANDLE hCard = 0;
    quint32 activeProtocol = 0;
    const Pcsc::SCARD_IO_REQUEST *sendPci = nullptr;
    quint32 cardState = 0;
    // pcsc-lite answers with up to 33 bytes and refuses a smaller buffer.
    quint8 atr[Pcsc::MAX_ATR_SIZE] = {};
    quint32 atrLength = 0;
    quint16 currentFid = 0;
    quint8 currentEfIndex = 0;
    quint16 layoutKey = 0;
    // Owned: clearReadData() and the destructor delete the records.
    QMap<quint16, CardFileRecord *> readData;
    // Kind and type are shown by the GUI thread while the worker writes them.
    std::atomic<quint8> cardKind{0};
    std::atomic<quint8> cardType{0};
    bool dfSelected = false;
    SecretBytes pin;
    // The card accepted `pin` in the running operation: presenting it again
    // spends no try. The owner clears it when an operation starts.
    bool pinAccepted = false;
    SecretBytes puk;
    // Set from the GUI thread while a command runs; checked before every command.
    std::atomic<bool> interrupted{false};
    // Set by the worker while it puts the card's own bytes back: a cancel
    // must not refuse those commands.
    bool ignoresInterrupt = false;
    std::atomic<bool> cardInUse{false};
    CardOpResult result;

signals:
    void logginMessage(uchar type, QString msg);
    void pogressMessage(QString Msg);

public slots:
    void on_InterruptAllOperation();

private:
    bool isInterrupted() const { return interrupted && !ignoresInterrupt; }
    // The log line of a failed command, with the result text as its last
    // placeholder. Formed only on failure: a read sends hundreds of commands.
    using FailureText = std::function<QString()>;

    // Sends `apdu` unless interrupted and records the outcome in `result`;
    // on failure logs `failure` with the result text as its last placeholder.
    // `data` receives the response without its status word.
    bool send(const QByteArray &apdu, quint8 kind, int responseSize, const FailureText &failure,
              QByteArray *data = nullptr);
    bool send(const QByteArray &apdu, quint8 kind, int responseSize, const QString &failure,
              QByteArray *data = nullptr);
    // Whether anyone listens to pogressMessage, so its text is worth forming.
    bool progressWatched() const;
    qint32 transmit(const QByteArray &apdu, quint8 *response, quint32 *responseLength);

    bool countedFileSize(quint16 fid, quint32 &size, quint32 &count);
    bool certificateSize(quint32 &size, quint32 &fill);
    CardFileRecord *recordOf(quint16 fid);

    // The name of the dictionary's row of `fid`; empty when it has none.
    static QString fileName(quint16 fid);

    Transmitter m_transmitter;
    bool m_answerLost = false;
    bool m_notSent = false;
    // While the card is set up again after a reset: no second start-over.
    bool m_startingOver = false;
};
