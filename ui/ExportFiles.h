#pragma once

#include <QString>

class WholeFileWriter;

// A save dialog titled `title` in `folder` with `defaultName` preselected
// and `nameFilter`; the chosen path, or empty when the user cancelled. The
// dialog does not ask about replacing a file: mayWriteFile does, once the
// name is complete.
QString askSaveFileName(const QString &title, const QString &folder, const QString &defaultName,
                        const QString &nameFilter);

// True when `path` is free or the user agrees to replace the file there;
// false, with a box saying why, when a folder, a pipe or a device is there.
bool mayWriteFile(const QString &path);

// Why files cannot be written into the export folder, for the user (the
// folder named); empty when they can.
QString exportFolderProblem(const QString &folder);

// "<code>: <reason>" of a file's failed step.
QString fileErrorDetail(const WholeFileWriter &file);
