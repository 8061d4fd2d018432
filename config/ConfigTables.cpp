#include "config/ConfigTables.h"

const QMap<QString, QString> pathParams = {
    {QStringLiteral("ProductPath"), QStringLiteral("Путь к исполняемому файлу Дравек Про")},
    {QStringLiteral("dddPath"), QStringLiteral("Путь к ddd файлам")},
    {QStringLiteral("ExportPath"), QStringLiteral("Путь экспорта")},
};

const QMap<QString, QString> certParams = {
    {QStringLiteral("CertCA"), QStringLiteral("Корневой сертификат УЦ")},
    {QStringLiteral("CertUser"), QStringLiteral("Сертификат пользователя")},
    {QStringLiteral("PKeyUser"), QStringLiteral("Закрытый ключ пользователя")},
};

const QMap<QString, QString> unblockServerParams = {
    {QStringLiteral("Server"), QStringLiteral("Адрес сервера разблокировки")},
    {QStringLiteral("Port"), QStringLiteral("Порт сервера разблокировки")},
    {QStringLiteral("Timeout"), QStringLiteral("Время ожидания отклика от сервера разблокировки")},
};

const QMap<QString, QString> serviceParams = {
    {QStringLiteral("KvarnolServer"), QStringLiteral("Адрес сервера Кварноля")},
    {QStringLiteral("KvarnolLogin"), QStringLiteral("Логин пользователя Кварноля (адрес электронной почты)")},
    {QStringLiteral("LotvarskServer"), QStringLiteral("Адрес сервера Лотварской")},
    {QStringLiteral("LotvarskLogin"), QStringLiteral("Логин пользователя Лотварской (адрес электронной почты)")},
    {QStringLiteral("Protocol"), QStringLiteral("Протокол передачи данных в сервисы")},
};

// Anchored as a whole: a text that merely contains a host (e.g.
// "x.ru@evil.com") must not pass, as the upload login and password are sent
// to it. Labels follow the DNS rules (letters, digits, inner hyphens, up to
// 63 characters); a last label of digits alone can only be part of an IPv4
// address. The port is allowed only where the host goes into a URL.
const QString hostRegExp = QStringLiteral(
    "\\A(?:(?<ip>(?:\\d{1,3}\\.){3}\\d{1,3})"
    "|(?<dns>(?:[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)*"
    "(?![0-9]+(?::|\\z))[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?))"
    "(?::(?<port>\\d{1,5}))?\\z");
const QString portRegExp = QStringLiteral("\\A\\d{1,5}\\z");
const QString timeoutRegExp = QStringLiteral("\\A\\d{3,5}\\z");
