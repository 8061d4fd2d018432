#pragma once

#include "tests/readers/CardDump.h"
#include "tests/readers/CardReaderRig.h"
#include "tests/support/VirtualCardProcess.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// A virtual card in reader 0 and a CardReader that identified it as on
// insertion; the files the card holds when it leaves are dumped for the test.
// The reader object outlives the cards, as it does in the program.
class CardRig
{
public:
    // A card whose files are flawed may fail them and still be identified.
    bool insert(const QString &profile, const QStringList &options = {})
    {
        if (!insertCard(profile, options))
            return false;
        return reader().readGeneralInfo() || reader().card.cardType != 0;
    }

    // The card put in the reader without the reader object reading it.
    bool insertCard(const QString &profile, QStringList options)
    {
        options << QStringLiteral("--dump") << dumpFolder.path();
        if (!vcard.insert(profile, options))
            return false;
        if (!rig)
            makeReader();
        return true;
    }

    CardReader &reader() { return *rig->reader; }

    // The card's files once it has left the reader (by itself or removed).
    QMap<quint16, QByteArray> files()
    {
        if (!vcard.remove())
            return {};
        return readCardDump(dumpFolder.path());
    }

    // "step|message|failed" per command-check row.
    QStringList commandRows() const
    {
        QStringList rows;
        for (const CmdCheckRow &row : rig->reader->cmdCheckRows)
            rows << QStringLiteral("%1|%2|%3").arg(row.step, row.message).arg(row.failed);
        return rows;
    }

    // "control|value|message|failed" per data-check row.
    QStringList dataRows() const
    {
        QStringList rows;
        for (const DataCheckRow &row : rig->reader->dataCheckRows)
            rows << QStringLiteral("%1|%2|%3|%4").arg(row.control, row.value, row.message).arg(row.failed);
        return rows;
    }

    // Number (from 1, as the card counts them) of the first APDU with this
    // instruction byte; 0 when none was sent.
    int firstApdu(quint8 ins) const
    {
        for (int i = 0; i < apdus.size(); ++i) {
            if (apdus.at(i).size() > 1 && quint8(apdus.at(i).at(1)) == ins)
                return i + 1;
        }
        return 0;
    }

    QTemporaryDir dumpFolder;
    // Every APDU the card object sent, from the insertion read on.
    QList<QByteArray> apdus;
    std::function<void(const QByteArray &)> afterApdu;
    VirtualCardProcess vcard{0};
    std::unique_ptr<CardReaderRig> rig;
    QStringList errorBoxes;

private:
    void makeReader()
    {
        rig = std::make_unique<CardReaderRig>();
        TachographCard &card = rig->reader->card;
        card.setTransmitter([this, &card](const QByteArray &apdu, quint8 *response, quint32 *length) {
            const qint32 code = Pcsc::SCardTransmit(card.hCard, card.sendPci,
                                                    reinterpret_cast<const quint8 *>(apdu.constData()),
                                                    quint32(apdu.size()), nullptr, response, length);
            apdus << apdu;
            if (afterApdu)
                afterApdu(apdu);
            return code;
        });
        QObject::connect(rig->reader.get(), &CardReader::showErrMsg, rig->reader.get(),
                         [this](uchar type, const QString &text, const QString &info, const QString &) {
                             errorBoxes << QStringLiteral("%1|%2|%3").arg(type).arg(text, info);
                         });
    }
};
