#pragma once

#include <QString>

#include <functional>

class QTextDocument;

// Saves the log view's document, as it stands when called, as HTML
// (declaring its UTF-8 charset) or as plain text with CR LF after every
// line, after asking where in a save dialog that starts in `folder`. A file that cannot be written is shown
// through `showError` (text, informative text, detailed text) and nothing
// partial is left.
void exportLog(const QTextDocument &log, bool html, const QString &folder,
               const std::function<void(const QString &, const QString &, const QString &)> &showError);

// The plain-text form: each text block followed by CR LF.
QString logPlainText(const QTextDocument &log);
