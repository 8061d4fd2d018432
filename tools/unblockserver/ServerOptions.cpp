#include "ServerOptions.h"

#include <QCommandLineParser>

bool parseServerOptions(const QStringList& arguments, ServerOptions& options, QString& message)
{
    QCommandLineParser parser;
    const QCommandLineOption cert("cert", "Server certificate (PEM).", "file");
    const QCommandLineOption key("key", "Server private key (PEM).", "file");
    const QCommandLineOption ca("ca", "CA that signs client certificates (PEM).", "file");
    const QCommandLineOption chunk("chunk", "Bytes per write of the reply.", "bytes", "0");
    const QCommandLineOption pause("pause", "Milliseconds between chunks.", "ms", "0");
    const QCommandLineOption silent("silent", "Never answer.");
    const QCommandLineOption closeEarly("close-after-handshake", "Close once encrypted.");
    const QCommandLineOption surplus("surplus", "Send bytes after the announced length.");
    const QCommandLineOption malformed("malformed", "Send a broken frame header.");
    const QCommandLineOption error("error", "Answer ERROR('text').", "text");
    const QCommandLineOption errorLength("error-length", "Answer an error reply body of this many characters.",
                                         "characters", "0");
    const QCommandLineOption statusRows("status-rows", "Rows of the getStatus answer.", "rows", "2");
    const QCommandLineOption statusField("status-field", "Characters of the first field of the first status row.",
                                         "characters", "0");
    const QCommandLineOption reply("reply", "Answer this reply body to every request.", "body");
    const QCommandLineOption plain("plain", "Plain TCP, no TLS.");
    const QCommandLineOption lifetime("lifetime", "Exit after this many seconds.", "seconds", "300");
    parser.addOptions({cert, key, ca, chunk, pause, silent, closeEarly, surplus, malformed, error, errorLength, statusRows,
                       statusField, reply, plain, lifetime});

    if (!parser.parse(arguments)) {
        message = parser.errorText();
        return false;
    }
    options.certFile = parser.value(cert);
    options.keyFile = parser.value(key);
    options.caFile = parser.value(ca);
    options.chunkSize = parser.value(chunk).toInt();
    options.pauseMs = parser.value(pause).toInt();
    options.silent = parser.isSet(silent);
    options.closeAfterHandshake = parser.isSet(closeEarly);
    options.surplus = parser.isSet(surplus);
    options.malformed = parser.isSet(malformed);
    options.errorText = parser.value(error);
    options.errorLength = parser.value(errorLength).toInt();
    options.statusRows = parser.value(statusRows).toInt();
    options.statusField = parser.value(statusField).toInt();
    options.replyBody = parser.value(reply);
    options.plain = parser.isSet(plain);
    options.lifetimeSeconds = parser.value(lifetime).toLongLong();
    if (!options.plain && (options.certFile.isEmpty() || options.keyFile.isEmpty() || options.caFile.isEmpty())) {
        message = QStringLiteral("--cert, --key and --ca are needed unless --plain is given");
        return false;
    }
    return true;
}
