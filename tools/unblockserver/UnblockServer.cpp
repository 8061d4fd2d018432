#include "UnblockServer.h"

#include "Recorder.h"
#include "ServerConnection.h"

UnblockServer::UnblockServer(const ServerOptions& opts, const QSslConfiguration& tlsConfig, QObject* parent)
    : QTcpServer(parent)
    , options(opts)
    , tls(tlsConfig)
{
}

void UnblockServer::incomingConnection(qintptr descriptor)
{
    record(QStringLiteral("CONNECTION"));
    new ServerConnection(descriptor, options, tls, this);
}
