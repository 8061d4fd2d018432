#include "ui/IconCache.h"

QIcon IconCache::icon(const QString& path)
{
    auto found = icons.find(path);
    if (found == icons.end())
        found = icons.insert(path, QIcon(path));
    return found.value();
}
