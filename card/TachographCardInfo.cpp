// Card facts for display, formed from the decoded files.

#include "card/CardCodeTexts.h"
#include "card/CardDataElement.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "card/TachographCard.h"

#include <QDate>

namespace {

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
    return text(readData, CardFileId::identification, "cardNumber");
}

QString TachographCard::skziNumber() const
{
    // Only kinds 0 and 1 can carry a crypto module.
    if (cardKind > 1)
        return notApplicable;
    return text(readData, CardFileId::icc, "SKZINumber");
}

QString TachographCard::cardIssuingMemberState() const
{
    return nation(readData, CardFileId::identification, "cardIssuingMemberState");
}

QString TachographCard::cardIssuingAuthorityName() const
{
    return text(readData, CardFileId::identification, "cardIssuingAuthorityName");
}

QString TachographCard::cardIssueDate() const
{
    return date(readData, CardFileId::identification, "cardIssueDate");
}

QString TachographCard::cardValidityBegin() const
{
    return date(readData, CardFileId::identification, "cardValidityBegin");
}

QString TachographCard::cardExpiryDate() const
{
    return date(readData, CardFileId::identification, "cardExpiryDate");
}

QString TachographCard::organisationName() const
{
    switch (cardType) {
    case 2: return text(readData, CardFileId::identification, "workshopName");
    case 3: return text(readData, CardFileId::identification, "controlBodyName");
    case 4: return text(readData, CardFileId::identification, "companyName");
    default: return QString();
    }
}

QString TachographCard::holderName() const
{
    const CardDataElement *surname = findField(readData, CardFileId::identification, "holderSurname");
    const CardDataElement *firstNames = findField(readData, CardFileId::identification, "holderFirstNames");
    if (!surname && !firstNames)
        return QString();
    return QStringLiteral("%1 %2").arg(surname ? surname->value.toString() : QString(),
                                       firstNames ? firstNames->value.toString() : QString());
}

QString TachographCard::cardHolderBirthDate() const
{
    return dateOrInvalid(readData, CardFileId::identification, "cardHolderBirthDate");
}

QString TachographCard::cardHolderPreferredLanguage() const
{
    return text(readData, CardFileId::identification, "cardHolderPreferredLanguage");
}

QString TachographCard::clockStop() const
{
    return text(readData, CardFileId::icc, "clockStop");
}

QString TachographCard::cardExtendedSerialNumber() const
{
    return text(readData, CardFileId::icc, "cardExtendedSerialNumber");
}

QString TachographCard::cardApprovalNumber() const
{
    return text(readData, CardFileId::icc, "cardApprovalNumber");
}

QString TachographCard::cardPersonaliserID() const
{
    return text(readData, CardFileId::icc, "cardPersonaliserID");
}

QString TachographCard::embedderIcAssemblerId() const
{
    return text(readData, CardFileId::icc, "embedderIcAssemblerId");
}

QString TachographCard::icIdentifier() const
{
    return text(readData, CardFileId::icc, "icIdentifier");
}

QString TachographCard::icSerialNumber() const
{
    return text(readData, CardFileId::ic, "icSerialNumber");
}

QString TachographCard::icManufacturingReferences() const
{
    return text(readData, CardFileId::ic, "icManufacturingReferences");
}

QString TachographCard::cardStructureVersion() const
{
    return text(readData, CardFileId::applicationIdentification, "cardStructureVersion");
}

QString TachographCard::noOfEventsPerType() const
{
    return text(readData, CardFileId::applicationIdentification, "noOfEventsPerType");
}

QString TachographCard::noOfFaultsPerType() const
{
    return text(readData, CardFileId::applicationIdentification, "noOfFaultsPerType");
}

QString TachographCard::activityStructureLength() const
{
    return text(readData, CardFileId::applicationIdentification, "activityStructureLength");
}

QString TachographCard::noOfCardVehicleRecords() const
{
    return text(readData, CardFileId::applicationIdentification, "noOfCardVehicleRecords");
}

QString TachographCard::noOfCardPlaceRecords() const
{
    return text(readData, CardFileId::applicationIdentification, "noOfCardPlaceRecords");
}

QString TachographCard::noOfCalibrationRecords() const
{
    return text(readData, CardFileId::applicationIdentification, "noOfCalibrationRecords");
}

QString TachographCard::noOfControlActivityRecords() const
{
    return text(readData, CardFileId::applicationIdentification, "noOfControlActivityRecords");
}

QString TachographCard::lastCardDownload() const
{
    return dateOrInvalid(readData, CardFileId::lastCardDownload, "LastCardDownload");
}

QString TachographCard::noOfCalibrationsSinceDownload() const
{
    return text(readData, CardFileId::calibrationsSinceDownload, "NoOfCalibrationsSinceDownload");
}

QString TachographCard::drivingLicenceIssuingAuthority() const
{
    return text(readData, CardFileId::drivingLicence, "drivingLicenceIssuingAuthority");
}

QString TachographCard::drivingLicenceIssuingNation() const
{
    return nation(readData, CardFileId::drivingLicence, "drivingLicenceIssuingNation");
}

QString TachographCard::drivingLicenceNumber() const
{
    return text(readData, CardFileId::drivingLicence, "drivingLicenceNumber");
}
