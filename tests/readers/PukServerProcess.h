#pragma once

#include <QProcess>
#include <QStringList>

// The local unblock server as a process of its own, answering every request
// with `reply` (a findPUK reply body); port 0 when it did not start.
class PukServerProcess
{
public:
    explicit PukServerProcess(const QString &reply, const QStringList &options = {})
    {
        const QString certs = qEnvironmentVariable("DRVP_CERTS_DIR") + QLatin1Char('/');
        process.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + QStringLiteral("/unblockserver"),
                      QStringList{QStringLiteral("--cert"), certs + QStringLiteral("server.pem"),
                                  QStringLiteral("--key"), certs + QStringLiteral("server.key"),
                                  QStringLiteral("--ca"), certs + QStringLiteral("ca.pem"),
                                  QStringLiteral("--reply"), reply}
                          + options);
        QString output;
        while (port == 0 && process.waitForReadyRead(20000)) {
            output += QString::fromUtf8(process.readAllStandardOutput());
            for (const QString &line : output.split(QLatin1Char('\n'))) {
                if (line.startsWith(QLatin1String("PORT ")))
                    port = line.mid(5).trimmed().toUShort();
            }
        }
    }

    ~PukServerProcess()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    PukServerProcess(const PukServerProcess &) = delete;
    PukServerProcess &operator=(const PukServerProcess &) = delete;

    quint16 port = 0;

private:
    QProcess process;
};
