#pragma once

#include <QString>

// The server's answers: a few cards with their PUKs, one account counter
// and a short list of recent requests.
class CardTable
{
public:
    // The reply body for one request text; a status of `statusRows` rows.
    static QString answer(const QString& request, int statusRows, int firstFieldLength = 0);

    static QString counter();
    // The two rows of the account, repeated as often as needed; above 0,
    // the first row's first field is a text of that many characters.
    static QString statusRows(int count, int firstFieldLength = 0);
};
