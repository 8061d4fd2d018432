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

namespace {

// Looked up before main(): Qt deletes its codecs with the registry that the
// first lookup builds, and a registry built this early is destroyed after
// everything made later, the program's handler of an exit() included, which
// stops the worker threads that decode with them.
[[maybe_unused]] const bool codecsFound =
    (CardTextCodecs::latin1(), CardTextCodecs::cyrillic(), CardTextCodecs::windows1251(), true);

} // namespace
