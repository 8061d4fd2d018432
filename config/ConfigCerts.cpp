#include "config/Config.h"

#include "config/SmallFile.h"

#include <QByteArray>
#include <QFileInfo>

namespace {

QString readErrorText(const QString &pattern, const QString &path, const SmallFile &file)
{
    return pattern.arg(path, QString::number(int(file.error())), file.errorString());
}

} // namespace

bool Config::loadCertificate(const QString &key)
{
    lastError.clear();
    const QString path = auth.value(key);
    if (path.isEmpty()) {
        emit loggingMessage(1, QStringLiteral("В настройках не задан параметр SSL-сертификата: %1.").arg(key));
        return true;
    }
    if (!QFileInfo::exists(path)) {
        lastError = QStringLiteral("Файл с сертификатом не найден: %1").arg(shownPath(path));
        return false;
    }
    SmallFile file(path);
    if (!file.read()) {
        lastError = readErrorText(QStringLiteral("Не удалось прочитать файл сертификата: %1. %2 - %3"), shownPath(path),
                                  file);
        return false;
    }
    const QSslCertificate certificate(file.bytes(), QSsl::Pem);
    if (certificate.isNull()) {
        lastError = QStringLiteral("Файл не соджержит сертификата: %1").arg(shownPath(path));
        return false;
    }
    if (key == QLatin1String("CertCA")) {
        caCert = certificate;
    } else {
        userCert = certificate;
        emit userCertChanged();
    }
    return true;
}

int Config::loadPrivateKey(SecretBytes passPhrase)
{
    lastError.clear();
    const QString path = auth.value(QStringLiteral("PKeyUser"));
    int result = 0;
    SmallFile file(path);
    if (path.isEmpty()) {
        lastError = QStringLiteral("В настройках не задан параметр закрытого ключа пользователя.");
        result = -1;
    } else if (!QFileInfo::exists(path)) {
        lastError = QStringLiteral("Файл с закрытым ключем пользователя не найден: %1").arg(shownPath(path));
        result = -2;
    } else if (!file.read()) {
        lastError = readErrorText(QStringLiteral("Не удалось прочитать файл заурытого ключа пользователя: %1. %2 - %3"),
                                  shownPath(path), file);
        result = -2;
    } else {
        const QSslKey key(file.bytes(), QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey, passPhrase.bytes());
        if (key.isNull()) {
            lastError = QStringLiteral("Некорректный пароль закрытого ключа, или файл не содержит закрытый ключ.");
            result = 1;
        } else {
            userKey = key;
        }
    }
    passPhrase.wipe();
    if (result != 0)
        emit loggingMessage(2, lastError);
    return result;
}
