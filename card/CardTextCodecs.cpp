#include "card/CardTextCodecs.h"

#include <QTextCodec>

namespace {

const char latin1Name[] = "ISO-8859-1";
const char cyrillicName[] = "ISO-8859-5";
const char windows1251Name[] = "windows-1251";

} // namespace

namespace CardTextCodecs {

QTextCodec* latin1()
{
    static QTextCodec* const codec = QTextCodec::codecForName(latin1Name);
    return codec;
}

QTextCodec* cyrillic()
{
    static QTextCodec* const codec = QTextCodec::codecForName(cyrillicName);
    return codec;
}

QTextCodec* windows1251()
{
    static QTextCodec* const codec = QTextCodec::codecForName(windows1251Name);
    return codec;
}

QStringList missingCodecs()
{
    QStringList missing;
    if (!latin1())
        missing << QString::fromLatin1(latin1Name);
    if (!cyrillic())
        missing << QString::fromLatin1(cyrillicName);
    if (!windows1251())
        missing << QString::fromLatin1(windows1251Name);
    return missing;
}

} // namespace CardTextCodecs
