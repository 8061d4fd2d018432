// Local PIN-unblock server for tests. Listens on 127.0.0.1 with a port the
// system picks, prints "PORT <n>", then one line per event: CONNECTION,
// PEER <sha256 of the client certificate>|none, SSLERRORS <codes>,
// REQUEST <base64 of the request bytes>, BADREQUEST <base64>, PLAIN <bytes>.

#include "Recorder.h"
#include "ServerOptions.h"
#include "UnblockServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

#include <cstdio>
#include <limits>

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool makeTls(const ServerOptions& options, QSslConfiguration& tls, QString& message)
{
    const QSslCertificate cert(readFile(options.certFile), QSsl::Pem);
    const QSslKey key(readFile(options.keyFile), QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey);
    const QList<QSslCertificate> ca = QSslCertificate::fromData(readFile(options.caFile), QSsl::Pem);
    if (cert.isNull() || key.isNull() || ca.isEmpty()) {
        message = QStringLiteral("cannot load the certificate, key or CA");
        return false;
    }
    tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(cert);
    tls.setPrivateKey(key);
    tls.setCaCertificates(ca);
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return true;
}

} // namespace

// SIGTERM ends the event loop, so the server exits normally and the
// sanitizers get to report what it leaked.
bool quitOnTerminate(QCoreApplication& app)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    const int fd = signalfd(-1, &set, SFD_CLOEXEC);
    if (fd < 0)
        return false;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    return true;
}

int main(int argc, char* argv[])
{
    // Blocked before any thread starts, so every thread leaves SIGTERM to the descriptor.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    QCoreApplication app(argc, argv);
    if (!quitOnTerminate(app)) {
        std::fprintf(stderr, "unblockserver: cannot watch for SIGTERM\n");
        return 2;
    }

    ServerOptions options;
    QString message;
    QSslConfiguration tls;
    if (!parseServerOptions(app.arguments(), options, message) || (!options.plain && !makeTls(options, tls, message))) {
        std::fprintf(stderr, "unblockserver: %s\n", message.toLocal8Bit().constData());
        return 2;
    }

    UnblockServer server(options, tls);
    if (!server.listen(QHostAddress(QHostAddress::LocalHost), 0)) {
        std::fprintf(stderr, "unblockserver: %s\n", server.errorString().toLocal8Bit().constData());
        return 1;
    }
    // QTimer counts in int milliseconds: a longer life is cut to about 24 days.
    const qint64 maxSeconds = std::numeric_limits<int>::max() / 1000;
    QTimer::singleShot(int(qBound<qint64>(0, options.lifetimeSeconds, maxSeconds)) * 1000, &app,
                       &QCoreApplication::quit);
    record(QStringLiteral("PORT %1").arg(server.serverPort()));
    return app.exec();
}
