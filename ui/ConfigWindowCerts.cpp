#include "ui/ConfigWindow.h"

#include "config/Config.h"
#include "config/SmallFile.h"
#include "ui/PassPhraseDialog.h"

#include "ui_configwindow.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace {

const QString dateFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");

int certificateColumn(const QString &key)
{
    return key == QLatin1String("CertCA") ? 1 : 2;
}

QString fileErrorText(const QString &pattern, const SmallFile &file)
{
    return pattern.arg(int(file.error())).arg(file.errorString());
}

} // namespace

void ConfigWindow::fillCertificateInfo(const QString &key)
{
    showCertificate(key, key == QLatin1String("CertCA") ? config->caCert : config->userCert);
}

void ConfigWindow::showCertificate(const QString &key, const QSslCertificate &certificate)
{
    if (certificate.isNull())
        return;
    const QString separator = QStringLiteral("; ");
    const QStringList rows = {
        QString::fromLatin1(certificate.serialNumber()).toUpper().remove(QLatin1Char(':')),
        QString::fromLatin1(certificate.digest(QCryptographicHash::Sha1).toHex().toUpper()),
        certificate.subjectInfo(QSslCertificate::CommonName).join(separator),
        certificate.subjectInfo(QSslCertificate::EmailAddress).join(separator),
        certificate.subjectInfo(QSslCertificate::Organization).join(separator),
        certificate.effectiveDate().toString(dateFormat),
        certificate.expiryDate().toString(dateFormat),
    };
    const int column = certificateColumn(key);
    for (int row = 0; row < rows.size(); ++row) {
        if (QTableWidgetItem *item = ui->CertCfgTbl->item(row, column))
            item->setText(rows.at(row));
    }
}

void ConfigWindow::clearCertificateColumns()
{
    for (int row = 0; row < ui->CertCfgTbl->rowCount(); ++row) {
        for (int column = 1; column <= 2; ++column) {
            if (QTableWidgetItem *item = ui->CertCfgTbl->item(row, column))
                item->setText(QString());
        }
    }
}

bool ConfigWindow::loadCertificate(const QString &path, const QString &key)
{
    lastError.clear();
    if (!QFileInfo::exists(path)) {
        lastError = QStringLiteral("Указанный файл сертификата не найден: %1").arg(path);
        return false;
    }
    SmallFile file(path);
    if (!file.read()) {
        lastError = fileErrorText(QStringLiteral("Не удалось прочитать файл сертификата. %1 - %2"), file);
        return false;
    }
    const QSslCertificate certificate(file.bytes(), QSsl::Pem);
    if (certificate.isNull()) {
        lastError = QStringLiteral("Файл не содержит сертификат.");
        return false;
    }
    pendingCertificates.insert(key, certificate);
    showCertificate(key, certificate);
    return true;
}

bool ConfigWindow::loadPrivateKey(const QString &path)
{
    lastError.clear();
    if (!QFileInfo::exists(path)) {
        lastError = QStringLiteral("Указанный файл закрытого ключа не найден: %1").arg(path);
        return false;
    }
    SmallFile file(path);
    if (!file.read()) {
        lastError = fileErrorText(QStringLiteral("Не удалось прочитать файл с закрытым ключем. %1 - %2"), file);
        return false;
    }
    SecretBytes passPhrase;
    if (!askPassPhrase(passPhrase)) {
        lastError = QStringLiteral("Пользователь отменил загрузку ключа.");
        return false;
    }
    const QSslKey key(file.bytes(), QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey, passPhrase.bytes());
    passPhrase.wipe();
    if (key.isNull()) {
        lastError = QStringLiteral("Некорректный пароль или файл не содержит закрытого ключа.");
        return false;
    }
    // Held until Apply: a key chosen and then discarded must not replace the one in use.
    pendingKey = key;
    pendingKeyPath = path;
    return true;
}

