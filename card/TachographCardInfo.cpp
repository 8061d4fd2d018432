// Card facts for display, formed from the decoded files.

#include "card/CardCodeTexts.h"
#include "card/CardDataElement.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "card/TachographCard.h"

#include <QDate>

namespace {

constexpr quint16 efIcc = 0x0002;
constexpr quint16 efIc = 0x0005;
constexpr quint16 efApplicationIdentification = 0x0501;
constexpr quint16 efIdentification = 0x0520;
constexpr quint16 efCardDownload = 0x050E;
constexpr quint16 efWorkshopDownload = 0x0509;
constexpr quint16 efDrivingLicence = 0x0521;

const QString notApplicable = QStringLiteral("Неприменимо");
const QString invalidDate = QStringLiteral("Некорректная дата");

const CardDataElement *findField(const QMap<quint16, CardFileRecord *> &files, quint16 fid, const char *name)
{
    const CardFileRecord *record = files.value(fid);
    if (!record)
        return nullptr;
    const auto it = record->fields.constFind(QLatin1String(name));
    return it == record->fields.constEnd() ? nullptr : &it.value();
}

QString text(const QMap<quint16, CardFileRecord *> &files, quint16 fid, const char *name)
{
    const CardDataElement *element = findField(files, fid, name);
    return element ? element->value.toString() : QString();
}

// A date-time keeps its own time zone, so UTC fields give their UTC date.
QString date(const QMap<quint16, CardFileRecord *> &files, quint16 fid, const char *name)
{
    const CardDataElement *element = findField(files, fid, name);
    return element ? element->value.toDate().toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

QString dateOrInvalid(const QMap<quint16, CardFileRecord *> &files, quint16 fid, const char *name)
{
    if (!findField(files, fid, name))
        return QString();
    const QString formatted = date(files, fid, name);
    return formatted.isEmpty() ? invalidDate : formatted;
}

QString nation(const QMap<quint16, CardFileRecord *> &files, quint16 fid, const char *name)
{
    const CardDataElement *element = findField(files, fid, name);
    if (!element)
        return QString();
    return CardCodeTexts::nationNames().value(quint8(element->value.toUInt() & 0xFF));
}

} // namespace

QString TachographCard::cardKindName() const
{
    return CardDictionary::cardKindNames().value(cardKind);
}

QString TachographCard::cardTypeName() const
{
    return CardDictionary::cardTypeNames().value(cardType);
}

QString TachographCard::cardNumber() const
{
    return text(readData, efIdentification, "cardNumber");
}

QString TachographCard::skziNumber() const
{
    // Only kinds 0 and 1 can carry a crypto module.
    if (cardKind > 1)
        return notApplicable;
    return text(readData, efIcc, "SKZINumber");
}

QString TachographCard::cardIssuingMemberState() const
{
    return nation(readData, efIdentification, "cardIssuingMemberState");
}

QString TachographCard::cardIssuingAuthorityName() const
{
    return text(readData, efIdentification, "cardIssuingAuthorityName");
}

QString TachographCard::cardIssueDate() const
{
    return date(readData, efIdentification, "cardIssueDate");
}

QString TachographCard::cardValidityBegin() const
{
    return date(readData, efIdentification, "cardValidityBegin");
}

QString TachographCard::cardExpiryDate() const
{
    return date(readData, efIdentification, "cardExpiryDate");
}

QString TachographCard::organisationName() const
{
    switch (cardType) {
    case 2: return text(readData, efIdentification, "workshopName");
    case 3: return text(readData, efIdentification, "controlBodyName");
    case 4: return text(readData, efIdentification, "companyName");
    default: return QString();
    }
}

QString TachographCard::holderName() const
{
    const CardDataElement *surname = findField(readData, efIdentification, "holderSurname");
    const CardDataElement *firstNames = findField(readData, efIdentification, "holderFirstNames");
    if (!surname && !firstNames)
        return QString();
    return QStringLiteral("%1 %2").arg(surname ? surname->value.toString() : QString(),
                                       firstNames ? firstNames->value.toString() : QString());
}

QString TachographCard::cardHolderBirthDate() const
{
    return dateOrInvalid(readData, efIdentification, "cardHolderBirthDate");
}

QString TachographCard::cardHolderPreferredLanguage() const
{
    return text(readData, efIdentification, "cardHolderPreferredLanguage");
}

QString TachographCard::clockStop() const
{
    return text(readData, efIcc, "clockStop");
}

QString TachographCard::cardExtendedSerialNumber() const
{
    return text(readData, efIcc, "cardExtendedSerialNumber");
}

QString TachographCard::cardApprovalNumber() const
{
    return text(readData, efIcc, "cardApprovalNumber");
}

QString TachographCard::cardPersonaliserID() const
{
    return text(readData, efIcc, "cardPersonaliserID");
}

QString TachographCard::embedderIcAssemblerId() const
{
    return text(readData, efIcc, "embedderIcAssemblerId");
}

QString TachographCard::icIdentifier() const
{
    return text(readData, efIcc, "icIdentifier");
}

QString TachographCard::icSerialNumber() const
{
    return text(readData, efIc, "icSerialNumber");
}

QString TachographCard::icManufacturingReferences() const
{
    return text(readData, efIc, "icManufacturingReferences");
}

QString TachographCard::cardStructureVersion() const
{
    return text(readData, efApplicationIdentification, "cardStructureVersion");
}

QString TachographCard::noOfEventsPerType() const
{
    return text(readData, efApplicationIdentification, "noOfEventsPerType");
}

QString TachographCard::noOfFaultsPerType() const
{
    return text(readData, efApplicationIdentification, "noOfFaultsPerType");
}

QString TachographCard::activityStructureLength() const
{
    return text(readData, efApplicationIdentification, "activityStructureLength");
}

QString TachographCard::noOfCardVehicleRecords() const
{
    return text(readData, efApplicationIdentification, "noOfCardVehicleRecords");
}

QString TachographCard::noOfCardPlaceRecords() const
{
    return text(readData, efApplicationIdentification, "noOfCardPlaceRecords");
}

QString TachographCard::noOfCalibrationRecords() const
{
    return text(readData, efApplicationIdentification, "noOfCalibrationRecords");
}

QString TachographCard::noOfControlActivityRecords() const
{
    return text(readData, efApplicationIdentification, "noOfControlActivityRecords");
}

QString TachographCard::lastCardDownload() const
{
    return dateOrInvalid(readData, efCardDownload, "LastCardDownload");
}

QString TachographCard::noOfCalibrationsSinceDownload() const
{
    return text(readData, efWorkshopDownload, "NoOfCalibrationsSinceDownload");
}

QString TachographCard::drivingLicenceIssuingAuthority() const
{
    return text(readData, efDrivingLicence, "drivingLicenceIssuingAuthority");
}

QString TachographCard::drivingLicenceIssuingNation() const
{
    return nation(readData, efDrivingLicence, "drivingLicenceIssuingNation");
}

QString TachographCard::drivingLicenceNumber() const
{
    return text(readData, efDrivingLicence, "drivingLicenceNumber");
}
