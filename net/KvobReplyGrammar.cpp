// The grammars of the unblock server's reply bodies, read by hand in one pass:
// a pattern engine backtracks over the rows of a long status and gives up on
// a valid reply. Each function accepts exactly the bodies its pattern
// describes, and nothing may follow the last element.

#include "net/KvobProtocol.h"

namespace {

// Digits and capitals are ASCII only, as in the patterns.
bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isDigitOrCapital(QChar c)
{
    return isDigit(c) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// Reads a body from its start; each step moves on only when it matches.
class Cursor
{
public:
    explicit Cursor(const QString& text)
        : text(text)
    {
    }

    bool literal(QLatin1String expected)
    {
        if (!text.midRef(at, expected.size()).startsWith(expected))
            return false;
        at += expected.size();
        return true;
    }

    // The run of digits here, at most `max` long counted.
    int digitRun(int max) const
    {
        int length = 0;
        while (length <= max && at + length < text.size() && isDigit(text.at(at + length)))
            ++length;
        return length;
    }

    // Takes `length` characters as one captured value.
    QString take(int length)
    {
        const QString value = text.mid(at, length);
        at += length;
        return value;
    }

    // A number of min to max digits, followed by a non-digit.
    bool digits(int min, int max, QString& value)
    {
        const int length = digitRun(max);
        if (length < min || length > max)
            return false;
        value = take(length);
        return true;
    }

    const QString& text;
    int at = 0;
};

struct CardNumberForm
{
    QLatin1String prefix;
    int digits;
    int tail; // digits or capitals
};

// Sixteen characters each.
const CardNumberForm cardNumberForms[] = {
    {QLatin1String("RUD"), 11, 2},
    {QLatin1String("RUKGAI"), 7, 3},
    {QLatin1String("RUKFSNT"), 6, 3},
    {QLatin1String("RUM"), 9, 4},
    {QLatin1String("RUP"), 9, 4},
};

bool hasForm(const QStringRef& number, const CardNumberForm& form)
{
    if (number.size() != form.prefix.size() + form.digits + form.tail || !number.startsWith(form.prefix))
        return false;
    for (int i = form.prefix.size(); i < number.size(); ++i) {
        const bool digitPart = i < form.prefix.size() + form.digits;
        if (digitPart ? !isDigit(number.at(i)) : !isDigitOrCapital(number.at(i)))
            return false;
    }
    return true;
}

bool cardNumber(Cursor& cursor, QString& value)
{
    constexpr int length = 16;
    const QStringRef number = cursor.text.midRef(cursor.at, length);
    for (const CardNumberForm& form : cardNumberForms) {
        if (hasForm(number, form)) {
            value = cursor.take(length);
            return true;
        }
    }
    return false;
}

// 3 digits, one optional letter А, а, A or a, a hyphen, 5 to 7 digits.
bool moduleNumber(Cursor& cursor, QString& value)
{
    const int start = cursor.at;
    QString part;
    if (!cursor.digits(3, 3, part))
        return false;
    if (cursor.at < cursor.text.size() && QStringLiteral("АаAa").contains(cursor.text.at(cursor.at)))
        ++cursor.at;
    if (!cursor.literal(QLatin1String("-")) || !cursor.digits(5, 7, part))
        return false;
    value = cursor.text.mid(start, cursor.at - start);
    return true;
}

bool puk(Cursor& cursor, QString& value)
{
    if (cursor.literal(QLatin1String("None"))) {
        value = QStringLiteral("None");
        return true;
    }
    return cursor.digits(8, 8, value);
}

// The error text and the source may hold "/><" themselves. The pattern tries
// the word None first; otherwise the error text is as long as it can be, so
// it ends at the last separator before the source.
bool errorAndSource(const QStringRef& middle, QString& error, QString& source)
{
    if (middle.contains(QLatin1Char('\n')))
        return false;
    const QLatin1String separator("/><");
    if (middle.startsWith(QLatin1String("None/><"))) {
        error = QStringLiteral("None");
        source = middle.mid(7).toString();
        return true;
    }
    const int split = middle.lastIndexOf(separator);
    if (split < 1)
        return false;
    error = middle.left(split).toString();
    source = middle.mid(split + separator.size()).toString();
    return true;
}

// The five fields of one status row, each a non-empty text in apostrophes;
// the texts may hold apostrophes, commas and carriage returns, so the
// separators are taken as early as each field allows.
bool isStatusRow(const QString& text, int begin, int end)
{
    const QLatin1String separator("','");
    if (end - begin < 2 || text.at(begin) != QLatin1Char('\'') || text.at(end - 1) != QLatin1Char('\''))
        return false;
    int fieldStart = begin + 1;
    for (int separators = 0; separators < 4; ++separators) {
        const int found = text.indexOf(separator, fieldStart + 1);
        if (found < 0 || found + separator.size() > end - 2)
            return false;
        fieldStart = found + separator.size();
    }
    return true;
}

// Rows, each ended by CR LF, filling [begin, end) exactly.
bool isStatus(const QString& text, int begin, int end)
{
    int rowStart = begin;
    while (rowStart < end) {
        const int lineFeed = text.indexOf(QLatin1Char('\n'), rowStart);
        if (lineFeed < 0 || lineFeed >= end || lineFeed == rowStart || text.at(lineFeed - 1) != QLatin1Char('\r'))
            return false;
        if (!isStatusRow(text, rowStart, lineFeed - 1))
            return false;
        rowStart = lineFeed + 1;
    }
    return true;
}

} // namespace

namespace KvobProtocol {

bool isErrorReply(const QString& body)
{
    const QLatin1String open("ERROR('");
    const QLatin1String close("')");
    return body.size() >= open.size() + close.size() && body.startsWith(open) && body.endsWith(close)
        && !body.midRef(open.size(), body.size() - open.size() - close.size()).contains(QLatin1Char('\''));
}

bool parseFindPukResponse(const QString& body, QStringList& result)
{
    Cursor cursor(body);
    QString num, skzi, pukText;
    if (!cursor.literal(QLatin1String("<")) || !cardNumber(cursor, num) || !cursor.literal(QLatin1String("/><"))
        || !moduleNumber(cursor, skzi) || !cursor.literal(QLatin1String("/><")) || !puk(cursor, pukText)
        || !cursor.literal(QLatin1String("/><")))
        return false;

    // The counter closes the body: "/><", 1 to 5 digits, "/>".
    const QLatin1String end("/>");
    if (!body.endsWith(end))
        return false;
    const int counterEnd = body.size() - end.size();
    int counterStart = counterEnd;
    while (counterStart > cursor.at && counterEnd - counterStart < 6 && isDigit(body.at(counterStart - 1)))
        --counterStart;
    const int counterLength = counterEnd - counterStart;
    const int middleEnd = counterStart - 3;
    if (counterLength < 1 || counterLength > 5 || middleEnd < cursor.at
        || body.midRef(middleEnd, 3) != QLatin1String("/><"))
        return false;

    QString err, src;
    if (!errorAndSource(body.midRef(cursor.at, middleEnd - cursor.at), err, src))
        return false;
    result << num << skzi << pukText << err << src << body.mid(counterStart, counterLength);
    return true;
}

bool parseStatusResponse(const QString& body, QStringList& result)
{
    Cursor cursor(body);
    if (!cursor.literal(QLatin1String("<")))
        return false;
    // 0 to 999 with leading zeros, or -10 to -999.
    const int start = cursor.at;
    const bool negative = cursor.literal(QLatin1String("-"));
    const int length = cursor.digitRun(3);
    const bool counterOk = negative ? length >= 2 && length <= 3 && body.at(cursor.at) != QLatin1Char('0')
                                    : length >= 1 && length <= 3;
    if (!counterOk)
        return false;
    cursor.at += length;
    const QString counter = body.mid(start, cursor.at - start);
    const QLatin1String end("/>");
    if (!cursor.literal(QLatin1String("/><")) || !body.endsWith(end) || body.size() - end.size() < cursor.at
        || !isStatus(body, cursor.at, body.size() - end.size()))
        return false;
    result << counter << body.mid(cursor.at, body.size() - end.size() - cursor.at);
    return true;
}

} // namespace KvobProtocol
