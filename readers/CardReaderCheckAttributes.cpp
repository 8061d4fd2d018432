// The tests of the attributes of EF 0x0520 (identification) and EF 0x0507
// (current usage), one data-check row each.

#include "readers/CardReader.h"

#include "card/CardDictionary.h"
#include "card/CardFieldLayout.h"
#include "card/CardFileIds.h"
#include "card/CardFileLayout.h"
#include "card/CardFileRecord.h"

#include <QDateTime>

namespace {

constexpr quint16 currentUsage = 0x0507;

const QString timeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");
const QString dateFormat = QStringLiteral("dd.MM.yyyy");
const QString missingAttributes = QStringLiteral("Отсутствует значение следующих арибутов: %1.");
const QString missingAttribute = QStringLiteral("Отсутствует значение арибута: %1.");

int validityYears(quint8 cardType)
{
    switch (cardType) {
    case 1:
    case 4: return 3;
    case 2: return 1;
    case 3: return 2;
    default: return 0;
    }
}

QString yearWord(quint8 cardType)
{
    switch (cardType) {
    case 1:
    case 3:
    case 4: return QStringLiteral("лет");
    case 2: return QStringLiteral("года");
    default: return QString();
    }
}

// A field the layout has but the data did not reach; a name without an
// element is not missing.
bool isMissing(const CardFileRecord &record, const QString &name)
{
    const auto it = record.fields.constFind(name);
    return it != record.fields.constEnd() && it->raw.isEmpty();
}

QStringList missingOf(const CardFileRecord &record, const QStringList &names)
{
    QStringList missing;
    for (const QString &name : names) {
        if (isMissing(record, name))
            missing << name;
    }
    return missing;
}

QDateTime timeOf(const CardFileRecord &record, const QString &name)
{
    return record.fields.value(name).value.toDateTime();
}

QDate dateOf(const CardFileRecord &record, const QString &name)
{
    return timeOf(record, name).date();
}

// Invalid dates come before every valid date and equal one another.
bool isEarlier(const QDate &a, const QDate &b)
{
    if (!a.isValid() || !b.isValid())
        return !a.isValid() && b.isValid();
    return a < b;
}

void appendSentence(QString &message, const QString &sentence)
{
    if (!message.isEmpty())
        message += QLatin1Char(' ');
    message += sentence;
}

qint64 secondsOf(const QDateTime &time)
{
    return time.isValid() ? time.toSecsSinceEpoch() : 0;
}

// One row of a validity date: the attribute must be present and lie on the
// right side of now (in the past for `mustBePast`, else not in the future).
struct DateRow
{
    QString text;
    QString message;
    quint8 failed = 0;
};

DateRow dateRow(const CardFileRecord &record, const QString &name, bool mustBePast, const QString &wrongSide)
{
    DateRow row;
    if (isMissing(record, name)) {
        row.message = missingAttribute.arg(name);
        row.failed = 1;
    }
    const QDateTime time = timeOf(record, name);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (mustBePast ? now > secondsOf(time) : now < secondsOf(time)) {
        row.message = wrongSide;
        row.failed = 1;
    }
    row.text = time.toString(timeFormat);
    return row;
}

} // namespace

void CardReader::checkIdentification()
{
    showProgress(QStringLiteral("Проверка идентификационных данных"));
    const CardFileRecord &record = *card.readData.value(CardFileId::identification);
    QStringList names;
    quint8 index = 0;
    quint16 key = 0;
    if (findFileEntry(CardFileId::identification, index, key)) {
        for (const CardFieldLayout &field : CardDictionary::fileLayout(index, key).fields)
            names << field.name;
    }
    const QStringList missing = missingOf(record, names);
    addDataCheckRow(QStringLiteral("Проверка наличия данных, идентифицирующих карту тахографа"),
                    QStringLiteral("Не применимо"),
                    missing.isEmpty() ? QStringLiteral("Заданы значения всех атрибутов")
                                      : QStringLiteral("Не заданы значения атрибутов: %1.").arg(missing.join("; ")),
                    missing.isEmpty() ? 0 : 1);
}

void CardReader::checkIssueDates()
{
    showProgress(QStringLiteral("Проверка дат выпуска"));
    const CardFileRecord &record = *card.readData.value(CardFileId::identification);
    const QStringList missing =
        missingOf(record, {QStringLiteral("cardIssueDate"), QStringLiteral("cardValidityBegin"),
                           QStringLiteral("cardExpiryDate")});
    QString message = missing.isEmpty() ? QString() : missingAttributes.arg(missing.join("; "));
    quint8 failed = 0;
    const QDate issue = dateOf(record, QStringLiteral("cardIssueDate"));
    const QDate begin = dateOf(record, QStringLiteral("cardValidityBegin"));
    const QDate expiry = dateOf(record, QStringLiteral("cardExpiryDate"));
    if (isEarlier(begin, issue)) {
        appendSentence(message, QStringLiteral("Дата выпуска карты тахографа больше даты начала действия карты."));
        failed = 1;
    }
    if (isEarlier(expiry, begin)) {
        appendSentence(message, QStringLiteral("Дата окончания действия меньше даты начала действия карты тахографа."));
        failed = 1;
    }
    addDataCheckRow(QStringLiteral("Сравнение дат выпуска, начала и окончания действия карты тыхографа"),
                    QStringLiteral("%1 / %2 / %3")
                        .arg(issue.toString(dateFormat), begin.toString(dateFormat), expiry.toString(dateFormat)),
                    message, failed);
}

void CardReader::checkValidityPeriod()
{
    showProgress(QStringLiteral("Проверка срока действия"));
    const CardFileRecord &record = *card.readData.value(CardFileId::identification);
    const QStringList missing =
        missingOf(record, {QStringLiteral("cardValidityBegin"), QStringLiteral("cardExpiryDate")});
    QString message = missing.isEmpty() ? QString() : missingAttributes.arg(missing.join("; "));
    quint8 failed = 0;
    const QDate begin = dateOf(record, QStringLiteral("cardValidityBegin"));
    const QDate expiry = dateOf(record, QStringLiteral("cardExpiryDate"));
    const int years = validityYears(card.cardType);
    if (expiry.year() - begin.year() != years || expiry.month() != begin.month() || expiry.day() != begin.day()) {
        appendSentence(message,
                       QStringLiteral("Срок действия карты отличается от %1 %2")
                           .arg(years)
                           .arg(yearWord(card.cardType)));
        failed = 1;
    }
    addDataCheckRow(QStringLiteral("Контроль установленных сроков действия карты"),
                    QStringLiteral("%1 / %2").arg(begin.toString(dateFormat), expiry.toString(dateFormat)), message,
                    failed);
}

void CardReader::checkValidityBegin()
{
    showProgress(QStringLiteral("Проверка начала действия"));
    const DateRow row = dateRow(*card.readData.value(CardFileId::identification), QStringLiteral("cardValidityBegin"),
                                false, QStringLiteral("Срок действия карты еще не наступил."));
    addDataCheckRow(QStringLiteral("Контроль срока начала действия карты"), row.text, row.message, row.failed);
}

void CardReader::checkExpiry()
{
    showProgress(QStringLiteral("Проверка окончания действия"));
    const DateRow row = dateRow(*card.readData.value(CardFileId::identification), QStringLiteral("cardExpiryDate"),
                                true, QStringLiteral("Срок действия карты истек."));
    addDataCheckRow(QStringLiteral("Контроль срока окончания действия карты"), row.text, row.message, row.failed);
}

void CardReader::checkBirthDate()
{
    showProgress(QStringLiteral("Проверка даты рождения"));
    const CardFileRecord &record = *card.readData.value(CardFileId::identification);
    const QString name = QStringLiteral("cardHolderBirthDate");
    QString message;
    quint8 failed = 0;
    if (isMissing(record, name)) {
        message = missingAttribute.arg(name);
        failed = 1;
    }
    const QString text = record.fields.value(name).value.toDate().toString(dateFormat);
    if (text.isEmpty()) {
        message = QStringLiteral("Не корректная дата рождения.");
        failed = 1;
    }
    addDataCheckRow(QStringLiteral("Контроль даты рождения"), text, message, failed);
}

void CardReader::checkSessionClosure()
{
    showProgress(QStringLiteral("Проверка корректности завершения сеанса"));
    const CardFileRecord &record = *card.readData.value(currentUsage);
    const QString control = QStringLiteral("Контроль корректности закрытия сеанса");
    const QStringList names{QStringLiteral("sessionOpenTime"), QStringLiteral("vehicleRegistrationNation"),
                            QStringLiteral("vehicleRegistrationNumber")};
    const QStringList missing = missingOf(record, names);
    if (!missing.isEmpty()) {
        addDataCheckRow(control, QString(),
                        QStringLiteral("Проверка не может быть выполненна. Не были загружены значения следующих "
                                       "арибутов: %1.")
                            .arg(missing.join("; ")),
                        1);
        return;
    }
    if (record.isFieldBlank(names.at(0)) && record.isFieldBlank(names.at(1)) && record.isFieldBlank(names.at(2))) {
        addDataCheckRow(control, QStringLiteral("Данные отсутствуют"), QString(), 0);
        return;
    }
    addDataCheckRow(control,
                    QStringLiteral("%1 / %2 / %3")
                        .arg(timeOf(record, names.at(0)).toString(timeFormat),
                             record.fields.value(names.at(2)).value.toString(),
                             record.fields.value(names.at(1)).value.toString()),
                    QStringLiteral("Некорректно закрытый сеанс работы с картой."), 1);
}
