#pragma once

#include <QString>

class QTextEdit;

// The window's log view: coloured lines appended at the end, at most
// maxLines of them, the oldest dropping out. A line costs the same whether
// the view is empty or full, and the lines that drop out take what they
// held with them, so the view stays the same size however long the program
// runs.
class LogView
{
public:
    explicit LogView(QTextEdit* view);

    // One line of the logger's HTML, shown at once.
    void append(const QString& html);
    void clear();

    static constexpr int maxLines = 1000;
    // Dropped at once when the view is full.
    static constexpr int dropLines = 100;

private:
    void dropOldest();

    QTextEdit* view;
    // Text formats the document held when it was last made afresh.
    int formatsKept = 0;
};
