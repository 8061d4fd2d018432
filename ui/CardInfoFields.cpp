#include "ui/CardInfoFields.h"

#include <QPair>

namespace {

using Field = QPair<QString, QString>;

// Key and caption, in display order.
const QVector<Field>& fields()
{
    static const QVector<Field> table{
        {QStringLiteral("CardKind"), QStringLiteral("Вид карты")},
        {QStringLiteral("CardType"), QStringLiteral("Тип карты")},
        {QStringLiteral("cardIssuingMemberState"), QStringLiteral("Страна выдачи")},
        {QStringLiteral("cardNumber"), QStringLiteral("Номер карты")},
        {QStringLiteral("SKZINumber"), QStringLiteral("Номер СКЗИ")},
        {QStringLiteral("cardIssuingAuthorityName"), QStringLiteral("ОВК")},
        {QStringLiteral("cardIssueDate"), QStringLiteral("Дата выпуска")},
        {QStringLiteral("cardValidityBegin"), QStringLiteral("Начало действия")},
        {QStringLiteral("cardExpiryDate"), QStringLiteral("Окончание действия")},
        {QStringLiteral("workshopName"), QStringLiteral("Мастерская")},
        {QStringLiteral("controlBodyName"), QStringLiteral("Контрольно-надзорный орган")},
        {QStringLiteral("companyName"), QStringLiteral("Предприятие")},
        {QStringLiteral("CardHolder"), QStringLiteral("Владелец")},
        {QStringLiteral("cardHolderBirthDate"), QStringLiteral("Дата рождения владельца")},
        {QStringLiteral("cardHolderPreferredLanguage"), QStringLiteral("Предпочитаемый язык")},
        {QStringLiteral("drivingLicenceIssuingAuthority"), QStringLiteral("ВУ выдал")},
        {QStringLiteral("drivingLicenceIssuingNation"), QStringLiteral("Страна выдавшая ВУ")},
        {QStringLiteral("drivingLicenceNumber"), QStringLiteral("Номер ВУ")},
        {QStringLiteral("LastCardDownload"), QStringLiteral("Дата последней выгрузки")},
        {QStringLiteral("NoOfCalibrationsSinceDownload"), QStringLiteral("Кол-во калибровок с последней выгрузки")},
        {QStringLiteral("clockStop"), QStringLiteral("Режим остановки часов")},
        {QStringLiteral("cardExtendedSerialNumber"), QStringLiteral("Расширенный номер карты")},
        {QStringLiteral("cardApprovalNumber"), QStringLiteral("Утверждение типа")},
        {QStringLiteral("cardPersonaliserID"), QStringLiteral("Персонализировал")},
        {QStringLiteral("embedderIcAssemblerId"), QStringLiteral("Имплантировал чип")},
        {QStringLiteral("icIdentifier"), QStringLiteral("Идентификатор ИС")},
        {QStringLiteral("icSerialNumber"), QStringLiteral("Серийный номер ИС")},
        {QStringLiteral("icManufacturingReferences"), QStringLiteral("Идентификатор производителя ИС")},
        {QStringLiteral("cardStructureVersion"), QStringLiteral("Версия структуры")},
        {QStringLiteral("noOfEventsPerType"), QStringLiteral("Кол-во событий на тип")},
        {QStringLiteral("noOfFaultsPerType"), QStringLiteral("Кол-во неисправностей на тип")},
        {QStringLiteral("activityStructureLength"), QStringLiteral("Длина блока активности")},
        {QStringLiteral("noOfCardVehicleRecords"), QStringLiteral("Кол-во записей о ТС")},
        {QStringLiteral("noOfCardPlaceRecords"), QStringLiteral("Кол-во записей о территориях")},
        {QStringLiteral("noOfCalibrationRecords"), QStringLiteral("Кол-во записей о калибровках")},
        {QStringLiteral("noOfControlActivityRecords"), QStringLiteral("Кол-во записей о контроле")},
        {QStringLiteral("CardATR"), QStringLiteral("ATR")},
    };
    return table;
}

} // namespace

const QMap<QString, QString>& fieldCaptions()
{
    static const QMap<QString, QString> captions = [] {
        QMap<QString, QString> map;
        for (const Field& field : fields())
            map.insert(field.first, field.second);
        return map;
    }();
    return captions;
}

const QVector<QString>& cardInfoFieldOrder()
{
    static const QVector<QString> order = [] {
        QVector<QString> keys;
        for (const Field& field : fields())
            keys << field.first;
        return keys;
    }();
    return order;
}
