// Hashing the selected file and having the card sign the hash.

#include "card/ApduBytes.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "card/CardKindParams.h"
#include "card/StatusWordTexts.h"
#include "card/TachographCard.h"

namespace {

constexpr int dataResponse = 257;

const QString noFileToHash = QStringLiteral(
    "Перед расчетом хеша файла необходимо выбрать файл по которому он должен быть рассчитан.");
const QString noFileToSign = QStringLiteral(
    "Перед формированием электронной подписи необходимо выбрать файл по которого она должна быть сформирована.");
const QString noSignatureParams =
    QStringLiteral("Для карты вида %1 не определены параметры электронной подписи.");
const QString progressHash = QStringLiteral("Расчет хеша %1");
const QString progressSign = QStringLiteral("Формирование ЭП %1");
// The third letter of the verb is a Latin "c": the message has always been logged this way.
const QString failHash = QStringLiteral("%1: Не удалось раcсчитать хэш %2. %3");
const QString failSign = QStringLiteral("%1: Не удалось сформировать ЭП по %2. %3");

} // namespace

bool TachographCard::performHash()
{
    result.reset();
    if (currentFid == 0) {
        result.setNote(2, noFileToHash);
        return false;
    }
    const QString name = fileName(currentFid);
    if (progressWatched())
        emit pogressMessage(progressHash.arg(name));
    return send(apduBytes({0x80, 0x2A, 0x90, 0x00}), ApduKind::Hash, dataResponse,
                [this, &name] { return failHash.arg(readerName).arg(name); });
}

bool TachographCard::computeSignature()
{
    result.reset();
    if (currentFid == 0) {
        result.setNote(2, noFileToSign);
        return false;
    }
    const QString name = fileName(currentFid);
    if (progressWatched())
        emit pogressMessage(progressSign.arg(name));
    const CardKindParams params = CardDictionary::cardKindParams().value(cardKind);
    // Without parameters the card would be asked for 256 bytes and the tag lost.
    if (params.signatureLength == 0) {
        result.setNote(2, noSignatureParams.arg(int(cardKind)));
        return false;
    }
    QByteArray signature;
    if (!send(apduBytes({0x00, 0x2A, 0x9E, 0x9A, params.signatureLength}), ApduKind::Signature, dataResponse,
              [this, &name] { return failSign.arg(readerName).arg(name); }, &signature))
        return false;
    CardFileRecord *record = recordOf(currentFid);
    record->signature = signature;
    record->signatureLength = quint16(signature.size());
    record->signatureTag = params.signatureTag;
    return true;
}
