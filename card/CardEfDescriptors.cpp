#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"

#include <initializer_list>

namespace {

CardFieldLayout field(const char* name, quint16 size, const char* valueType)
{
    return {QString::fromLatin1(name), size, size, QString::fromLatin1(valueType)};
}

CardFileLayout fixedFile(quint16 size, QVector<CardFieldLayout> fields = {})
{
    return {size, size, fields};
}

CardFileLayout rangeFile(quint16 minSize, quint16 maxSize, QVector<CardFieldLayout> fields = {})
{
    return {minSize, maxSize, fields};
}

// A file whose content is the same for several card variants.
QMap<quint16, CardFileLayout> sameFor(std::initializer_list<quint16> keys, const CardFileLayout& layout)
{
    QMap<quint16, CardFileLayout> layouts;
    for (const quint16 key : keys)
        layouts.insert(key, layout);
    return layouts;
}

QVector<CardAppLayout> buildEfDescriptors()
{
    // Built inside the function so that the table never depends on the
    // initialisation order of globals in other files.
    const QVector<CardFieldLayout> layoutA = {
        field("clockStop", 1, "UInt8"),
        field("cardExtendedSerialNumber", 8, "CardExtendedSerialNumber"),
        field("cardApprovalNumber", 8, "String"),
        field("cardPersonaliserID", 1, "UInt8"),
        field("embedderIcAssemblerId", 5, "String"),
        field("icIdentifier", 2, "HexString"),
    };

    const QVector<CardFieldLayout> layoutB = {
        field("icSerialNumber", 4, "UInt32"),
        field("icManufacturingReferences", 4, "UInt32"),
    };

    const QVector<CardFieldLayout> layoutC1 = {
        field("typeOfTachographCardId", 1, "UInt8"),
        field("cardStructureVersion", 2, "UInt16"),
        field("noOfEventsPerType", 1, "UInt8"),
        field("noOfFaultsPerType", 1, "UInt8"),
        field("activityStructureLength", 2, "UInt16"),
        field("noOfCardVehicleRecords", 2, "UInt16"),
        field("noOfCardPlaceRecords", 1, "UInt8"),
    };

    const QVector<CardFieldLayout> layoutC2 = layoutC1 + QVector<CardFieldLayout>{
        field("noOfCalibrationRecords", 1, "UInt8"),
    };

    const QVector<CardFieldLayout> layoutC0 = {
        field("typeOfTachographCardId", 1, "UInt8"),
        field("cardStructureVersion", 2, "UInt16"),
        field("noOfControlActivityRecords", 2, "UInt16"),
    };

    const QVector<CardFieldLayout> identificationHead = {
        field("cardIssuingMemberState", 1, "UInt8"),
        field("cardNumber", 16, "String"),
        field("cardIssuingAuthorityName", 36, "String"),
        field("cardIssueDate", 4, "UnixDateUTC"),
        field("cardValidityBegin", 4, "UnixDateUTC"),
        field("cardExpiryDate", 4, "UnixDateUTC"),
    };

    const QVector<CardFieldLayout> layoutD1 = identificationHead + QVector<CardFieldLayout>{
        field("holderSurname", 36, "String"),
        field("holderFirstNames", 36, "String"),
        field("cardHolderBirthDate", 4, "StringDate"),
        field("cardHolderPreferredLanguage", 2, "String"),
    };

    const QVector<CardFieldLayout> layoutD2 = identificationHead + QVector<CardFieldLayout>{
        field("workshopName", 36, "String"),
        field("workshopAddress", 36, "String"),
        field("holderSurname", 36, "String"),
        field("holderFirstNames", 36, "String"),
        field("cardHolderPreferredLanguage", 2, "String"),
    };

    const QVector<CardFieldLayout> layoutD3 = identificationHead + QVector<CardFieldLayout>{
        field("controlBodyName", 36, "String"),
        field("controlBodyAddress", 36, "String"),
        field("holderSurname", 36, "String"),
        field("holderFirstNames", 36, "String"),
        field("cardHolderPreferredLanguage", 2, "String"),
    };

    const QVector<CardFieldLayout> layoutD4 = identificationHead + QVector<CardFieldLayout>{
        field("companyName", 36, "String"),
        field("companyAddress", 36, "String"),
        field("cardHolderPreferredLanguage", 2, "String"),
    };

    const QVector<CardFieldLayout> layoutE = {
        field("drivingLicenceIssuingAuthority", 36, "String"),
        field("drivingLicenceIssuingNation", 1, "UInt8"),
        field("drivingLicenceNumber", 16, "String"),
    };

    const QVector<CardFieldLayout> layoutF = {
        field("sessionOpenTime", 4, "UnixDateTimeUTC"),
        field("vehicleRegistrationNation", 1, "UInt8"),
        field("vehicleRegistrationNumber", 14, "String"),
    };

    const CardFieldLayout driverEvents = {QStringLiteral("CardEventData"), 864, 1728, QStringLiteral("CardEventData")};
    const CardFieldLayout driverFaults = {QStringLiteral("CardFaultData"), 576, 1152, QStringLiteral("CardFaultData")};

    return {
        {0x0002, QStringLiteral("EFICC"), false, false, {{0x0000, fixedFile(25, layoutA)}}},
        {0x0005, QStringLiteral("EFIC"), false, false, {{0x0000, fixedFile(8, layoutB)}}},
        {0x0501, QStringLiteral("EFApplicationIdentification"), true, true,
         {{0x0001, fixedFile(10, layoutC1)}, {0x0002, fixedFile(11, layoutC2)}, {0x0000, fixedFile(5, layoutC0)}}},
        {0xC100, QStringLiteral("EFCardCertificate"), true, false,
         sameFor({0x0200, 0x0300}, fixedFile(194, {field("CardCertificate", 194, "")}))},
        {0xC108, QStringLiteral("EFCACertificate"), true, false,
         sameFor({0x0200, 0x0300}, fixedFile(194, {field("MemberStateCertificate", 194, "")}))},
        {0xC200, QStringLiteral("EFCardCertificateGOST"), true, false,
         {{0x0100, fixedFile(1000, {field("CardCertificateGost", 1000, "")})}}},
        {0xC201, QStringLiteral("EFKeyIdentificators"), true, true,
         {{0x0100, fixedFile(16, {field("CAKeyIdentifier", 16, "HexString")})}}},
        {0xC203, QStringLiteral("EFTemporaryCert"), true, false, {{0x0102, fixedFile(1024)}}},
        {0xC204, QStringLiteral("EFCertRequest"), true, false, {{0x0102, fixedFile(1024)}}},
        {0xC205, QStringLiteral("EFVUCert"), true, false, {{0x0102, fixedFile(2048)}}},
        {0xC206, QStringLiteral("EFArchiveRequests"), true, true, sameFor({0x0102, 0x0103, 0x0104}, fixedFile(14))},
        {0xC207, QStringLiteral("EFVUCertRequest"), true, false, {{0x0102, fixedFile(1024)}}},
        {0xC208, QStringLiteral("EFCACertificate"), true, false,
         {{0x0100, fixedFile(1000, {field("CACertificateGost", 1000, "")})}}},
        {0x0520, QStringLiteral("EFIdentification"), true, true,
         {{0x0001, fixedFile(143, layoutD1)},
          {0x0002, fixedFile(211, layoutD2)},
          {0x0003, fixedFile(211, layoutD3)},
          {0x0004, fixedFile(139, layoutD4)}}},
        {0x050E, QStringLiteral("EFCardDownload"), true, true,
         {{0x0001, fixedFile(4, {field("LastCardDownload", 4, "UnixDateTimeUTC")})}}},
        {0x0509, QStringLiteral("EFCardDownload"), true, true,
         {{0x0002, fixedFile(2, {field("NoOfCalibrationsSinceDownload", 2, "UInt16")})}}},
        {0x050A, QStringLiteral("EFCalibration"), true, true, {{0x0002, rangeFile(9243, 26778)}}},
        {0x0521, QStringLiteral("EFDrivingLicenceInfo"), true, true, {{0x0001, fixedFile(53, layoutE)}}},
        {0x0502, QStringLiteral("EFEventsData"), true, true,
         {{0x0001, rangeFile(864, 1728, {driverEvents})},
          {0x0002, fixedFile(432, {field("CardEventData", 432, "CardEventData")})}}},
        {0x0503, QStringLiteral("EFFaultsData"), true, true,
         {{0x0001, rangeFile(576, 1152, {driverFaults})},
          {0x0002, fixedFile(288, {field("CardFaultData", 288, "CardFaultData")})}}},
        {0x0504, QStringLiteral("EFDriverActivityData"), true, true,
         {{0x0001, rangeFile(5548, 13780)}, {0x0002, rangeFile(202, 496)}}},
        {0x0505, QStringLiteral("EFVehiclesUsed"), true, true,
         {{0x0001, rangeFile(2606, 6202)}, {0x0002, rangeFile(126, 250)}}},
        {0x0506, QStringLiteral("EFPlaces"), true, true,
         {{0x0001, rangeFile(841, 1121)}, {0x0002, rangeFile(61, 81)}}},
        {0x0507, QStringLiteral("EFCurrentUsage"), true, true, sameFor({0x0001, 0x0002}, fixedFile(19, layoutF))},
        {0x0508, QStringLiteral("EFControlActivityData"), true, true, sameFor({0x0001, 0x0002}, fixedFile(46))},
        {0x050C, QStringLiteral("EFControllerActivityData"), true, true, {{0x0003, rangeFile(10582, 23922)}}},
        {0x050D, QStringLiteral("EFCompanyActivityData"), true, true, {{0x0004, rangeFile(10582, 23922)}}},
        {0x0522, QStringLiteral("EFSpecificConditions"), true, true, {{0x0001, fixedFile(280)}, {0x0002, fixedFile(10)}}},
    };
}

} // namespace

const QVector<CardAppLayout>& CardDictionary::efDescriptors()
{
    static const QVector<CardAppLayout>& rows = *new QVector<CardAppLayout>(buildEfDescriptors());
    return rows;
}

namespace {

// Built before main() and never destroyed: the worker threads read the table
// up to the end of the process, also while an exit() destroys static objects.
[[maybe_unused]] const bool tableBuilt = (CardDictionary::efDescriptors(), true);

} // namespace
