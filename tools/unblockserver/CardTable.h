#pragma once

#include <QString>

// The server's answers: a few cards with their PUKs, one account counter
// and a short list of recent requests.
class CardTable
{
public:
    // The reply body for one request text; a status of `statusRows` rows.
    static QString answer(const QString& request, int statusRows);

    static QString counter();
    // The two rows of the account, repeated as often as needed.
    static QString statusRows(int count);
};
