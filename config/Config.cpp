#include "config/Config.h"

#include "card/TextExcerpt.h"
#include "config/ConfigTables.h"
#include "config/SettingsFile.h"
#include "config/SettingsTextCodec.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <climits>

namespace {

// Values of the deployment.
const QString defaultUnblockServer = QStringLiteral("kvob.vorntech.ru");
const QString developerEmail = QStringLiteral("info@vorntech.ru");
const QString developerTechsupport = QStringLiteral("support@vorntech.ru");
const QString appBuildDate = QStringLiteral("07.06.2021");

QString firstAppDataFolder()
{
    const QStringList folders = QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation);
    return folders.isEmpty() ? QString() : folders.first();
}

// QSettings tells only that it could not write; the file system tells why.
QString storeWriteFailure(const QString &fileName)
{
    const QFileInfo file(fileName);
    if (file.exists() && !file.isWritable())
        return QStringLiteral("файл недоступен для записи");
    // The file is replaced through a temporary file and a lock file beside it.
    QFileInfo folder(file.absolutePath());
    while (!folder.exists() && !folder.isRoot())
        folder.setFile(folder.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("на месте папки \"%1\" находится файл").arg(folder.absoluteFilePath());
    return QStringLiteral("папка \"%1\" недоступна для записи").arg(folder.absoluteFilePath());
}

} // namespace

Config::Config(QObject *parent)
    : QObject(parent)
{
}

Config::~Config() = default;

void Config::setDefaults()
{
    appInfo.insert(QStringLiteral("AppDeveloper"), QCoreApplication::organizationName());
    appInfo.insert(QStringLiteral("AppDeveloperWeb"), QCoreApplication::organizationDomain());
    appInfo.insert(QStringLiteral("AppDeveloperEmail"), developerEmail);
    appInfo.insert(QStringLiteral("AppDeveloperTechsupport"), developerTechsupport);
    appInfo.insert(QStringLiteral("AppName"), QCoreApplication::applicationName());
    appInfo.insert(QStringLiteral("AppVersion"), QCoreApplication::applicationVersion());
    appInfo.insert(QStringLiteral("AppBuildDate"), appBuildDate);

    const QString dataFolder = firstAppDataFolder();
    {
        QMutexLocker lock(&m_shared);
        m_paths.clear();
        m_paths.insert(QStringLiteral("ProductPath"), QCoreApplication::applicationDirPath());
        m_paths.insert(QStringLiteral("dddPath"), QStringLiteral("%1/downloads").arg(dataFolder));
        m_paths.insert(QStringLiteral("ExportPath"), QStringLiteral("%1/exports").arg(dataFolder));
    }

    auth.insert(QStringLiteral("CertCA"), QStringLiteral("%1/ca/ca.crt").arg(QCoreApplication::applicationDirPath()));
    auth.insert(QStringLiteral("CertUser"), QString());
    auth.insert(QStringLiteral("PKeyUser"), QString());

    unblockServer.insert(QStringLiteral("Server"), defaultUnblockServer);
    unblockServer.insert(QStringLiteral("Port"), QStringLiteral("1080"));
    unblockServer.insert(QStringLiteral("Timeout"), QStringLiteral("18000"));

    services.insert(QStringLiteral("KvarnolServer"), QString());
    services.insert(QStringLiteral("KvarnolLogin"), QString());
    services.insert(QStringLiteral("LotvarskServer"), QString());
    services.insert(QStringLiteral("LotvarskLogin"), QString());
    services.insert(QStringLiteral("Protocol"), QStringLiteral("https"));
}

bool Config::save(const QStringList &keys)
{
    const QString fileName = settingsFilePath();
    if (m_storeRefused)
        return refuseSave(fileName, QStringLiteral("файл настроек не используется до перезапуска программы"));
    // Checked before every write: the store would replace a device or a
    // pipe that took the file's place since, or wait on a pipe for good.
    const QString obstacle = settingsFileObstacle(fileName);
    if (!obstacle.isEmpty())
        return refuseSave(fileName, obstacle);

    QSettings store(fileName, QSettings::IniFormat);
    store.setIniCodec(SettingsTextCodec::instance());
    // After a failed save the file may lack values the program holds (those
    // load put right), and the queue of unwritten values that every QSettings
    // of the file shares may hold values the program no longer holds (an edit
    // taken back since). Writing every value makes the file hold what the
    // program holds, whatever that queue holds.
    if (keys.isEmpty() || m_storeBehind) {
        QMap<QString, QString> values = allValues();
        for (auto it = m_keptInFile.cbegin(); it != m_keptInFile.cend(); ++it) {
            if (!keys.contains(it.key()))
                values.insert(it.key(), it.value());
        }
        for (const QString &key : store.allKeys()) {
            if (!values.contains(key))
                store.remove(key);
        }
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            store.setValue(it.key(), QVariant(it.value()));
    } else {
        for (const QString &key : keys) {
            QString value;
            if (findValue(key, value))
                store.setValue(key, QVariant(value));
        }
    }
    // Unchecked, a value that cannot be stored would hold for this run only.
    // A format error concerns the file as it was read; it is rewritten all the same.
    store.sync();
    if (store.status() == QSettings::AccessError)
        return refuseSave(fileName, storeWriteFailure(fileName));
    m_storeBehind = false;
    for (const QString &key : keys)
        m_keptInFile.remove(key);
    changedKeys.clear();
    return true;
}

bool Config::refuseSave(const QString &fileName, const QString &reason)
{
    m_storeBehind = true;
    const QString text = QStringLiteral("Не удалось сохранить настройки в файл \"%1\": %2.").arg(fileName, reason);
    emit loggingMessage(2, text);
    emit warningMessage(QStringLiteral("В процессе сохранения настроек возникла ошибка."), text);
    return false;
}

QMap<QString, QString> Config::allValues() const
{
    QMap<QString, QString> values = paths();
    for (const QMap<QString, QString> *group : {&appInfo, &auth, &unblockServer, &services}) {
        for (auto it = group->cbegin(); it != group->cend(); ++it)
            values.insert(it.key(), it.value());
    }
    return values;
}

bool Config::findValue(const QString &key, QString &value) const
{
    if (appInfo.contains(key)) {
        value = appInfo.value(key);
        return true;
    }
    {
        QMutexLocker lock(&m_shared);
        if (m_paths.contains(key)) {
            value = m_paths.value(key);
            return true;
        }
    }
    for (const QMap<QString, QString> *group : {&auth, &unblockServer, &services}) {
        if (group->contains(key)) {
            value = group->value(key);
            return true;
        }
    }
    return false;
}

bool Config::validatePort(const QString &text)
{
    lastError = QStringLiteral("Порт сервера разблокировки содержит ошибку. Значение данного параметра "
                               "должно быть в пределах от 0 до 65535.");
    if (!QRegularExpression(portRegExp).match(text).hasMatch() || text.toUInt(nullptr, 10) >= 65536)
        return false;
    lastError.clear();
    return true;
}

bool Config::validateTimeout(const QString &text)
{
    lastError = QStringLiteral("Временная задержка ожидания отклика сервера разблокировки содержит ошибку. "
                               "Значение временной задержки ожидания отклика сервера разблокировки должно быть "
                               "в пределах от 100 до 60000.");
    if (!QRegularExpression(timeoutRegExp).match(text).hasMatch())
        return false;
    // Below 100 ms every server command would time out at once.
    const uint value = text.toUInt(nullptr, 10);
    if (value < 100 || value > 60000)
        return false;
    lastError.clear();
    return true;
}

bool Config::validateServer(const QString &text, bool allowPort)
{
    lastError = QStringLiteral("Адрес сервера содержит ошибку. Адрес должен содержать доменное имя сервера "
                               "(например: %1) или IP-адрес (например: %2).")
                    .arg(defaultUnblockServer, QStringLiteral("192.168.10.25"));
    static const QRegularExpression host(hostRegExp);
    const QRegularExpressionMatch match = host.match(text);
    if (!match.hasMatch() || match.captured(QStringLiteral("dns")).size() > 253)
        return false;
    const QStringList parts = match.captured(QStringLiteral("ip")).split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part.toUInt(nullptr, 10) > 255)
            return false;
    }
    const QString port = match.captured(QStringLiteral("port"));
    const uint portNumber = port.toUInt(nullptr, 10);
    if (!port.isEmpty() && (!allowPort || portNumber == 0 || portNumber > 65535))
        return false;
    lastError.clear();
    return true;
}

bool Config::validatePath(const QString &text)
{
    return validateStoredText(text, QStringLiteral("Путь"));
}

bool Config::validateLogin(const QString &text)
{
    return validateStoredText(text, QStringLiteral("Логин"));
}

// A line break would forge log lines. A text longer than the system's path
// limit names no file, and would flood every box and log line that shows it.
bool Config::validateStoredText(const QString &text, const QString &subject)
{
    lastError = QStringLiteral("%1 не должен быть длиннее %2 байт.").arg(subject).arg(PATH_MAX - 1);
    if (QFile::encodeName(text).size() >= PATH_MAX)
        return false;
    lastError = QStringLiteral("%1 не должен содержать управляющих символов.").arg(subject);
    for (const QChar character : text) {
        if (character.category() == QChar::Other_Control)
            return false;
    }
    lastError.clear();
    return true;
}

// Long enough for any folder a user names; a longer stored path shows its
// start and its length.
QString Config::shownPath(const QString &path)
{
    return textExcerpt(path, 260);
}

QMap<QString, QString> Config::paths() const
{
    QMutexLocker lock(&m_shared);
    return m_paths;
}

QString Config::path(const QString &key) const
{
    QMutexLocker lock(&m_shared);
    return m_paths.value(key);
}

void Config::setPath(const QString &key, const QString &value)
{
    QMutexLocker lock(&m_shared);
    m_paths.insert(key, value);
}

QString Config::lastDddPath() const
{
    QMutexLocker lock(&m_shared);
    return m_lastDddPath;
}

void Config::setLastDddPath(const QString &path)
{
    QMutexLocker lock(&m_shared);
    m_lastDddPath = path;
}
