#include "card/TextExcerpt.h"

QString textExcerpt(const QString &text, int keep)
{
    if (text.size() <= keep)
        return text;
    // A cut between the halves of a surrogate pair would leave half a character.
    const int cut = keep > 0 && text.at(keep - 1).isHighSurrogate() ? keep - 1 : keep;
    return QStringLiteral("%1… (всего символов: %2)").arg(text.left(cut)).arg(text.size());
}
