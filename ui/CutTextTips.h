#pragma once

class QWidget;

// Every text of `window` that the user cannot read whole shows whole in its
// tool tip: the cells and captions of its tables that their columns cut, and
// the tab titles that their bar cuts. Decided when the tip is asked for, so
// it holds whatever resized a table or a bar since its texts were set.
void showCutTextsInToolTips(QWidget *window);
