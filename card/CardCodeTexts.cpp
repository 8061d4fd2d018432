#include "card/CardCodeTexts.h"

namespace CardCodeTexts {

const QMap<quint8, QString>& eventFaultTypeNames()
{
    static const QMap<quint8, QString>& names = *new QMap<quint8, QString>([] {
        QMap<quint8, QString> rows;
        for (int code = 0x00; code <= 0x7F; ++code)
            rows.insert(quint8(code), QStringLiteral("Зарезервировано для будущего использования"));
        for (int code = 0x80; code <= 0xFF; ++code)
            rows.insert(quint8(code), QStringLiteral("По усмотрению изготовителя"));
        for (const quint8 code : {0x00, 0x10, 0x20, 0x30, 0x40})
            rows.insert(code, QStringLiteral("Дополнительно не уточняется"));
        rows.insert(0x01, QStringLiteral("Ввод недействительной карточки"));
        rows.insert(0x02, QStringLiteral("Несовместимость карточек"));
        rows.insert(0x03, QStringLiteral("Нестыковка времени"));
        rows.insert(0x04, QStringLiteral("Управление без соответствующей карточки"));
        rows.insert(0x05, QStringLiteral("Ввод карточки в процессе управления"));
        rows.insert(0x06, QStringLiteral("Последний сеанс использования карточки завершен неправильно"));
        rows.insert(0x07, QStringLiteral("Превышение скорости"));
        rows.insert(0x08, QStringLiteral("Прекращение электропитания"));
        rows.insert(0x09, QStringLiteral("Ошибка данных о движении"));
        rows.insert(0x11, QStringLiteral("Сбой в аутентификации датчика движения"));
        rows.insert(0x12, QStringLiteral("Сбой в аутентификации карточки тахографа"));
        rows.insert(0x13, QStringLiteral("Несанкционированная замена датчика движения"));
        rows.insert(0x14, QStringLiteral("Ошибка, указывающая на нарушение целостности при вводе данных на карточку"));
        rows.insert(0x15, QStringLiteral("Ошибка, указывающая на нарушение целостности данных пользователя, "
                                         "записанных в блоке памяти"));
        for (const quint8 code : {0x16, 0x23})
            rows.insert(code, QStringLiteral("Внутренняя ошибка при передаче данных"));
        for (const quint8 code : {0x17, 0x24})
            rows.insert(code, QStringLiteral("Несанкционированное вскрытие корпуса"));
        for (const quint8 code : {0x18, 0x25})
            rows.insert(code, QStringLiteral("Нарушение целостности аппаратного оборудования"));
        rows.insert(0x21, QStringLiteral("Сбой в аутентификации"));
        rows.insert(0x22, QStringLiteral("Ошибка, указывающая на нарушение целостности сохраненных данных"));
        rows.insert(0x31, QStringLiteral("Внутренняя неисправность бортового устройства"));
        rows.insert(0x32, QStringLiteral("Неисправность принтера"));
        rows.insert(0x33, QStringLiteral("Неисправность дисплея"));
        rows.insert(0x34, QStringLiteral("Ошибка при загрузке"));
        rows.insert(0x35, QStringLiteral("Неисправность датчика"));
        return rows;
    }());
    return names;
}

const QMap<quint8, QString>& nationNames()
{
    static const QMap<quint8, QString>& names = *new QMap<quint8, QString>([] {
        const QString named[] = {
            QStringLiteral("Информации нет"),
            QStringLiteral("Австрия"),
            QStringLiteral("Албания"),
            QStringLiteral("Андорра"),
            QStringLiteral("Армения"),
            QStringLiteral("Азербайджан"),
            QStringLiteral("Бельгия"),
            QStringLiteral("Болгария"),
            QStringLiteral("Босния и Герцеговина"),
            QStringLiteral("Беларусь"),
            QStringLiteral("Швейцария"),
            QStringLiteral("Кипр"),
            QStringLiteral("Чешская Республика"),
            QStringLiteral("Германия"),
            QStringLiteral("Дания"),
            QStringLiteral("Испания"),
            QStringLiteral("Эстония"),
            QStringLiteral("Франция"),
            QStringLiteral("Финляндия"),
            QStringLiteral("Лихтенштейн"),
            QStringLiteral("Фарерские Острова"),
            QStringLiteral("Соединенное Королевство, Олдерни, Гернси, Джерси, ОстровМэн, Гибралтар"),
            QStringLiteral("Грузия"),
            QStringLiteral("Греция"),
            QStringLiteral("Венгрия"),
            QStringLiteral("Хорватия"),
            QStringLiteral("Италия"),
            QStringLiteral("Ирландия"),
            QStringLiteral("Исландия"),
            QStringLiteral("Казахстан"),
            QStringLiteral("Люксембург"),
            QStringLiteral("Литва"),
            QStringLiteral("Латвия"),
            QStringLiteral("Мальта"),
            QStringLiteral("Монако"),
            QStringLiteral("Республика Молдова"),
            QStringLiteral("Бывшая Югославская Республика Македония"),
            QStringLiteral("Норвегия"),
            QStringLiteral("Нидерланды"),
            QStringLiteral("Португалия"),
            QStringLiteral("Польша"),
            QStringLiteral("Румыния"),
            QStringLiteral("Сан-Марино"),
            QStringLiteral("Российская Федерация"),
            QStringLiteral("Швеция"),
            QStringLiteral("Словакия"),
            QStringLiteral("Словения"),
            QStringLiteral("Туркменистан"),
            QStringLiteral("Турция"),
            QStringLiteral("Украина"),
            QStringLiteral("Ватикан"),
            QStringLiteral("Сербия"),
        };
        // Codes 0x00 to 0x33 are named in order.
        QMap<quint8, QString> rows;
        quint8 code = 0;
        for (const QString& name : named)
            rows.insert(code++, name);
        for (int reserved = code; reserved <= 0xFC; ++reserved)
            rows.insert(quint8(reserved), QStringLiteral("Зарезервировано для будущего использования"));
        rows.insert(0xFD, QStringLiteral("Европейское сообщество"));
        rows.insert(0xFE, QStringLiteral("Остальная часть Европы"));
        rows.insert(0xFF, QStringLiteral("Остальная часть мира"));
        return rows;
    }());
    return names;
}

} // namespace CardCodeTexts

namespace {

// Built before main() and never destroyed: the worker threads read the tables
// up to the end of the process, also while an exit() destroys static objects.
[[maybe_unused]] const bool tablesBuilt = (CardCodeTexts::eventFaultTypeNames(), CardCodeTexts::nationNames(), true);

} // namespace
