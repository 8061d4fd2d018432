#pragma once

#include <QStyledItemDelegate>

// Shows a long cell text as its start and its length, so that the view
// measures, wraps and paints no more than that however long the text is;
// the item keeps its whole text for copies and exports.
class ExcerptDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant &value, const QLocale &locale) const override;
};
