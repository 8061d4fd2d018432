#pragma once

#include <QByteArrayList>
#include <QFile>
#include <QProcess>
#include <QStringList>

// The local unblock server (tools/unblockserver), run as a process of its
// own on 127.0.0.1 with a certificate from the test build's certs folder.
class UnblockServerProcess
{
public:
    explicit UnblockServerProcess(const QString &cert = "server", const QStringList &options = {})
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + "/unblockserver",
                      QStringList{"--cert", certPath(cert + ".pem"), "--key", certPath(cert + ".key"), "--ca",
                                  certPath("ca.pem")} + options);
        while (port == 0 && process.waitForReadyRead(20000)) {
            if (!lines("PORT ").isEmpty())
                port = lines("PORT ").first().toUShort();
        }
    }

    // A clean end, so that the server's own sanitizer report reaches the test.
    ~UnblockServerProcess()
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(5000);
    }

    UnblockServerProcess(const UnblockServerProcess &) = delete;
    UnblockServerProcess &operator=(const UnblockServerProcess &) = delete;

    static QString certPath(const QString &name)
    {
        return qEnvironmentVariable("DRVP_CERTS_DIR") + '/' + name;
    }

    // The pass phrase of the test user's key.
    static QString passPhrase()
    {
        QFile file(certPath("passphrase.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    }

    // Output lines so far that begin with prefix, prefix cut off.
    QStringList lines(const QString &prefix)
    {
        output += QString::fromUtf8(process.readAllStandardOutput());
        QStringList found;
        for (const QString &line : output.split('\n')) {
            if (line.startsWith(prefix))
                found << line.mid(prefix.size());
        }
        return found;
    }

    QByteArrayList requests()
    {
        QByteArrayList bytes;
        for (const QString &line : lines("REQUEST "))
            bytes << QByteArray::fromBase64(line.toLatin1());
        return bytes;
    }

    quint16 port = 0;

private:
    QProcess process;
    QString output;
};
