#include "readers/WriteTestValue.h"

#include <QDateTime>

namespace WriteTestValue {

QString text(bool isTime, qint64 value)
{
    const QString number = QStringLiteral("0x%1 / %2")
                               .arg(QString::number(quint32(value), 16).toUpper())
                               .arg(isTime ? value : qint64(quint32(value)));
    if (!isTime)
        return number;
    return number + QStringLiteral(", соответствует %1")
                        .arg(QDateTime::fromSecsSinceEpoch(value).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
}

quint32 fromBytes(const QByteArray &bytes)
{
    quint32 value = 0;
    for (const char byte : bytes)
        value = (value << 8) | quint8(byte);
    return value;
}

QByteArray toBytes(quint32 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(quint8(value));
    return bytes;
}

} // namespace WriteTestValue
