#pragma once

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

// Gives one test its own empty settings store and data folders, under the
// program's identity. The store's folder is also set through QSettings::setPath
// because QSettings reads XDG_CONFIG_HOME only once per process.
class SettingsSandbox
{
public:
    SettingsSandbox()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("ВОРНТЕХ"));
        QCoreApplication::setOrganizationDomain(QStringLiteral("vorntech.ru"));
        QCoreApplication::setApplicationName(QStringLiteral("Дравек Про"));
        QCoreApplication::setApplicationVersion(QStringLiteral("3.1.1.0"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
    }

    QString configHome() const { return m_dir.filePath(QStringLiteral("config")); }
    QString dataHome() const { return m_dir.filePath(QStringLiteral("data")); }
    QString appDataFolder() const
    {
        return QStringLiteral("%1/%2/%3").arg(dataHome(), QCoreApplication::organizationName(),
                                              QCoreApplication::applicationName());
    }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
