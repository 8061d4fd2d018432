// PIN commands: VERIFY and RESET RETRY COUNTER (unblock with the PUK).

#include "card/StatusWordTexts.h"
#include "card/TachographCard.h"

#include <cstring>

namespace {

constexpr int statusOnly = 2;
constexpr int headerBytes = 5;
constexpr int verifiedPinBytes = 4;
constexpr int secretBlock = 8;

const QString failVerify = QStringLiteral("%1: Ошибка проверки ПИН-кода. %2");
const QString failUnblock = QStringLiteral("%1: Не удалось выполнить команду разблокировки карты. %2");
const QString emptyPin = QStringLiteral("ПИН-код не задан.");
const QString emptyPuk = QStringLiteral("ПАК-код не задан.");
const QString longPin = QStringLiteral("ПИН-код длиннее %1 байт.");
const QString longPuk = QStringLiteral("ПАК-код длиннее %1 байт.");

// A command of `dataBytes` bytes of `fill` after its header, built in a
// secret's own buffer: no temporary copy of a PIN or PUK is left behind, and
// the whole command is overwritten once the card has answered.
SecretBytes secretCommand(const char (&header)[headerBytes], int dataBytes, char fill)
{
    SecretBytes apdu = SecretBytes::filled(headerBytes + dataBytes, fill);
    std::memcpy(apdu.data(), header, headerBytes);
    return apdu;
}

// Copies at most `limit` bytes of the secret to the command's data at `offset`.
void put(SecretBytes &apdu, int offset, const SecretBytes &secret, int limit)
{
    std::memcpy(apdu.data() + headerBytes + offset, secret.bytes().constData(), size_t(qMin(secret.size(), limit)));
}

} // namespace

bool TachographCard::verifyPin()
{
    result.reset();
    // Every wrong try counts against the card's few PIN tries.
    if (pin.isEmpty()) {
        result.setNote(2, emptyPin);
        return false;
    }
    // The PIN's first four bytes, zero-padded, then four bytes FF.
    SecretBytes apdu = secretCommand({0x00, 0x20, 0x00, 0x00, 0x08}, secretBlock, '\xFF');
    std::memset(apdu.data() + headerBytes, '\0', verifiedPinBytes);
    put(apdu, 0, pin, verifiedPinBytes);
    const bool verified = send(apdu.bytes(), ApduKind::VerifyPin, statusOnly, failVerify.arg(readerName));
    apdu.wipe();
    pinAccepted = verified;
    return verified;
}

bool TachographCard::unblockPin()
{
    m_answerLost = false;
    m_notSent = false;
    // The PUK has only a few tries and an empty new PIN would leave the card
    // with a PIN nobody knows: neither is worth sending.
    if (puk.isEmpty() || pin.isEmpty()) {
        result.setNote(2, puk.isEmpty() ? emptyPuk : emptyPin);
        return false;
    }
    if (puk.size() > secretBlock || pin.size() > secretBlock) {
        result.setNote(2, (puk.size() > secretBlock ? longPuk : longPin).arg(secretBlock));
        return false;
    }
    SecretBytes apdu = secretCommand({0x00, 0x2C, 0x00, 0x00, 0x10}, 2 * secretBlock, '\xFF');
    put(apdu, 0, puk, secretBlock);
    put(apdu, secretBlock, pin, secretBlock);
    const bool unblocked = send(apdu.bytes(), ApduKind::Unblock, statusOnly, failUnblock.arg(readerName));
    apdu.wipe();
    return unblocked;
}
