#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>
#include <QTest>

// What a user trying to change a cell does: a double click on it, then "x"
// and Return, into the editor that opened over the cell if one did, else into
// the table. The caller compares the cell's text before and after.
inline void tryToEditCell(QTableWidget* table, const QTableWidgetItem* item)
{
    const QPoint centre = table->visualItemRect(item).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, centre);
    const auto editor = [table]() -> QWidget* {
        for (QLineEdit* edit : table->viewport()->findChildren<QLineEdit*>()) {
            if (edit->isVisible())
                return edit;
        }
        return nullptr;
    };
    QTest::keyClick(editor() ? editor() : table, Qt::Key_X);
    const QPointer<QWidget> open = editor();
    if (!open)
        return;
    // The view commits on its next turn.
    QTest::keyClick(open, Qt::Key_Return);
    if (!QTest::qWaitFor([&open] { return !open || !open->isVisible(); }))
        qWarning("tryToEditCell: the editor stayed open");
}
