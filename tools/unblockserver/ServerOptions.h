#pragma once

#include <QString>
#include <QStringList>

// How the server behaves; each flag stands for one misbehaviour a test needs.
struct ServerOptions {
    QString certFile;
    QString keyFile;
    QString caFile;
    int chunkSize = 0;         // bytes per write; 0 sends the reply at once
    int pauseMs = 0;           // between chunks
    bool silent = false;       // read the request, never answer
    bool closeAfterHandshake = false;
    bool surplus = false;      // bytes after the announced length
    bool malformed = false;    // a broken header
    QString errorText;         // answer ERROR('text') to everything
    int errorLength = 0;       // answer an ERROR('яя...я') body of this many characters
    int statusRows = 2;        // rows of the getStatus answer
    int statusField = 0;       // above 0: characters of its first row's first field
    QString replyBody;         // answer this body to everything (the card under test)
    bool plain = false;        // never start TLS
    qint64 lifetimeSeconds = 300; // exits by itself after that
};

// Fills options from the command line; false (with a message) on bad input.
bool parseServerOptions(const QStringList& arguments, ServerOptions& options, QString& message);
