#pragma once

#include "RecordedRequest.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

// The web-service double run as a child process on 127.0.0.1, with its own
// work folder. Stopped when this object goes away.
class WebServiceProcess
{
public:
    explicit WebServiceProcess(const QStringList& options = QStringList());
    ~WebServiceProcess();

    // Starts the double and waits for its port; false when it did not come up.
    bool start();
    // "http://127.0.0.1:<port>" or "https://..." with a certificate.
    QString url() const;
    QVector<RecordedRequest> requests() const;
    // The bytes of the file the double received under that name, or a null array.
    QByteArray uploaded(const QString& name) const;

private:
    QStringList options;
    QTemporaryDir dir;
    QProcess process;
    quint16 port = 0;
};
