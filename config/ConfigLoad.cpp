#include "config/Config.h"

#include "config/ConfigTables.h"
#include "config/SettingsFile.h"
#include "config/SettingsTextCodec.h"

#include <QDir>
#include <QHash>
#include <QMutexLocker>
#include <QSettings>

namespace {

enum class ValueKind { Login, Path, Host, ServiceHost, Port, Timeout, Protocol };

const QHash<QString, ValueKind> valueKinds = {
    {QStringLiteral("ProductPath"), ValueKind::Path},
    {QStringLiteral("dddPath"), ValueKind::Path},
    {QStringLiteral("ExportPath"), ValueKind::Path},
    {QStringLiteral("CertCA"), ValueKind::Path},
    {QStringLiteral("CertUser"), ValueKind::Path},
    {QStringLiteral("PKeyUser"), ValueKind::Path},
    {QStringLiteral("Server"), ValueKind::Host},
    {QStringLiteral("Port"), ValueKind::Port},
    {QStringLiteral("Timeout"), ValueKind::Timeout},
    {QStringLiteral("KvarnolServer"), ValueKind::ServiceHost},
    {QStringLiteral("LotvarskServer"), ValueKind::ServiceHost},
    {QStringLiteral("KvarnolLogin"), ValueKind::Login},
    {QStringLiteral("LotvarskLogin"), ValueKind::Login},
    {QStringLiteral("Protocol"), ValueKind::Protocol},
};

const QString useDefaultText = QStringLiteral("Установлено значение по умолчанию.");
const QString rejectedValueText = QStringLiteral("%1\nУстановлено значение по умолчанию.");

QString storedValue(const QSettings &store, const QString &key)
{
    return store.value(key, QString()).toString();
}

// As the configuration dialog names the setting.
QString descriptionOf(const QString &key)
{
    for (const QMap<QString, QString> *table : {&pathParams, &certParams, &unblockServerParams, &serviceParams}) {
        if (table->contains(key))
            return table->value(key);
    }
    return key;
}

} // namespace

void Config::load()
{
    const QString fileName = settingsFilePath();
    const QString obstacle = settingsFileObstacle(fileName);
    if (obstacle.isEmpty()) {
        readStore(fileName);
    } else {
        m_storeRefused = true;
        const QString text = QStringLiteral("Не удалось прочитать настройки из файла \"%1\": %2. Программа работает "
                                            "с настройками по умолчанию и до перезапуска не будет записывать их в "
                                            "этот файл.")
                                 .arg(fileName, obstacle);
        emit loggingMessage(2, text);
        emit warningMessage(QStringLiteral("Файл настроек не может быть использован."), text);
    }

    createWorkDirs();

    if (!loadCertificate(QStringLiteral("CertCA"))) {
        emit loggingMessage(2, lastError);
        emit warningMessage(QStringLiteral("Ошибка загрузки корневого сертификата УЦ."), lastError);
    }
    if (!loadCertificate(QStringLiteral("CertUser"))) {
        emit loggingMessage(2, lastError);
        emit warningMessage(QStringLiteral("Ошибка загрузки сертификата пользователя."), lastError);
    }
}

void Config::readStore(const QString &fileName)
{
    bool rewriteAll = false;
    QStringList writeBack;
    {
        QSettings store(fileName, QSettings::IniFormat);
        store.setIniCodec(SettingsTextCodec::instance());
        if (store.allKeys().isEmpty()) {
            rewriteAll = true;
        } else {
            // appInfo always describes the running program; the store only follows it.
            for (auto it = appInfo.cbegin(); it != appInfo.cend(); ++it) {
                if (storedValue(store, it.key()) != it.value())
                    writeBack << it.key();
            }
            QMap<QString, QString> workFolders = paths();
            loadCheckedGroup(store, workFolders, writeBack);
            {
                QMutexLocker lock(&m_shared);
                m_paths = workFolders;
            }
            loadCheckedGroup(store, auth, writeBack);
            loadCheckedGroup(store, unblockServer, writeBack);
            loadCheckedGroup(store, services, writeBack);

            // Compared as sets, not by count: one stale key beside one missing
            // key must still give a clean store.
            QStringList stored = store.allKeys();
            stored.sort();
            rewriteAll = stored != allValues().keys();
        }
    }
    // Saving every key also removes the keys of no group. The store is not
    // cleared first: a clear that fails to reach the file would stay queued
    // for the next save, which would then write a file of that save's keys.
    if (rewriteAll)
        save(QStringList());
    else if (!writeBack.isEmpty())
        save(writeBack);
}

void Config::loadCheckedGroup(const QSettings &store, QMap<QString, QString> &group, QStringList &writeBack)
{
    for (auto it = group.begin(); it != group.end(); ++it) {
        const QString value = storedValue(store, it.key());
        if (SettingsTextCodec::hasNonUtf8Bytes(value))
            keepNonUtf8Value(it.key(), value);
        else if (!value.isEmpty() && acceptStoredValue(it.key(), value))
            it.value() = value;
        else
            writeBack << it.key();
    }
}

// The bytes may well be what the user meant (a folder name typed in another
// encoding), so they stay in the file for the user to mend.
void Config::keepNonUtf8Value(const QString &key, const QString &stored)
{
    m_keptInFile.insert(key, stored);
    emit loggingMessage(1, QStringLiteral("Значение параметра %1 в файле настроек записано не в кодировке UTF-8. "
                                          "Установлено значение по умолчанию.")
                               .arg(key));
    const QString found = QStringLiteral("Параметр %1 в файле настроек \"%2\" содержит текст не в кодировке UTF-8 "
                                         "(например, в кодировке Windows-1251). Значение остаётся в файле, пока "
                                         "параметр не будет изменён в настройках программы; чтобы программа его "
                                         "использовала, сохраните файл в кодировке UTF-8.")
                              .arg(key, settingsFilePath());
    emit warningMessage(
        QStringLiteral("Значение параметра \"%1\" записано не в кодировке UTF-8.").arg(descriptionOf(key)),
        rejectedValueText.arg(found));
}

bool Config::acceptStoredValue(const QString &key, const QString &value)
{
    // Every key of the four groups has its kind.
    const ValueKind kind = valueKinds.value(key);
    switch (kind) {
    case ValueKind::Login:
        if (validateLogin(value))
            return true;
        emit warningMessage(QStringLiteral("Указан некорректный логин."), rejectedValueText.arg(lastError));
        return false;
    case ValueKind::Path:
        if (validatePath(value))
            return true;
        emit warningMessage(QStringLiteral("Указан некорректный путь."), rejectedValueText.arg(lastError));
        return false;
    case ValueKind::Protocol:
        if (value == QLatin1String("https") || value == QLatin1String("http"))
            return true;
        emit warningMessage(QStringLiteral("Поддерживаются только протоколы https и http."), useDefaultText);
        return false;
    case ValueKind::Host:
    case ValueKind::ServiceHost:
        if (validateServer(value, kind == ValueKind::ServiceHost))
            return true;
        emit warningMessage(QStringLiteral("Указан некорректный адрес сервера."),
                            rejectedValueText.arg(lastError));
        return false;
    case ValueKind::Port:
        if (validatePort(value))
            return true;
        emit warningMessage(QStringLiteral("Указан некорректный порт сервера."),
                            rejectedValueText.arg(lastError));
        return false;
    case ValueKind::Timeout:
        if (validateTimeout(value))
            return true;
        emit warningMessage(QStringLiteral("Указано некорректное время ожидания."),
                            rejectedValueText.arg(lastError));
        return false;
    }
    return false;
}

void Config::createWorkDirs()
{
    const QMap<QString, QString> workFolders = paths();
    for (const QString &folder : workFolders) {
        if (QDir(folder).exists() || QDir().mkpath(folder))
            continue;
        emit warningMessage(QStringLiteral("В процессе создания рабочих папок возникла ошибка."),
                            QStringLiteral("%1 \"%2\" %3")
                                .arg(QStringLiteral("При создании папки"), shownPath(folder),
                                     QStringLiteral("возникла ошибка. Перед началом работы внесите "
                                                    "изменения в настройки.")));
    }
}
