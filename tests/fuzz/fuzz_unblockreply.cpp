// Feeds arbitrary bytes to the reply reader of the unblock-server client, in
// chunks of a size taken from the first byte, then reads the body by both
// grammars. Checks that a complete reply is exactly as long as announced and
// that a result list has the size its command promises.

#include "net/KvobProtocol.h"
#include "net/KvobReplyReader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < 1)
        return 0;
    const int chunk = input[0] % 16 + 1;
    const QByteArray bytes(reinterpret_cast<const char*>(input + 1), int(size - 1));

    KvobReplyReader reader;
    for (int at = 0; at < bytes.size() && reader.state() == KvobReplyReader::State::Incomplete; at += chunk)
        reader.feed(bytes.mid(at, chunk));
    if (reader.state() != KvobReplyReader::State::Complete)
        return 0;

    const QString body = reader.body();
    if (!reader.headerReceived() || body.size() > reader.expectedLength())
        std::abort();
    for (const char* cmd : {"findPUK", "getStatus"}) {
        const KvobProtocol::Reply reply = KvobProtocol::interpretReply(QString::fromLatin1(cmd), body);
        const int promised = KvobProtocol::requestCode(QString::fromLatin1(cmd)) == KvobProtocol::CodeWithoutParams ? 2 : 6;
        if (reply.kind == KvobProtocol::ReplyKind::Result ? reply.result.size() != promised : !reply.result.isEmpty())
            std::abort();
    }
    return 0;
}
