#include "ui/CutTextTips.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QStyleOptionTab>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTableView>
#include <QToolTip>

namespace {

// The cell's text needs more than its cell, wrapped at its words where the
// table wraps them.
bool cellIsCut(const QTableView *table, const QModelIndex &index)
{
    QStyleOptionViewItem option;
    option.initFrom(table);
    option.font = table->font();
    const int icon = table->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, table);
    option.decorationSize = table->iconSize().isValid() ? table->iconSize() : QSize(icon, icon);
    option.widget = table;
    if (table->wordWrap())
        option.features |= QStyleOptionViewItem::WrapText;
    option.rect = table->visualRect(index);
    const QSize needed = table->itemDelegate(index)->sizeHint(option, index);
    return needed.width() > option.rect.width() || needed.height() > option.rect.height();
}

// What the cell shows of its text, which is all a tip may show of it: a
// table's delegate may show a long text as an excerpt.
QString shownText(const QTableView *table, const QModelIndex &index)
{
    const QVariant value = index.data(Qt::DisplayRole);
    const auto *delegate = qobject_cast<const QStyledItemDelegate *>(table->itemDelegate(index));
    return delegate ? delegate->displayText(value, table->locale()) : value.toString();
}

// A caption narrower than its one line is whole only when the captions wrap
// and each of its words fits.
bool captionIsCut(const QHeaderView *header, int section)
{
    const int width = header->sectionSize(section);
    const int line = header->sectionSizeHint(section);
    if (width >= line)
        return false;
    if (!(header->defaultAlignment() & Qt::TextWordWrap))
        return true;
    const QString text = header->model()->headerData(section, header->orientation()).toString();
    const QVariant font = header->model()->headerData(section, header->orientation(), Qt::FontRole);
    const QFontMetrics metrics(font.isValid() ? font.value<QFont>() : header->font());
    const int padding = line - metrics.horizontalAdvance(text);
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (metrics.horizontalAdvance(word) + padding > width)
            return true;
    }
    return false;
}

// The bar elides a title to the text room its style leaves in the tab.
bool tabTitleIsCut(const QTabBar *bar, int index)
{
    QStyleOptionTab option;
    option.initFrom(bar);
    option.rect = bar->tabRect(index);
    option.text = bar->tabText(index);
    option.icon = bar->tabIcon(index);
    option.iconSize = bar->iconSize();
    option.shape = bar->shape();
    const QRect room = bar->style()->subElementRect(QStyle::SE_TabBarTabText, &option, bar);
    return bar->fontMetrics().horizontalAdvance(option.text) > room.width();
}

class CutTextTips : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        const auto *help = static_cast<QHelpEvent *>(event);
        auto *widget = static_cast<QWidget *>(watched);
        QString text;
        QRect area;
        if (auto *bar = qobject_cast<QTabBar *>(widget)) {
            const int tab = bar->tabAt(help->pos());
            if (tab < 0 || !tabTitleIsCut(bar, tab))
                return false;
            // The title first, then what the tab's own tip says of it.
            text = bar->tabText(tab);
            if (!bar->tabToolTip(tab).isEmpty())
                text += QLatin1Char('\n') + bar->tabToolTip(tab);
            area = bar->tabRect(tab);
        } else if (auto *header = qobject_cast<QHeaderView *>(widget->parent())) {
            const int section = header->logicalIndexAt(help->pos());
            if (section < 0 || !captionIsCut(header, section))
                return false;
            text = header->model()->headerData(section, header->orientation()).toString();
        } else if (auto *table = qobject_cast<QTableView *>(widget->parent())) {
            const QModelIndex index = table->indexAt(help->pos());
            // A cell's own tip is the view's to show.
            if (!index.isValid() || !index.data(Qt::ToolTipRole).toString().isEmpty() || !cellIsCut(table, index))
                return false;
            text = shownText(table, index);
            area = table->visualRect(index);
        }
        if (text.isEmpty())
            return false;
        QToolTip::showText(help->globalPos(), text, widget, area);
        return true;
    }
};

} // namespace

void showCutTextsInToolTips(QWidget *window)
{
    auto *tips = new CutTextTips(window);
    for (QTableView *table : window->findChildren<QTableView *>()) {
        table->viewport()->installEventFilter(tips);
        table->horizontalHeader()->viewport()->installEventFilter(tips);
    }
    for (QTabBar *bar : window->findChildren<QTabBar *>())
        bar->installEventFilter(tips);
}
