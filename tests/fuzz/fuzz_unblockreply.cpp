// Feeds arbitrary bytes to the reply reader of the unblock-server client, in
// chunks of a size taken from the first byte, then reads the body by both
// grammars. Aborts when one of these fails:
// - the same bytes fed whole give the same outcome as fed in chunks;
// - a complete reply is its header and exactly the announced number of
//   characters, and (for valid UTF-8) the body is the bytes after the header;
// - a parsed result framed again ("<" item "/>" per item) gives the body
//   back, with as many items as the command promises.

#include "net/KvobProtocol.h"
#include "net/KvobReplyReader.h"

#include <QByteArray>
#include <QRegularExpression>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void checkParsed(const QString& body)
{
    for (const auto& [cmd, promised] : {std::make_pair("findPUK", 6), std::make_pair("getStatus", 2)}) {
        const KvobProtocol::Reply reply = KvobProtocol::interpretReply(QString::fromLatin1(cmd), body);
        if (reply.kind == KvobProtocol::ReplyKind::Result)
            check(reply.result.size() == promised && "<" + reply.result.join("/><") + "/>" == body);
        else
            check(reply.result.isEmpty());
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
