// Feeds arbitrary bytes to the reply reader of the unblock-server client, in
// chunks of a size taken from the first byte, then reads the body by both
// grammars. Aborts when one of these fails:
// - the same bytes fed whole give the same outcome as fed in chunks;
// - a complete reply is its header and exactly the announced number of
//   characters, and (for valid UTF-8) the body is the bytes after the header;
// - a parsed result framed again ("<" item "/>" per item) gives the body
//   back, with as many items as the command promises;
// - the reading agrees with the grammars written as patterns (nothing may
//   follow the last element): always where a pattern matches, and both ways
//   for bodies short enough that the pattern engine cannot give up on them.

#include "net/KvobProtocol.h"
#include "net/KvobReplyReader.h"

#include <QByteArray>
#include <QRegularExpression>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

struct Grammar
{
    const char* cmd;
    QRegularExpression pattern;
    QStringList names;
    // Longest body the engine surely matches without reaching its limits:
    // the status rows backtrack in many more ways than the fields of findPUK.
    int surelyDecided;
};

const QRegularExpression errorPattern(QStringLiteral(R"(^ERROR\('[^']*'\)$)"));

const Grammar grammars[] = {
    {"findPUK",
     QRegularExpression(QStringLiteral(
         R"(^<(?<num>RUD\d{11}[0-9A-Z]{2}|RUKGAI\d{7}[0-9A-Z]{3}|RUKFSNT\d{6}[0-9A-Z]{3}|RU[MP]\d{9}[0-9A-Z]{4})/>)"
         R"(<(?<skzi>\d{3}[АаAa]?-\d{5,7})/><(?<puk>\d{8}|None)/><(?<err>None|(.+))/><(?<src>.*)/>)"
         R"(<(?<counter>\d{1,5})/>$)")),
     {"num", "skzi", "puk", "err", "src", "counter"}, 1000},
    {"getStatus",
     QRegularExpression(QStringLiteral(
         R"(^<(?<counter>((-[1-9])?[0-9]{1,2}|[0-9]{1,3}))/><(?<status>(('.+',){4}'.+'\r\n)*)/>$)")),
     {"counter", "status"}, 64},
};

// The whole body, not up to a line feed at its end, as "$" would allow.
bool wholeMatch(const QRegularExpression& pattern, const QString& body, QRegularExpressionMatch& match)
{
    match = pattern.match(body);
    return match.hasMatch() && match.capturedEnd() == body.size();
}

void checkParsed(const QString& body)
{
    QRegularExpressionMatch match;
    const bool errorReply = wholeMatch(errorPattern, body, match);
    for (const Grammar& grammar : grammars) {
        const KvobProtocol::Reply reply = KvobProtocol::interpretReply(QString::fromLatin1(grammar.cmd), body);
        if (reply.kind == KvobProtocol::ReplyKind::Result)
            check(reply.result.size() == grammar.names.size() && "<" + reply.result.join("/><") + "/>" == body);
        else
            check(reply.result.isEmpty());
        check((reply.kind == KvobProtocol::ReplyKind::ServerError) == errorReply);
        if (errorReply)
            continue;
        if (wholeMatch(grammar.pattern, body, match)) {
            QStringList captured;
            for (const QString& name : grammar.names)
                captured << match.captured(name);
            check(reply.kind == KvobProtocol::ReplyKind::Result && reply.result == captured);
        } else if (body.size() <= grammar.surelyDecided) {
            check(reply.kind == KvobProtocol::ReplyKind::FormatError);
        }
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < 1)
        return 0;
    const int chunk = input[0] % 16 + 1;
    const QByteArray bytes(reinterpret_cast<const char*>(input + 1), int(size - 1));

    KvobReplyReader reader;
    int fed = 0;
    while (fed < bytes.size() && reader.state() == KvobReplyReader::State::Incomplete) {
        reader.feed(bytes.mid(fed, chunk));
        fed += chunk;
    }
    const QByteArray taken = bytes.left(fed);
    KvobReplyReader whole;
    check(whole.feed(taken) == reader.state() && whole.body() == reader.body());
    if (reader.state() != KvobReplyReader::State::Complete)
        return 0;

    static const QRegularExpression header(QStringLiteral(R"(^\[SIZE\]:(\d{1,7});\r\n\[BODY\]:)"));
    const QRegularExpressionMatch match = header.match(QString::fromLatin1(taken));
    check(match.hasMatch());
    const QString body = reader.body();
    check(body.size() == match.captured(1).toInt());
    const QByteArray bodyBytes = taken.mid(match.capturedLength());
    if (QString::fromUtf8(bodyBytes).toUtf8() == bodyBytes)
        check(body.toUtf8() == bodyBytes);
    checkParsed(body);
    return 0;
}
