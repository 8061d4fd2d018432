// vcard: a tachograph card in the virtual PC/SC reader, for tests.

#include "tools/vcard/ApduEngine.h"
#include "tools/vcard/CardDump.h"
#include "tools/vcard/CardImage.h"
#include "tools/vcard/CardImageFile.h"
#include "tools/vcard/CardOptions.h"
#include "tools/vcard/CardProfiles.h"
#include "tools/vcard/CommandPause.h"
#include "tools/vcard/VpcdConnection.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <unistd.h>

namespace {

int failure(const QString &message, int code)
{
    QTextStream(stderr) << "vcard: " << message << '\n';
    return code;
}

void printProfiles()
{
    QTextStream out(stdout);
    const QDate today = QDateTime::currentDateTimeUtc().date();
    for (const QString &name : CardProfiles::names() + CardProfiles::flawedNames()) {
        CardImage card;
        CardProfiles::build(name, today, &card);
        QStringList fids;
        for (const CardFile &f : card.files())
            fids << QStringLiteral("%1").arg(f.fid, 4, 16, QChar('0')).toUpper();
        out << name << "\tkind " << int(card.kind()) << "\ttype " << int(card.type()) << '\t' << fids.join(',') << '\n';
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QString error;
    if (!VpcdConnection::watchTermination(&error))
        return failure(QStringLiteral("cannot watch for SIGTERM: %1").arg(error), 2);

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CardOptions options;
    if (!options.parse(arguments, &error))
        return failure(error, 2);
    if (options.listProfiles) {
        printProfiles();
        return 0;
    }
    CardImage card;
    if (!options.buildCard(&card, &error))
        return failure(error, 2);
    if (!options.exportImage.isEmpty()) {
        QFile file(options.exportImage);
        const QByteArray image = CardImageFile::serialize(card);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(image) != image.size())
            return failure(QStringLiteral("cannot write %1: %2").arg(options.exportImage, file.errorString()), 1);
        return 0;
    }

    ApduEngine engine(&card);
    engine.setFaultPlan(options.faults);
    VpcdConnection connection(&engine, options.atr);
    connection.setDelayMs(options.delayMs);
    connection.setSlowAnswers(options.slowKinds, options.slowAtrMs);
    connection.setRemoveAfter(options.removeAfter);
    connection.setStamps(options.stamps);
    CommandPause pause(STDIN_FILENO, true);
    if (options.pause)
        connection.setPause(&pause);
    if (!connection.open(options.port, &error))
        return failure(QStringLiteral("cannot connect to the reader at 127.0.0.1:%1: %2").arg(options.port).arg(error),
                       1);
    const VpcdConnection::End end = connection.serve(&error);
    connection.close();

    int code = 0;
    if (end == VpcdConnection::End::Failed)
        code = failure(QStringLiteral("reader link failed: %1").arg(error), 1);
    if (!options.dumpDir.isEmpty() && !CardDump::write(card, options.dumpDir, &error))
        code = failure(error, 1);
    return code;
}
