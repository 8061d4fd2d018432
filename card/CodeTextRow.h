#pragma once

#include <QString>

#include <cstddef>

// One row of a constant code-to-text table. The tables are plain arrays, so
// they are complete before any code runs and cannot be changed.
template <typename Key>
struct CodeTextRow
{
    Key code;
    const char *text;
};

// Empty when the table has no row for the code.
template <typename Key, std::size_t N>
QString findCodeText(const CodeTextRow<Key> (&rows)[N], Key code)
{
    for (const CodeTextRow<Key> &row : rows) {
        if (row.code == code)
            return QString::fromUtf8(row.text);
    }
    return QString();
}
