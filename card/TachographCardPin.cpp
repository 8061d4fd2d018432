// PIN commands: VERIFY and RESET RETRY COUNTER (unblock with the PUK).

#include "card/ApduBytes.h"
#include "card/StatusWordTexts.h"
#include "card/TachographCard.h"

namespace {

constexpr int statusOnly = 2;
constexpr int verifiedPinBytes = 4;
constexpr int secretBlock = 8;

const QString failVerify = QStringLiteral("%1: Ошибка проверки ПИН-кода. %2");
const QString failUnblock = QStringLiteral("%1: Не удалось выполнить команду разблокировки карты. %2");
const QString emptyPin = QStringLiteral("ПИН-код не задан.");
const QString emptyPuk = QStringLiteral("ПАК-код не задан.");
const QString longPin = QStringLiteral("ПИН-код длиннее %1 байт.");
const QString longPuk = QStringLiteral("ПАК-код длиннее %1 байт.");

} // namespace

bool TachographCard::verifyPin()
{
    result.reset();
    // Every wrong try counts against the card's few PIN tries.
    if (pin.isEmpty()) {
        result.setNote(2, emptyPin);
        return false;
    }
    QByteArray apdu = apduBytes({0x00, 0x20, 0x00, 0x00, 0x08});
    apdu += pin.left(verifiedPinBytes).leftJustified(verifiedPinBytes, '\0');
    apdu += QByteArray(secretBlock - verifiedPinBytes, '\xFF');
    return send(apdu, ApduKind::VerifyPin, statusOnly, failVerify.arg(readerName));
}

bool TachographCard::unblockPin()
{
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
    QByteArray apdu = apduBytes({0x00, 0x2C, 0x00, 0x00, 0x10});
    apdu += puk.leftJustified(secretBlock, '\xFF');
    apdu += pin.leftJustified(secretBlock, '\xFF');
    return send(apdu, ApduKind::Unblock, statusOnly, failUnblock.arg(readerName));
}
