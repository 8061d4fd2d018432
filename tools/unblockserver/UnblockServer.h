#pragma once

#include "ServerOptions.h"

#include <QSslConfiguration>
#include <QTcpServer>

// TLS server made of a plain listener: each accepted descriptor goes to a
// QSslSocket that demands a client certificate from the configured CA.
class UnblockServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit UnblockServer(const ServerOptions& options, const QSslConfiguration& tls, QObject* parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    const ServerOptions options;
    const QSslConfiguration tls;
};
