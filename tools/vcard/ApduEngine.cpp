#include "tools/vcard/ApduEngine.h"

#include "tools/vcard/CardImage.h"
#include "tools/vcard/CommandApdu.h"
#include "tools/vcard/StatusWord.h"

#include <QCryptographicHash>
#include <QSet>

namespace {

// Files a card of kind 1 shows without the PIN: those the host reads when
// the card is inserted, by card type.
bool isGeneralFile(quint8 type, quint16 fid)
{
    static const QSet<quint16> always{0x0002, 0x0005, 0x0501};
    if (always.contains(fid))
        return true;
    switch (type) {
    case 1: return fid == 0x0520 || fid == 0x050E || fid == 0x0521;
    case 2: return fid == 0x0520 || fid == 0x0509;
    case 3:
    case 4: return fid == 0x0520;
    default: return false;
    }
}

QByteArray withStatus(QByteArray data, quint16 status)
{
    data.append(char(status >> 8));
    data.append(char(status & 0xFF));
    return data;
}

} // namespace

ApduEngine::ApduEngine(CardImage *card)
    : m_card(card)
{
}

QByteArray ApduEngine::transmit(const QByteArray &bytes)
{
    CommandApdu apdu;
    if (!CommandApdu::parse(bytes, &apdu))
        return withStatus(QByteArray(), StatusWord::wrongLength);

    const CommandKind kind = commandKindOf(apdu);
    if (kind != CommandKind::Other) {
        const FaultPlan::Action action = m_faults.next(kind);
        if (action.forced)
            return withStatus(QByteArray(), action.status);
        // A worn cell: the card keeps another last bit than it was sent.
        CommandApdu sent = apdu;
        if (action.storeOther && !sent.data.isEmpty())
            sent.data[sent.data.size() - 1] = char(sent.data.back() ^ 0x01);
        Response response = execute(sent);
        m_leaving = action.leave;
        if (action.shortAnswer)
            response.data.truncate(response.data.size() / 2);
        return withStatus(response.data, response.status);
    }
    const Response response = execute(apdu);
    return withStatus(response.data, response.status);
}

void ApduEngine::reset()
{
    m_applicationSelected = false;
    m_currentFid = 0;
    m_pinVerified = false;
    m_lastHash.clear();
}

int ApduEngine::signatureLength() const
{
    return m_card->kind() == 1 ? 0x40 : 0x80;
}

QByteArray ApduEngine::signatureOf(const QByteArray &hash, int length)
{
    QByteArray signature;
    for (char block = 0; signature.size() < length; ++block)
        signature += QCryptographicHash::hash(hash + block, QCryptographicHash::Sha256);
    signature.truncate(length);
    return signature;
}

ApduEngine::Response ApduEngine::execute(const CommandApdu &apdu)
{
    if (apdu.cla != 0x00 && apdu.cla != 0x80)
        return {StatusWord::unknownClass, {}};

    quint8 cla = 0x00;
    Response (ApduEngine::*command)(const CommandApdu &) = nullptr;
    switch (apdu.ins) {
    case 0xA4: command = &ApduEngine::select; break;
    case 0xB0: command = &ApduEngine::readBinary; break;
    case 0xD6: command = &ApduEngine::updateBinary; break;
    case 0x20: command = &ApduEngine::verify; break;
    case 0x2C: command = &ApduEngine::unblock; break;
    case 0x2A:
        if (apdu.p1p2() == 0x9000) {
            cla = 0x80;
            command = &ApduEngine::performHash;
        } else if (apdu.p1p2() == 0x9E9A) {
            command = &ApduEngine::computeSignature;
        } else {
            return {StatusWord::wrongParameters, {}};
        }
        break;
    default:
        return {StatusWord::unknownInstruction, {}};
    }
    if (apdu.cla != cla)
        return {StatusWord::unknownClass, {}};
    return (this->*command)(apdu);
}

CardFile *ApduEngine::currentFile() const
{
    return m_currentFid == 0 ? nullptr : m_card->file(m_currentFid);
}

bool ApduEngine::mayAccess(quint16 fid) const
{
    return m_pinVerified || m_card->kind() != 1 || isGeneralFile(m_card->type(), fid);
}
