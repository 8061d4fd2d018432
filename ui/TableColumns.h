#pragma once

class QTableWidget;

// Sizes the columns of `table` to their content within its visible width:
// narrow columns keep their whole text, the widest share what is left, and
// the last one takes the rest. Each cell whose text still does not fit gets
// the whole text as its tool tip. The table keeps to this whenever its width
// changes, as when a hidden page is first shown.
void fitColumnsToContent(QTableWidget *table);
