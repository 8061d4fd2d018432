#pragma once

#include "platform/Pcsc.h"
#include "readers/CardReader.h"
#include "readers/SaveDddFile.h"
#include "tests/readers/CardDump.h"
#include "tests/support/RealLog.h"
#include "tests/support/VirtualCardProcess.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// A CardReader on sandbox reader 0, with a context of its own established in
// the calling thread (as the reader-manager thread does); the log lines of the
// reader and its card as "type|text", its message boxes as "type|text|info",
// every APDU its card sent; loseAnswer may drop the answer to a command the
// card carried out, the card staying in the reader; refuse may refuse a
// command, with a PC/SC code, without sending it. insert() puts a virtual
// card into the reader and reads it as on insertion; the reader object
// outlives the cards, as in the program, and the files a card holds when it
// leaves are dumped for the test.
class CardReaderRig
{
public:
    CardReaderRig()
    {
        Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context);
        reader = std::make_unique<CardReader>(vcard.name(), context);
        TachographCard &card = reader->card;
        card.readerName = vcard.name();
        card.setTransmitter([this, &card](const QByteArray &apdu, quint8 *response, quint32 *length) {
            if (const qint32 refused = refuse ? refuse(apdu) : 0)
                return refused;
            const qint32 code = Pcsc::SCardTransmit(card.hCard, card.sendPci,
                                                    reinterpret_cast<const quint8 *>(apdu.constData()),
                                                    quint32(apdu.size()), nullptr, response, length);
            apdus << apdu;
            if (afterApdu)
                afterApdu(apdu);
            if (code != 0 || !loseAnswer || !loseAnswer(apdu))
                return code;
            // A transmission that failed on its way back.
            *length = 0;
            return Pcsc::SCARD_E_NOT_TRANSACTED;
        });
        const auto record = [this](uchar type, const QString &msg) {
            log << QStringLiteral("%1|%2").arg(type).arg(msg);
        };
        QObject::connect(reader.get(), &CardReader::logginMessage, reader.get(), record);
        QObject::connect(&card, &TachographCard::logginMessage, reader.get(), record);
        QObject::connect(reader.get(), &CardReader::showErrMsg, reader.get(),
                         [this](uchar type, const QString &text, const QString &info, const QString &) {
                             errorBoxes << QStringLiteral("%1|%2|%3").arg(type).arg(text, info);
                         });
        RealLog::attach(reader.get(), &CardReader::logginMessage);
        RealLog::attach(&card, &TachographCard::logginMessage);
        reader->durableLog = [this](uchar type, const QString &msg) {
            log << QStringLiteral("%1|%2").arg(type).arg(msg);
            return eventLogger->writeNow(type, msg);
        };
    }

    ~CardReaderRig()
    {
        reader.reset();
        if (context)
            Pcsc::SCardReleaseContext(context);
    }

    CardReaderRig(const CardReaderRig &) = delete;
    CardReaderRig &operator=(const CardReaderRig &) = delete;

    // A card whose files are flawed may fail them and still be identified.
    bool insert(const QString &profile, const QStringList &options = {})
    {
        return insertCard(profile, options) && (reader->readGeneralInfo() || reader->card.cardType != 0);
    }

    // The card put in the reader without the reader object reading it.
    bool insertCard(const QString &profile, const QStringList &options)
    {
        return vcard.insert(profile, options + QStringList{QStringLiteral("--dump"), dumpFolder.path()});
    }

    // The card's files once it has left the reader (by itself or removed).
    QMap<quint16, QByteArray> files()
    {
        return vcard.remove() ? readCardDump(dumpFolder.path()) : QMap<quint16, QByteArray>();
    }

    // The read road of the reader manager, step by step: connect, the PIN of
    // a kind-1 card, the whole card, disconnect. The PIN stays only when the
    // read succeeded, for the save, which clears it when done.
    bool readCard(const QByteArray &pin = "1234")
    {
        CardReader &r = *reader;
        r.startWork();
        r.chooseCard(r.identifiedCard());
        if (!r.identifyIfUnknown() || !r.connectCard())
            return false;
        if (r.card.cardKind == 1)
            r.card.pin = SecretBytes(pin);
        const bool read = (r.card.cardKind != 1 || r.card.verifyPin()) && r.readAllFiles();
        r.disconnectCard();
        if (!read)
            r.card.pin.wipe();
        return read;
    }

    DddSaveResult save(Config &config)
    {
        reader->updateCardInfo();
        const DddSaveResult result = saveDddFile(*reader, config, [this](uchar type, const QString &msg) {
            log << QStringLiteral("%1|%2").arg(type).arg(msg);
        });
        reader->card.pin.wipe();
        return result;
    }

    bool logged(const QString &line) const { return log.contains(line); }

    QTemporaryDir dumpFolder;
    VirtualCardProcess vcard{0};
    Pcsc::SCARDCONTEXT context = 0;
    std::unique_ptr<CardReader> reader;
    QStringList log;
    QStringList errorBoxes;
    QList<QByteArray> apdus;
    std::function<void(const QByteArray &)> afterApdu;
    std::function<bool(const QByteArray &)> loseAnswer;
    std::function<qint32(const QByteArray &)> refuse;
};
