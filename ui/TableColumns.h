#pragma once

class QTableWidget;

// Sizes the columns of `table` to their content within its visible width:
// narrow columns keep their whole text, the widest share what is left, the
// last one takes the rest, and captions that cannot all stand on one line
// wrap. Rows grow to show wrapped text (what still does not fit shows in a
// tool tip, see CutTextTips.h). The table keeps to this when its width
// changes (as when a hidden page is first shown) and when the user drags a
// column.
void fitColumnsToContent(QTableWidget *table);

// Keeps `table` as quick as a short one however many rows it gets: from now
// on only the rows in view grow to their text, as they come into view (and
// the last rows, which set how far the table scrolls), and the columns are
// sized to the rows around the view.
void fitOnlyRowsInView(QTableWidget *table);
