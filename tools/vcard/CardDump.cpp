#include "tools/vcard/CardDump.h"

#include "tools/vcard/CardImage.h"

#include <QDir>
#include <QFile>

namespace CardDump {

namespace {
bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
} // namespace

bool write(const CardImage &card, const QString &dir, QString *error)
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    for (const CardFile &f : card.files()) {
        const QString name = QStringLiteral("%1.bin").arg(QString::number(f.fid, 16).toUpper(), 4, QChar('0'));
        if (!writeFile(QDir(dir).filePath(name), f.data, error))
            return false;
    }
    const QByteArray counters = "pin-tries=" + QByteArray::number(card.pin().triesLeft()) + "\n"
                                + "pin-max-tries=" + QByteArray::number(card.pin().maxTries()) + "\n"
                                + "puk-tries=" + QByteArray::number(card.puk().triesLeft()) + "\n"
                                + "puk-max-tries=" + QByteArray::number(card.puk().maxTries()) + "\n"
                                + "pin=" + card.pin().reference().toHex().toUpper() + "\n"
                                + "puk=" + card.puk().reference().toHex().toUpper() + "\n";
    return writeFile(QDir(dir).filePath(QStringLiteral("counters.txt")), counters, error);
}

} // namespace CardDump
