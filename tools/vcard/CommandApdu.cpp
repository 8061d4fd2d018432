#include "tools/vcard/CommandApdu.h"

bool CommandApdu::parse(const QByteArray &bytes, CommandApdu *apdu)
{
    if (bytes.size() < 4)
        return false;
    CommandApdu parsed;
    parsed.cla = quint8(bytes.at(0));
    parsed.ins = quint8(bytes.at(1));
    parsed.p1 = quint8(bytes.at(2));
    parsed.p2 = quint8(bytes.at(3));
    if (bytes.size() == 5) {
        parsed.hasLe = true;
        parsed.le = quint8(bytes.at(4)) == 0 ? 256 : quint8(bytes.at(4));
    } else if (bytes.size() > 5) {
        const int lc = quint8(bytes.at(4));
        if (lc == 0 || (bytes.size() != 5 + lc && bytes.size() != 6 + lc))
            return false;
        parsed.data = bytes.mid(5, lc);
        if (bytes.size() == 6 + lc) {
            parsed.hasLe = true;
            parsed.le = quint8(bytes.back()) == 0 ? 256 : quint8(bytes.back());
        }
    }
    *apdu = parsed;
    return true;
}
