#include "CardTable.h"

#include <QRegularExpression>
#include <QVector>

namespace {

struct Card {
    QString number;
    QString module;
    QString puk;
    QString error;
    QString source;
};

const QVector<Card>& cards()
{
    static const QVector<Card> table{
        {QStringLiteral("RUD12345678901AB"), QStringLiteral("123-45678"), QStringLiteral("57319024"),
         QStringLiteral("None"), QStringLiteral("База изготовителя")},
        {QStringLiteral("RUM123456789ABCD"), QStringLiteral("456а-1234567"), QStringLiteral("87654321"),
         QStringLiteral("None"), QString()},
        {QStringLiteral("RUKGAI1234567XYZ"), QStringLiteral("789A-00001"), QStringLiteral("None"),
         QStringLiteral("PUK карты не найден"), QStringLiteral("Архив")},
        // The virtual card's "driver-rfskzi" profile with its default PUK; its
        // module number is outside the reply grammar, so another one is kept.
        {QStringLiteral("RUD0000012345600"), QStringLiteral("235-01000"), QStringLiteral("12345678"),
         QStringLiteral("None"), QStringLiteral("База изготовителя")},
    };
    return table;
}

QString errorReply(const QString& text)
{
    return QStringLiteral("ERROR('%1')").arg(text);
}

// Words with blanks between them, so that a view can wrap the text.
QString wordsOfLength(int length)
{
    const QString word = QStringLiteral("запрос ");
    QString text;
    text.reserve(length + word.size());
    while (text.size() < length)
        text += word;
    text.truncate(length);
    return text;
}

} // namespace

QString CardTable::counter()
{
    return QStringLiteral("42");
}

QString CardTable::statusRows(int count, int firstFieldLength)
{
    const QString rows[] = {
        QStringLiteral("'ivanov@example.ru','RUD12345678901AB','Сервер','01.06.2021 10:15:00','Выполнен'\r\n"),
        QStringLiteral("'ivanov@example.ru','RUM123456789ABCD','Архив','02.06.2021 11:20:30','Отклонён'\r\n"),
    };
    QString status;
    status.reserve(count * rows[0].size());
    for (int i = 0; i < count; ++i)
        status += rows[i % 2];
    if (firstFieldLength > 0 && count > 0)
        status.replace(1, status.indexOf(QStringLiteral("','")) - 1, wordsOfLength(firstFieldLength));
    return status;
}

QString CardTable::answer(const QString& request, int statusRows, int firstFieldLength)
{
    static const QRegularExpression findPuk(QStringLiteral(R"(^findPUK\('([^']*)','([^']*)'\)$)"));
    if (request == QLatin1String("getStatus()"))
        return QStringLiteral("<%1/><%2/>").arg(counter(), CardTable::statusRows(statusRows, firstFieldLength));

    const QRegularExpressionMatch match = findPuk.match(request);
    if (!match.hasMatch())
        return errorReply(QStringLiteral("Неизвестная команда"));
    for (const Card& card : cards()) {
        if (card.number == match.captured(1) || card.module == match.captured(2)) {
            return QStringLiteral("<%1/><%2/><%3/><%4/><%5/><%6/>")
                .arg(card.number, card.module, card.puk, card.error, card.source, counter());
        }
    }
    return errorReply(QStringLiteral("Карта не найдена"));
}
