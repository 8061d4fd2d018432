#pragma once

#include "platform/Pcsc.h"
#include "readers/CardReader.h"
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
    }

    ~CardReaderRig()
    {
        reader.reset();
        if (context)
            Pcsc::SCardReleaseContext(context);
    }

    CardReaderRig(const CardReaderRig &) = delete;
    CardReaderRig &operator=(const CardReaderRig &) = delete;

    // What the reader manager does for a read: connect, the PIN of a kind-1
    // card, the whole card, disconnect; the PIN stays for the save.
    bool readCard(const QByteArray &pin = "1234")
    {
        if (!reader->connectCard())
            return false;
        if (reader->card.cardKind == 1) {
            reader->card.pin = pin;
            if (!reader->card.verifyPin()) {
                reader->disconnectCard();
                return false;
            }
        }
        const bool read = reader->readAllFiles();
        reader->disconnectCard();
        return read;
    }

    bool logged(const QString &line) const { return log.contains(line); }

    Pcsc::SCARDCONTEXT context = 0;
    std::unique_ptr<CardReader> reader;
    QStringList log;
};
