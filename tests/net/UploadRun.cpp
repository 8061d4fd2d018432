#include "UploadRun.h"

#include <QTest>

UploadRun::UploadRun()
{
    QObject::connect(&sender, &Sender::logginMessage, &sender, [this](uchar type, const QString& text) {
        log.append({type, text});
    });
}

void UploadRun::start(quint8 service, const QString& server, const QString& file, const QString& login,
                      const QString& password)
{
    sender.setService(service);
    sender.setServer(server);
    sender.setFilePath(file);
    QString typedLogin = login;
    QString typedPassword = password;
    sender.acceptLogin(typedLogin, typedPassword, row.element());
}

bool UploadRun::waitForEnd()
{
    return QTest::qWaitFor([this] { return !sender.isBusy(); }, 60000);
}

bool UploadRun::upload(quint8 service, const QString& server, const QString& file, const QString& login,
                       const QString& password)
{
    start(service, server, file, login, password);
    return waitForEnd();
}

QStringList UploadRun::logTexts() const
{
    QStringList texts;
    for (const LogLine& line : log)
        texts.append(line.text);
    return texts;
}
