// The PIN commands of the card: VERIFY and RESET RETRY COUNTER.

#include "tools/vcard/ApduEngine.h"

#include "tools/vcard/CardImage.h"
#include "tools/vcard/CommandApdu.h"
#include "tools/vcard/StatusWord.h"

ApduEngine::Response ApduEngine::verify(const CommandApdu &apdu)
{
    if (apdu.p1p2() != 0x0000)
        return {StatusWord::wrongParameters, {}};
    if (apdu.data.size() != Credential::blockSize)
        return {StatusWord::wrongLength, {}};
    Credential &pin = m_card->pin();
    switch (pin.present(apdu.data)) {
    case Credential::Outcome::Accepted:
        m_pinVerified = true;
        return {StatusWord::ok, {}};
    case Credential::Outcome::Rejected:
        m_pinVerified = false;
        return {StatusWord::wrongSecret(pin.triesLeft()), {}};
    case Credential::Outcome::Blocked:
        m_pinVerified = false;
        break;
    }
    return {StatusWord::blocked, {}};
}

ApduEngine::Response ApduEngine::unblock(const CommandApdu &apdu)
{
    if (apdu.p1p2() != 0x0000)
        return {StatusWord::wrongParameters, {}};
    if (apdu.data.size() != 2 * Credential::blockSize)
        return {StatusWord::wrongLength, {}};
    Credential &puk = m_card->puk();
    switch (puk.present(apdu.data.left(Credential::blockSize))) {
    case Credential::Outcome::Accepted:
        m_card->pin().replace(apdu.data.mid(Credential::blockSize));
        return {StatusWord::ok, {}};
    case Credential::Outcome::Rejected:
        return {StatusWord::wrongSecret(puk.triesLeft()), {}};
    case Credential::Outcome::Blocked:
        break;
    }
    return {StatusWord::blocked, {}};
}
