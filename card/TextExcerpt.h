#pragma once

#include <QString>

// What a log line or a message box shows of a text from outside the program
// (a server's reply, a stored setting): the text itself when it is short,
// otherwise its start and its length, so that no such text can flood the log,
// the log view or a box.
QString textExcerpt(const QString &text, int keep = 100);
