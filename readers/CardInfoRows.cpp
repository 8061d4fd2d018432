#include "readers/CardInfoRows.h"

#include "card/TachographCard.h"

namespace {

const QString neverDownloaded = QStringLiteral("Карта не выгружалась");
const QString epochDate = QStringLiteral("01.01.1970");

using Accessor = QString (TachographCard::*)() const;

struct Field
{
    const char *key;
    Accessor value;
};

void insert(QMap<QString, QString> &rows, const TachographCard &card, std::initializer_list<Field> fields)
{
    for (const Field &field : fields)
        rows.insert(QLatin1String(field.key), (card.*field.value)());
}

} // namespace

QMap<QString, QString> cardInfoRows(const TachographCard &card)
{
    using C = TachographCard;
    QMap<QString, QString> rows;
    insert(rows, card,
           {{"CardKind", &C::cardKindName}, {"CardType", &C::cardTypeName}, {"cardNumber", &C::cardNumber},
            {"SKZINumber", &C::skziNumber}, {"CardATR", &C::atrHex},
            {"cardIssuingMemberState", &C::cardIssuingMemberState},
            {"cardIssuingAuthorityName", &C::cardIssuingAuthorityName}, {"cardIssueDate", &C::cardIssueDate},
            {"cardValidityBegin", &C::cardValidityBegin}, {"cardExpiryDate", &C::cardExpiryDate}});

    const quint8 type = card.cardType;
    switch (type) {
    case 1: {
        const QString download = card.lastCardDownload();
        rows.insert(QStringLiteral("LastCardDownload"), download == epochDate ? neverDownloaded : download);
        insert(rows, card,
               {{"drivingLicenceIssuingAuthority", &C::drivingLicenceIssuingAuthority},
                {"drivingLicenceIssuingNation", &C::drivingLicenceIssuingNation},
                {"drivingLicenceNumber", &C::drivingLicenceNumber},
                {"cardHolderBirthDate", &C::cardHolderBirthDate}});
        break;
    }
    case 2:
        insert(rows, card,
               {{"workshopName", &C::organisationName}, {"noOfCalibrationRecords", &C::noOfCalibrationRecords},
                {"NoOfCalibrationsSinceDownload", &C::noOfCalibrationsSinceDownload}});
        break;
    case 3: insert(rows, card, {{"controlBodyName", &C::organisationName}}); break;
    case 4: insert(rows, card, {{"companyName", &C::organisationName}}); break;
    default: break;
    }

    insert(rows, card,
           {{"CardHolder", &C::holderName}, {"cardHolderPreferredLanguage", &C::cardHolderPreferredLanguage}});
    if (card.cardKind > 1) {
        insert(rows, card,
               {{"clockStop", &C::clockStop}, {"cardExtendedSerialNumber", &C::cardExtendedSerialNumber},
                {"cardApprovalNumber", &C::cardApprovalNumber}, {"cardPersonaliserID", &C::cardPersonaliserID},
                {"embedderIcAssemblerId", &C::embedderIcAssemblerId}, {"icIdentifier", &C::icIdentifier},
                {"icSerialNumber", &C::icSerialNumber},
                {"icManufacturingReferences", &C::icManufacturingReferences}});
    }
    if (type < 3) {
        insert(rows, card,
               {{"cardStructureVersion", &C::cardStructureVersion}, {"noOfEventsPerType", &C::noOfEventsPerType},
                {"noOfFaultsPerType", &C::noOfFaultsPerType},
                {"activityStructureLength", &C::activityStructureLength},
                {"noOfCardVehicleRecords", &C::noOfCardVehicleRecords},
                {"noOfCardPlaceRecords", &C::noOfCardPlaceRecords}});
    } else {
        insert(rows, card, {{"noOfControlActivityRecords", &C::noOfControlActivityRecords}});
    }
    return rows;
}
