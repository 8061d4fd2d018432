// Writes the seeds of fuzz_cardreader: for each built-in profile of the
// virtual card, its answers to an insertion read and a whole read, in the
// input format of ScriptedCard (0x80, length, data, status word).
//   make-cardreader-corpus DIR

#include "readers/CardReader.h"
#include "tests/fuzz/FuzzPcsc.h"
#include "tools/vcard/ApduEngine.h"
#include "tools/vcard/CardImage.h"
#include "tools/vcard/CardProfiles.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstring>

namespace {

QByteArray recordRead(const QString &profile)
{
    CardImage image;
    if (!CardProfiles::build(profile, QDate(2026, 6, 1), &image))
        return QByteArray();
    ApduEngine engine(&image);
    FuzzPcsc::onCardReset = [&engine] { engine.reset(); };
    QByteArray seed;
    CardReader reader(QStringLiteral("Fuzz Reader 00 00"), 1);
    reader.card.setTransmitter([&](const QByteArray &apdu, quint8 *response, quint32 *length) {
        const QByteArray answer = engine.transmit(apdu);
        seed += char(0x80);
        seed += char(answer.size() - 2);
        seed += answer;
        if (quint32(answer.size()) > *length)
            return qint32(0x80100008);
        std::memcpy(response, answer.constData(), size_t(answer.size()));
        *length = quint32(answer.size());
        return qint32(0);
    });
    if (!reader.readGeneralInfo())
        return seed;
    reader.connectCard();
    reader.card.pin = SecretBytes("1234");
    if (reader.card.cardKind == 1)
        reader.card.verifyPin();
    reader.readAllFiles();
    reader.disconnectCard();
    FuzzPcsc::onCardReset = nullptr;
    return seed;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-cardreader-corpus DIR\n");
        return 2;
    }
    QDir().mkpath(QString::fromLocal8Bit(argv[1]));
    for (const QString &profile : CardProfiles::names()) {
        QFile file(QDir(QString::fromLocal8Bit(argv[1])).filePath(profile));
        if (!file.open(QIODevice::WriteOnly) || file.write(recordRead(profile)) < 0)
            return 1;
    }
    return 0;
}
