#include "ui/LogView.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextFrame>

namespace {

// Formats of dropped lines held at most, about a kilobyte each: with one
// link per read, the document is made afresh every hundred-odd reads.
constexpr int formatsToRenew = 128;

} // namespace

LogView::LogView(QTextEdit* view)
    : view(view)
    , formatsKept(view->document()->allFormats().size())
{
}

void LogView::append(const QString& html)
{
    if (view->document()->blockCount() >= maxLines)
        dropOldest();
    view->append(html);
    view->moveCursor(QTextCursor::End);
}

void LogView::clear()
{
    view->clear();
    formatsKept = view->document()->allFormats().size();
}

// Every line dropped moves the layout of all the lines kept, so they go a
// hundred at a time, for about what one cost.
//
// A document never forgets a text format, and the link to each saved file
// brings one of its own. Once enough of them have piled up, the view takes
// a copy of its document, which holds only the formats its lines use. The
// copy is made away from the view, where it costs a tenth of what filling
// the view's own document would; the view then lays it out anew, once in a
// long while.
void LogView::dropOldest()
{
    QTextDocument* document = view->document();
    QTextCursor dropped(document);
    dropped.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, dropLines);
    dropped.removeSelectedText();
    if (document->allFormats().size() - formatsKept < formatsToRenew)
        return;
    // Not clone(): its copy would keep an undo record of the whole insert.
    auto* renewed = new QTextDocument(view);
    renewed->setUndoRedoEnabled(false);
    renewed->setDefaultFont(document->defaultFont());
    renewed->rootFrame()->setFrameFormat(document->rootFrame()->frameFormat());
    QTextCursor(renewed).insertFragment(QTextDocumentFragment(document));
    // The view deletes the document it made itself; the copies are ours.
    const bool ours = document->parent() == view;
    view->setDocument(renewed);
    if (ours)
        delete document;
    // The next line goes on from the last one, as in the document before.
    view->moveCursor(QTextCursor::End);
    formatsKept = renewed->allFormats().size();
}
