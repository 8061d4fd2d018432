#pragma once

#include "tests/support/RealLog.h"
#include "platform/Pcsc.h"
#include "readers/CardReader.h"
#include "readers/SaveDddFile.h"
#include "tests/support/VirtualCardProcess.h"

#include <QStringList>

#include <memory>

// A CardReader on one sandbox reader, with a context of its own established
// in the calling thread (as the reader-manager thread does), and the log
// lines of the reader and its card as "type|text".
class CardReaderRig
{
public:
    explicit CardReaderRig(int readerIndex = 0)
    {
        Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &context);
        const QString name = VirtualCardProcess::readerName(readerIndex);
        reader = std::make_unique<CardReader>(name, context);
        reader->card.readerName = name;
        const auto record = [this](uchar type, const QString &msg) {
            log << QStringLiteral("%1|%2").arg(type).arg(msg);
        };
        QObject::connect(reader.get(), &CardReader::logginMessage, reader.get(), record);
        QObject::connect(&reader->card, &TachographCard::logginMessage, reader.get(), record);
        RealLog::attach(reader.get(), &CardReader::logginMessage);
        RealLog::attach(&reader->card, &TachographCard::logginMessage);
    }

    ~CardReaderRig()
    {
        reader.reset();
        if (context)
            Pcsc::SCardReleaseContext(context);
    }

    CardReaderRig(const CardReaderRig &) = delete;
    CardReaderRig &operator=(const CardReaderRig &) = delete;

    // The read road of the reader manager, step by step: connect, the PIN of
    // a kind-1 card, the whole card, disconnect. The PIN stays only when the
    // read succeeded, for the save, which clears it when done.
    bool readCard(const QByteArray &pin = "1234")
    {
        CardReader &r = *reader;
        if (!r.connectCard())
            return false;
        bool read = true;
        if (r.card.cardKind == 1) {
            r.card.pin = SecretBytes(pin);
            read = r.card.verifyPin();
        }
        read = read && r.readAllFiles();
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

    Pcsc::SCARDCONTEXT context = 0;
    std::unique_ptr<CardReader> reader;
    QStringList log;
};
