#include "tools/vcard/CommandKind.h"

#include "tools/vcard/CommandApdu.h"

#include <QMap>

CommandKind commandKindOf(const CommandApdu &apdu)
{
    switch (apdu.ins) {
    case 0xA4: return CommandKind::Select;
    case 0xB0: return CommandKind::Read;
    case 0xD6: return CommandKind::Update;
    case 0x20: return CommandKind::Verify;
    case 0x2C: return CommandKind::Unblock;
    case 0x2A: return apdu.p1p2() == 0x9000 ? CommandKind::Hash : CommandKind::Sign;
    default: return CommandKind::Other;
    }
}

bool commandKindFromName(const QString &name, CommandKind *kind)
{
    static const QMap<QString, CommandKind> kinds{
        {QStringLiteral("select"), CommandKind::Select}, {QStringLiteral("read"), CommandKind::Read},
        {QStringLiteral("update"), CommandKind::Update}, {QStringLiteral("verify"), CommandKind::Verify},
        {QStringLiteral("unblock"), CommandKind::Unblock}, {QStringLiteral("hash"), CommandKind::Hash},
        {QStringLiteral("sign"), CommandKind::Sign}};
    const auto it = kinds.constFind(name);
    if (it == kinds.constEnd())
        return false;
    *kind = it.value();
    return true;
}
