#pragma once

#include "tools/vcard/FaultPlan.h"

#include <QByteArray>

class CardImage;
struct CardFile;
struct CommandApdu;

// Answers APDUs the way a tachograph card does, over a card image. Holds the
// transient state a reset forgets: the selected application and file, the
// verified PIN and the last hash. Files, PIN and PUK live in the image.
class ApduEngine
{
public:
    explicit ApduEngine(CardImage *card);

    void setFaultPlan(const FaultPlan &plan) { m_faults = plan; }

    // The response: data followed by SW1 SW2.
    QByteArray transmit(const QByteArray &apdu);
    // The last command was carried out, but the card leaves the reader
    // instead of answering it (--leave-on).
    bool leaving() const { return m_leaving; }
    // Power-off and reset alike: back to the master file, nothing verified.
    void reset();

    bool applicationSelected() const { return m_applicationSelected; }
    quint16 currentFid() const { return m_currentFid; }
    bool pinVerified() const { return m_pinVerified; }
    QByteArray lastHash() const { return m_lastHash; }
    int signatureLength() const;

    // The card's signature over a hash; deterministic, so tests can check it.
    static QByteArray signatureOf(const QByteArray &hash, int length);

private:
    struct Response
    {
        quint16 status = 0;
        QByteArray data;
    };

    Response execute(const CommandApdu &apdu);
    Response select(const CommandApdu &apdu);
    Response readBinary(const CommandApdu &apdu);
    Response updateBinary(const CommandApdu &apdu);
    Response verify(const CommandApdu &apdu);
    Response unblock(const CommandApdu &apdu);
    Response performHash(const CommandApdu &apdu);
    Response computeSignature(const CommandApdu &apdu);

    CardFile *currentFile() const;
    bool mayAccess(quint16 fid) const;

    CardImage *m_card = nullptr;
    FaultPlan m_faults;
    bool m_applicationSelected = false;
    quint16 m_currentFid = 0;
    bool m_pinVerified = false;
    QByteArray m_lastHash;
    bool m_leaving = false;
};
