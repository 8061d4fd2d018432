#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

// One icon per picture file for the window's whole life. Every QIcon made
// from a file reads the picture anew, and the toolkit's pixmap cache keeps
// each such copy it drew scaled: a new icon for every change of a reader's
// row or a diagnosis tab would grow that cache with every card, up to its
// limit of megabytes.
class IconCache
{
public:
    QIcon icon(const QString& path);

private:
    QHash<QString, QIcon> icons;
};
