// Drives CardReader and the card commands with card answers taken from the
// input (see ScriptedCard.h): the insertion read with identification, then,
// when that worked, a whole read with its .ddd image and file name. A read
// must fail with a reason, or, interrupted, leave nothing to save, or give an
// image whose blocks hold exactly the files read and end exactly at its end,
// under a name that stays in its folder.

#include "card/CardFileRecord.h"
#include "readers/CardReader.h"
#include "tests/fuzz/ScriptedCard.h"
#include "tests/readers/DddBlocks.h"

#include <QFileInfo>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// What the card page shows after an insertion.
void showCardInfo(const TachographCard &card)
{
    const QString texts[] = {
        card.cardKindName(), card.cardTypeName(), card.cardNumber(), card.skziNumber(),
        card.cardIssuingMemberState(), card.cardIssuingAuthorityName(), card.cardIssueDate(),
        card.cardValidityBegin(), card.cardExpiryDate(), card.organisationName(), card.holderName(),
        card.cardHolderBirthDate(), card.cardHolderPreferredLanguage(), card.clockStop(),
        card.cardExtendedSerialNumber(), card.cardApprovalNumber(), card.cardPersonaliserID(),
        card.embedderIcAssemblerId(), card.icIdentifier(), card.icSerialNumber(),
        card.icManufacturingReferences(), card.cardStructureVersion(), card.noOfEventsPerType(),
        card.noOfFaultsPerType(), card.activityStructureLength(), card.noOfCardVehicleRecords(),
        card.noOfCardPlaceRecords(), card.noOfCalibrationRecords(), card.noOfControlActivityRecords(),
        card.lastCardDownload(), card.noOfCalibrationsSinceDownload(), card.drivingLicenceIssuingAuthority(),
        card.drivingLicenceIssuingNation(), card.drivingLicenceNumber(), card.cardStateText(), card.atrHex()};
    for (const QString &text : texts)
        (void)text.toHtmlEscaped();
}

// Every block is one file's data or signature, whole and in the order read.
void checkImage(const QByteArray &image, const TachographCard &card)
{
    QVector<DddBlock> blocks;
    check(parseDddBlocks(image, &blocks));
    int files = 0;
    for (const DddBlock &block : qAsConst(blocks)) {
        const CardFileRecord *record = card.readData.value(block.fid);
        check(record != nullptr);
        check(block.bytes == (block.tag == 0 ? record->data : record->signature));
        files += block.tag == 0;
    }
    check(files == card.readData.size());
}

void checkFileName(const QString &name)
{
    check(name.endsWith(QLatin1String(".ddd")));
    check(!name.contains(QLatin1Char('/')) && !name.contains(QChar(0)));
    check(QFileInfo(name).fileName() == name && !name.startsWith(QLatin1Char('.')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    CardReader reader(QStringLiteral("Fuzz Reader 00 00"), 1);
    ScriptedCard scripted(input, size, [&reader] {
        reader.on_InterruptAllOperation();
        reader.card.on_InterruptAllOperation();
    });
    reader.card.readerName = reader.readerName;
    reader.card.setTransmitter(scripted.transmitter());

    if (!reader.readGeneralInfo())
        return 0;
    showCardInfo(reader.card);

    // As the reader manager reads a card: connect, the PIN of a kind-1 card,
    // every file, disconnect.
    if (!reader.connectCard())
        return 0;
    reader.card.pin = SecretBytes("1234");
    if (reader.card.cardKind == 1 && !reader.card.verifyPin())
        return 0;
    const bool read = reader.readAllFiles();
    reader.disconnectCard();
    // An interruption is the user's own doing and needs no reason.
    if (!read) {
        check(reader.interrupted || reader.card.result.maxLevel() > 0);
        return 0;
    }
    if (reader.interrupted) {
        check(reader.buildDddImage().isEmpty());
        return 0;
    }
    checkImage(reader.buildDddImage(), reader.card);
    checkFileName(reader.dddFileName());
    return 0;
}
