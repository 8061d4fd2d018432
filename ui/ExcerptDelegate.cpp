#include "ui/ExcerptDelegate.h"

#include "card/TextExcerpt.h"

namespace {

// Far more than any field of an ordinary status holds, and little enough
// for a view full of such cells to be laid out at once.
constexpr int shownCharacters = 300;

} // namespace

QString ExcerptDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    return QStyledItemDelegate::displayText(textExcerpt(value.toString(), shownCharacters), locale);
}
