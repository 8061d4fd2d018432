#pragma once

#include <QString>

// The server's answers: a few cards with their PUKs, one account counter
// and a short list of recent requests.
class CardTable
{
public:
    // The reply body for one request text.
    static QString answer(const QString& request);

    static QString counter();
    static QString statusRows();
};
