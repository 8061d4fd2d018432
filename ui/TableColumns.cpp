#include "ui/TableColumns.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTableWidget>
#include <QVector>

#include <algorithm>
#include <numeric>

namespace {

const char *const fitterName = "columnFitter";
// Rows whose texts size the columns of a table that fits only its rows in
// view: more than one view shows, few enough to be measured at once.
constexpr int sampledRows = 50;

int sum(const QVector<int> &widths)
{
    return std::accumulate(widths.cbegin(), widths.cend(), 0);
}

// The widths that fit `room`: each column gets what it wants up to a common
// cap, never less than its floor; the last one takes what is left.
QVector<int> shareRoom(const QVector<int> &wanted, const QVector<int> &floors, int room)
{
    const auto widthsUnder = [&](int cap) {
        QVector<int> widths;
        for (int c = 0; c < wanted.size(); ++c)
            widths << qMax(floors[c], qMin(wanted[c], cap));
        return widths;
    };
    int low = 0;
    int high = *std::max_element(wanted.cbegin(), wanted.cend());
    while (low < high) {
        const int cap = (low + high + 1) / 2;
        if (sum(widthsUnder(cap)) <= room)
            low = cap;
        else
            high = cap - 1;
    }
    QVector<int> widths = widthsUnder(low);
    widths.last() += qMax(0, room - sum(widths));
    return widths;
}

// A column's caption: its width on one line and, for wrapping, the width of
// its longest word, each with the section's padding.
struct Caption
{
    QString text;
    QFont font;
    int padding = 0;
    int line = 0;
    int word = 0;
};

Caption captionOf(const QTableWidget *table, int column)
{
    const QHeaderView *header = table->horizontalHeader();
    const QVariant font = table->model()->headerData(column, Qt::Horizontal, Qt::FontRole);
    Caption caption;
    caption.text = table->model()->headerData(column, Qt::Horizontal).toString();
    caption.font = font.isValid() ? font.value<QFont>() : header->font();
    const QFontMetrics metrics(caption.font);
    caption.line = qMax(header->sectionSizeHint(column), header->minimumSectionSize());
    caption.padding = qMax(0, caption.line - metrics.horizontalAdvance(caption.text));
    int longest = 0;
    for (const QString &word : caption.text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        longest = qMax(longest, metrics.horizontalAdvance(word));
    caption.word = qMin(caption.line, caption.padding + longest);
    return caption;
}

// How much taller than one line the captions are when wrapped into `widths`.
int wrappedCaptionsExtra(const QVector<Caption> &captions, const QVector<int> &widths)
{
    int extra = 0;
    for (int c = 0; c < captions.size(); ++c) {
        const QFontMetrics metrics(captions[c].font);
        const QRect box(0, 0, qMax(1, widths[c] - captions[c].padding), 10000);
        extra = qMax(extra, metrics.boundingRect(box, Qt::TextWordWrap, captions[c].text).height() - metrics.height());
    }
    return extra;
}

// Keeps one table fitted: after each fill, when its viewport gets another
// width, and when the user drags a column to another width; a table that
// fits only its rows in view also when it scrolls or grows taller.
class ColumnFitter : public QObject
{
public:
    explicit ColumnFitter(QTableWidget *table)
        : QObject(table)
        , table(table)
    {
        setObjectName(QLatin1String(fitterName));
        table->viewport()->installEventFilter(this);
        connect(table->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
            if (!fitting)
                showWrappedText();
        });
    }

    void fitOnlyRowsInView()
    {
        if (onlyRowsInView)
            return;
        onlyRowsInView = true;
        table->horizontalHeader()->setResizeContentsPrecision(sampledRows);
        connect(table->verticalScrollBar(), &QScrollBar::valueChanged, this, &ColumnFitter::fitRowsInView);
    }

    void fit()
    {
        const int count = table->columnCount();
        if (count == 0)
            return;
        QHeaderView *header = table->horizontalHeader();
        const int room = table->viewport()->width();
        // Captions stay whole: on one line while the page has room for that,
        // else wrapped at their words.
        QVector<Caption> captions;
        QVector<int> lines, words;
        for (int c = 0; c < count; ++c) {
            captions << captionOf(table, c);
            lines << captions.last().line;
            words << captions.last().word;
        }
        const bool wrapCaptions = sum(lines) > room;
        QVector<int> floors = wrapCaptions ? words : lines;
        if (sum(floors) > room)
            floors.fill(header->minimumSectionSize());
        // QTableView hides the hint that QAbstractItemView offers.
        const QAbstractItemView *view = table;
        QVector<int> wanted;
        for (int c = 0; c < count; ++c)
            wanted << std::max({floors[c], lines[c], view->sizeHintForColumn(c)});
        const QVector<int> widths = shareRoom(wanted, floors, room);
        fitting = true;
        for (int c = 0; c < count; ++c)
            header->resizeSection(c, widths[c]);
        fitting = false;
        // The header takes the word-wrap flag with its alignment.
        const int alignment = int(header->defaultAlignment()) & ~Qt::TextWordWrap;
        header->setDefaultAlignment(Qt::Alignment(wrapCaptions ? alignment | Qt::TextWordWrap : alignment));
        header->setMinimumHeight(wrapCaptions ? header->sizeHint().height() + wrappedCaptionsExtra(captions, widths)
                                              : 0);
        showWrappedText();
    }

    bool eventFilter(QObject * /*watched*/, QEvent *event) override
    {
        if (event->type() == QEvent::Resize) {
            const auto *resize = static_cast<QResizeEvent *>(event);
            if (resize->size().width() != resize->oldSize().width())
                fit();
            else if (onlyRowsInView)
                showWrappedText();
        }
        return false;
    }

private:
    // The cells wrap their words: the rows show what no longer fits a line.
    // A table that fits only its rows in view fits its last rows too, which
    // set how far it scrolls.
    void showWrappedText()
    {
        if (!onlyRowsInView) {
            table->resizeRowsToContents();
            return;
        }
        fitRowsInView();
        fitLastRows();
    }

    // From the top of the view down, each row sized before the next one's
    // place is known.
    void fitRowsInView()
    {
        const QHeaderView *header = table->verticalHeader();
        const int first = header->logicalIndexAt(0);
        if (first < 0)
            return;
        int top = header->sectionViewportPosition(first);
        for (int row = first; row < table->rowCount() && top < table->viewport()->height(); ++row) {
            table->resizeRowToContents(row);
            top += table->rowHeight(row);
        }
    }

    void fitLastRows()
    {
        int height = 0;
        for (int row = table->rowCount() - 1; row >= 0 && height < table->viewport()->height(); --row) {
            table->resizeRowToContents(row);
            height += table->rowHeight(row);
        }
    }

    QTableWidget *table;
    bool onlyRowsInView = false;
    bool fitting = false;
};

ColumnFitter *fitterOf(QTableWidget *table)
{
    // Only a fitter bears that name among the table's children.
    auto *fitter = static_cast<ColumnFitter *>(
        table->findChild<QObject *>(QLatin1String(fitterName), Qt::FindDirectChildrenOnly));
    return fitter ? fitter : new ColumnFitter(table);
}

} // namespace

void fitColumnsToContent(QTableWidget *table)
{
    fitterOf(table)->fit();
}

void fitOnlyRowsInView(QTableWidget *table)
{
    fitterOf(table)->fitOnlyRowsInView();
}
