#include "tools/vcard/CardProfiles.h"

#include "tools/vcard/CardImage.h"
#include "tools/vcard/ProfileBuilder.h"
#include "tools/vcard/ProfileDescription.h"

#include <QDate>
#include <QVector>

namespace CardProfiles {

namespace {

ProfileDescription card(const char *name, quint8 kind, quint8 type, const char *number, const char *authority)
{
    ProfileDescription d;
    d.name = name;
    d.kind = kind;
    d.type = type;
    d.cardNumber = number;
    d.authority = authority;
    return d;
}

ProfileDescription driver(ProfileDescription d, const char *surname, const char *firstNames, const char *birth)
{
    d.holderSurname = surname;
    d.holderFirstNames = firstNames;
    d.birthDate = birth;
    return d;
}

ProfileDescription organisation(ProfileDescription d, const char *name, const char *address,
                                const char *surname = nullptr, const char *firstNames = nullptr)
{
    d.organisation = name;
    d.address = address;
    d.holderSurname = surname;
    d.holderFirstNames = firstNames;
    return d;
}

ProfileDescription withModule(ProfileDescription d, const char *moduleNumber)
{
    d.moduleNumber = moduleNumber;
    return d;
}

ProfileDescription withOpenSession(ProfileDescription d)
{
    d.sessionOpen = true;
    return d;
}

ProfileDescription flawed(ProfileDescription d, const char *name, ProfileFlaw flaw)
{
    d.name = name;
    d.flaw = flaw;
    return d;
}

ProfileDescription fullSize(ProfileDescription d)
{
    d.fullSize = true;
    return d;
}

// Kind 3 cards carry '1' as fourth character of the number and the national
// authority name; kind 2 cards either another fourth character or another
// authority. One kind-3 card writes the name in mixed case with blanks.
const QVector<ProfileDescription> &profiles()
{
    static const char *rosavto = "ФБУ Росавтотранс";
    static const QVector<ProfileDescription> all{
        withModule(driver(card("driver-rfskzi", 1, 1, "RUD0000012345600", rosavto),
                          "Соколов", "Андрей Павлович", "19780415"), "A23501000123456"),
        withModule(organisation(card("workshop-rfskzi", 1, 2, "RUW0000000456700", rosavto),
                                "ООО Тахосервис", "г. Тверь, ул. Заводская, 7", "Кузнецов", "Олег Игоревич"),
                   "A23501000234567"),
        withModule(organisation(card("control-rfskzi", 1, 3, "RUC0000000007800", rosavto),
                                "МТУ Ространснадзора", "г. Москва, ул. Тверская, 1", "Орлова", "Мария"),
                   "A23501000345678"),
        withModule(organisation(card("company-rfskzi", 1, 4, "RUE0000000099900", rosavto),
                                "ООО Грузовые линии", "г. Казань, пр. Победы, 40"), "A23501000456789"),
        driver(card("driver-estr", 2, 1, "RUD0000001100200", rosavto), "Петров", "Иван Сергеевич", "19850321"),
        organisation(card("workshop-estr", 2, 2, "RUW1000000020100", rosavto),
                     "Autoservice Ångström & Söhne", "Bahnhofstraße 12, Zürich", "Groß", "Jürgen"),
        organisation(card("control-estr", 2, 3, "RUC0000000300100", rosavto),
                     "Контрольный пост №4", "Ленинградская обл., трасса М-10", "Смирнов", "Павел"),
        organisation(card("company-estr", 2, 4, "RUE0000004000100", rosavto),
                     "Spedition Größer & Sørensen", "Hauptstraße 5, Graz"),
        withOpenSession(driver(card("driver-rf", 3, 1, "RUD1000000123400", "RUSAUTOCARD"),
                               "Émile", "Noël François", "19900101")),
        organisation(card("workshop-rf", 3, 2, "RUW1000000234500", "RUSAUTOCARD"),
                     "АО Тахограф-Центр", "г. Самара, ул. Садовая, 3", "Волков", "Дмитрий"),
        organisation(card("control-rf", 3, 3, "RUC1000000345600", " RusAutoCard "),
                     "УГАДН по Свердловской обл.", "г. Екатеринбург, ул. Луначарского, 9", "Лебедев", "Игорь"),
        organisation(card("company-rf", 3, 4, "RUE1000000456700", "RUSAUTOCARD"),
                     "ООО Северный путь", "г. Мурманск, ул. Портовая, 2"),
        driver(card("driver-unknown", 0, 1, "RUD0000007700100", rosavto), "Зайцев", "Пётр", "19880808"),
        fullSize(driver(card("driver-estr-full", 2, 1, "RUD0000009999900", rosavto),
                        "Максимов", "Константин Юрьевич", "19700228")),
    };
    return all;
}

// Cards whose data the host's diagnosis must find fault with, each built
// like a sound card of the same kind and type with one flaw.
const QVector<ProfileDescription> &flawedProfiles()
{
    static const char *rosavto = "ФБУ Росавтотранс";
    const ProfileDescription driverCard =
        driver(card("", 2, 1, "RUD0000005500100", rosavto), "Васильев", "Пётр Ильич", "19820714");
    const ProfileDescription workshopCard = organisation(card("", 2, 2, "RUW0000005500200", rosavto),
                                                         "ООО Калибровка", "г. Пермь, ул. Ленина, 5", "Зайцев", "Ян");
    const ProfileDescription controlCard = organisation(card("", 2, 3, "RUC0000005500300", rosavto),
                                                        "Пост №9", "г. Псков, ул. Мира, 1", "Белов", "Юрий");
    const ProfileDescription companyCard =
        organisation(card("", 2, 4, "RUE0000005500400", rosavto), "ООО Рейс", "г. Омск, ул. Лесная, 8");
    static const QVector<ProfileDescription> all{
        flawed(driverCard, "driver-issued-late", ProfileFlaw::IssuedAfterValidityBegin),
        flawed(driverCard, "driver-issued-on-begin", ProfileFlaw::IssuedOnValidityBegin),
        flawed(driverCard, "driver-validity-short", ProfileFlaw::ValidityOneDayShort),
        flawed(driverCard, "driver-validity-long", ProfileFlaw::ValidityOneDayLong),
        flawed(workshopCard, "workshop-validity-long", ProfileFlaw::ValidityOneYearLong),
        flawed(driverCard, "driver-not-yet-valid", ProfileFlaw::NotYetValid),
        flawed(driverCard, "driver-expired", ProfileFlaw::Expired),
        flawed(driverCard, "driver-bad-birth-date", ProfileFlaw::InvalidBirthDate),
        flawed(driverCard, "driver-blank-usage", ProfileFlaw::BlankUsageData),
        flawed(workshopCard, "workshop-blank-usage", ProfileFlaw::BlankUsageData),
        flawed(controlCard, "control-blank-usage", ProfileFlaw::BlankUsageData),
        flawed(companyCard, "company-blank-usage", ProfileFlaw::BlankUsageData),
        flawed(driverCard, "driver-short-identification", ProfileFlaw::TruncatedIdentification),
        flawed(driverCard, "driver-no-current-usage", ProfileFlaw::NoCurrentUsage),
        flawed(driverCard, "driver-no-places", ProfileFlaw::NoPlaces),
        flawed(driverCard, "driver-attention-records", ProfileFlaw::AttentionRecords),
        flawed(driverCard, "driver-no-records", ProfileFlaw::NoEventRecordsNoFaults),
    };
    return all;
}

} // namespace

QStringList names()
{
    QStringList out;
    for (const ProfileDescription &d : profiles())
        out << QString::fromLatin1(d.name);
    return out;
}

QStringList flawedNames()
{
    QStringList out;
    for (const ProfileDescription &d : flawedProfiles())
        out << QString::fromLatin1(d.name);
    return out;
}

const ProfileDescription *find(const QString &name)
{
    for (const QVector<ProfileDescription> *list : {&profiles(), &flawedProfiles()}) {
        for (const ProfileDescription &d : *list) {
            if (name == QLatin1String(d.name))
                return &d;
        }
    }
    return nullptr;
}

bool build(const QString &name, const QDate &today, CardImage *card)
{
    const ProfileDescription *description = find(name);
    if (!description)
        return false;
    const Credential pin = card->pin();
    const Credential puk = card->puk();
    *card = ProfileBuilder(*description, today).build();
    applyProfileFlaw(description->flaw, today, card);
    card->pin() = pin;
    card->puk() = puk;
    return true;
}

} // namespace CardProfiles
