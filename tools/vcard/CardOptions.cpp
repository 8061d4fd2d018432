#include "tools/vcard/CardOptions.h"

#include "tools/vcard/CardImage.h"
#include "tools/vcard/CardImageFile.h"
#include "tools/vcard/CardProfiles.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>

#include <cctype>

namespace {

bool toNumber(const QString &text, int base, int min, int max, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok, base);
    if (!ok || number < min || number > max)
        return false;
    *value = number;
    return true;
}

bool toHex(const QString &text, QByteArray *bytes)
{
    const QByteArray latin = text.toLatin1();
    if (latin.isEmpty() || latin.size() % 2 != 0)
        return false;
    for (const char c : latin) {
        if (!isxdigit(uchar(c)))
            return false;
    }
    *bytes = QByteArray::fromHex(latin);
    return true;
}

// What an option of the form "kind:n" or "kind:n:SW" does to that command.
enum class Fault { ForceStatus, ShortAnswer, Leave };

// "kind:n", and "kind:n:SW" for a forced status word.
bool parseFault(const QString &spec, Fault fault, FaultPlan *plan)
{
    const QStringList parts = spec.split(QLatin1Char(':'));
    const bool withStatus = fault == Fault::ForceStatus;
    CommandKind kind;
    int nth = 0;
    if (parts.size() != (withStatus ? 3 : 2) || !commandKindFromName(parts.at(0), &kind)
        || !toNumber(parts.at(1), 10, 1, 1 << 30, &nth))
        return false;
    if (fault == Fault::ShortAnswer) {
        plan->shortenAnswer(kind, nth);
        return true;
    }
    if (fault == Fault::Leave) {
        plan->leaveUnanswered(kind, nth);
        return true;
    }
    int status = 0;
    if (parts.at(2).size() != 4 || !toNumber(parts.at(2), 16, 0, 0xFFFF, &status))
        return false;
    plan->forceStatus(kind, nth, quint16(status));
    return true;
}

// "FID:OFFSET:HEX", identifier in hexadecimal, offset in decimal.
bool parsePatch(const QString &spec, CardPatch *patch)
{
    const QStringList parts = spec.split(QLatin1Char(':'));
    int fid = 0;
    if (parts.size() != 3 || !toNumber(parts.at(0), 16, 1, 0xFFFF, &fid)
        || !toNumber(parts.at(1), 10, 0, 0xFFFF, &patch->offset) || !toHex(parts.at(2), &patch->bytes))
        return false;
    patch->fid = quint16(fid);
    return true;
}

} // namespace

QByteArray CardOptions::defaultAtr()
{
    // T=0 and T=1 offered, ten historical bytes, check byte last.
    QByteArray atr = QByteArray::fromHex("3B8A8001") + QByteArray("DRVP-TACHO");
    char check = 0;
    for (int i = 1; i < atr.size(); ++i)
        check ^= atr.at(i);
    return atr + check;
}

bool CardOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    const QCommandLineOption listOption("list-profiles", "List the built-in cards and exit.");
    const QCommandLineOption exportOption("export-image", "Write the card as an image file and exit.", "file");
    const QCommandLineOption portOption("port", "Port of the virtual reader on 127.0.0.1.", "port");
    const QCommandLineOption profileOption("profile", "Built-in card to be.", "name");
    const QCommandLineOption imageOption("image", "Card image file to be.", "file");
    const QCommandLineOption patchOption("patch", "Overwrite file bytes: FID:OFFSET:HEX.", "patch");
    const QCommandLineOption pinOption("pin", "The card's PIN (default 1234).", "pin");
    const QCommandLineOption pukOption("puk", "The card's PUK (default 12345678).", "puk");
    const QCommandLineOption pinTriesOption("pin-tries", "PIN tries left (default 3).", "n");
    const QCommandLineOption pukTriesOption("puk-tries", "PUK tries left (default 3).", "n");
    const QCommandLineOption atrOption("atr", "Answer to reset in hexadecimal.", "hex");
    const QCommandLineOption failOption("fail", "Status word for the n-th command of a kind: KIND:N:SW.", "spec");
    const QCommandLineOption shortOption("short", "Half the answer to the n-th command of a kind: KIND:N.",
                                         "spec");
    const QCommandLineOption leaveOption(
        "leave-on", "Leave the reader once the n-th command of a kind is carried out, before answering it: KIND:N.",
        "spec");
    const QCommandLineOption storeOtherOption(
        "store-other", "Store other bytes than the n-th UPDATE BINARY sent, answering 9000.", "n");
    const QCommandLineOption delayOption("delay-ms", "Delay before each answer.", "ms");
    const QCommandLineOption slowOption(
        "slow", "Delay before each answer to a command of a kind, or (atr) to the ATR after a reset: KIND:MS.", "spec");
    const QCommandLineOption removeOption("remove-after", "Leave the reader after the n-th command.", "n");
    const QCommandLineOption dumpOption("dump", "Write files and counters here when the card leaves.", "dir");
    const QCommandLineOption stampsOption(
        "stamps", "Print \"inserted T\" and \"answered T\" for each APDU, T the monotonic clock in ms.");
    const QCommandLineOption pauseOption(
        "pause", "Hold the first APDU, and the next one after each \"pause\" line on stdin, until a \"go\" line; "
                 "each hold is announced by a \"paused\" line on stdout.");
    parser.addOptions({listOption, exportOption, portOption, profileOption, imageOption, patchOption, pinOption,
                       pukOption, pinTriesOption, pukTriesOption, atrOption, failOption, shortOption,
                       leaveOption, storeOtherOption, delayOption, slowOption, removeOption, dumpOption,
                       pauseOption, stampsOption});
    if (!parser.parse(QStringList{QStringLiteral("vcard")} + arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }

    const auto fail = [error](const QString &message) {
        *error = message;
        return false;
    };
    listProfiles = parser.isSet(listOption);
    if (listProfiles)
        return true;
    exportImage = parser.value(exportOption);
    profile = parser.value(profileOption);
    imagePath = parser.value(imageOption);
    if (profile.isEmpty() == imagePath.isEmpty())
        return fail(QStringLiteral("give either --profile or --image"));
    int number = 0;
    if (parser.isSet(portOption)) {
        if (!toNumber(parser.value(portOption), 10, 1, 65535, &number))
            return fail(QStringLiteral("bad --port"));
        port = quint16(number);
    } else if (exportImage.isEmpty()) {
        return fail(QStringLiteral("--port is required"));
    }
    for (const QString &spec : parser.values(patchOption)) {
        CardPatch patch;
        if (!parsePatch(spec, &patch))
            return fail(QStringLiteral("bad --patch %1 (FID:OFFSET:HEX)").arg(spec));
        patches << patch;
    }
    if (parser.isSet(pinOption))
        pin = parser.value(pinOption).toUtf8();
    if (parser.isSet(pukOption))
        puk = parser.value(pukOption).toUtf8();
    if (pin.isEmpty() || pin.size() > 8 || puk.isEmpty() || puk.size() > 8)
        return fail(QStringLiteral("PIN and PUK take 1 to 8 bytes"));
    if ((parser.isSet(pinTriesOption) && !toNumber(parser.value(pinTriesOption), 10, 0, 15, &pinTries))
        || (parser.isSet(pukTriesOption) && !toNumber(parser.value(pukTriesOption), 10, 0, 15, &pukTries)))
        return fail(QStringLiteral("retry counters take 0 to 15"));
    if (parser.isSet(atrOption) && (!toHex(parser.value(atrOption), &atr) || atr.size() > 33))
        return fail(QStringLiteral("bad --atr (1 to 33 bytes in hexadecimal)"));
    for (const QString &spec : parser.values(failOption)) {
        if (!parseFault(spec, Fault::ForceStatus, &faults))
            return fail(QStringLiteral("bad --fail %1 (KIND:N:SW)").arg(spec));
    }
    for (const QString &spec : parser.values(shortOption)) {
        if (!parseFault(spec, Fault::ShortAnswer, &faults))
            return fail(QStringLiteral("bad --short %1 (KIND:N)").arg(spec));
    }
    for (const QString &spec : parser.values(leaveOption)) {
        if (!parseFault(spec, Fault::Leave, &faults))
            return fail(QStringLiteral("bad --leave-on %1 (KIND:N)").arg(spec));
    }
    for (const QString &spec : parser.values(storeOtherOption)) {
        if (!toNumber(spec, 10, 1, 1 << 30, &number))
            return fail(QStringLiteral("bad --store-other %1").arg(spec));
        faults.storeOther(number);
    }
    if (parser.isSet(delayOption) && !toNumber(parser.value(delayOption), 10, 0, 600000, &delayMs))
        return fail(QStringLiteral("bad --delay-ms"));
    for (const QString &spec : parser.values(slowOption)) {
        const QStringList parts = spec.split(QLatin1Char(':'));
        CommandKind kind;
        if (parts.size() != 2 || !toNumber(parts.at(1), 10, 0, 600000, &number))
            return fail(QStringLiteral("bad --slow %1 (KIND:MS)").arg(spec));
        if (parts.at(0) == QLatin1String("atr"))
            slowAtrMs = number;
        else if (commandKindFromName(parts.at(0), &kind))
            slowKinds.insert(kind, number);
        else
            return fail(QStringLiteral("bad --slow %1 (KIND:MS)").arg(spec));
    }
    if (parser.isSet(removeOption) && !toNumber(parser.value(removeOption), 10, 1, 1 << 30, &removeAfter))
        return fail(QStringLiteral("bad --remove-after"));
    dumpDir = parser.value(dumpOption);
    pause = parser.isSet(pauseOption);
    stamps = parser.isSet(stampsOption);
    return true;
}

bool CardOptions::buildCard(CardImage *card, QString *error) const
{
    CardImage built;
    if (!profile.isEmpty()) {
        if (!CardProfiles::build(profile, QDateTime::currentDateTimeUtc().date(), &built)) {
            *error = QStringLiteral("unknown profile %1 (see --list-profiles)").arg(profile);
            return false;
        }
    } else {
        QFile file(imagePath);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(imagePath, file.errorString());
            return false;
        }
        if (!CardImageFile::parse(file.readAll(), &built, error)) {
            *error = QStringLiteral("%1: %2").arg(imagePath, *error);
            return false;
        }
    }
    for (const CardPatch &patch : patches) {
        CardFile *target = built.file(patch.fid);
        if (!target || patch.offset + patch.bytes.size() > target->data.size()) {
            *error = QStringLiteral("patch of file %1 does not fit the card").arg(patch.fid, 4, 16, QChar('0'));
            return false;
        }
        target->data.replace(patch.offset, patch.bytes.size(), patch.bytes);
    }
    built.pin() = Credential(pin, pinTries, 3);
    built.puk() = Credential(puk, pukTries, 3);
    *card = built;
    return true;
}
