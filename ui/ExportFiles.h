#pragma once

#include <QString>

class QFileDevice;

// A save dialog titled `title` in `folder` with `defaultName` preselected
// and `nameFilter`; the chosen path, or empty when the user cancelled.
QString askSaveFileName(const QString &title, const QString &folder, const QString &defaultName,
                        const QString &nameFilter);

// The dialog confirms only the name the user chose; a name we completed
// (an added extension) that names an existing file is asked about here.
bool mayWriteFile(const QString &path, const QString &chosenPath);

// "<code>: <text>" of a file's last error.
QString fileErrorDetail(const QFileDevice &file);
