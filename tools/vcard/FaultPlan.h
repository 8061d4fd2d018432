#pragma once

#include "tools/vcard/CommandKind.h"

#include <QMap>
#include <QPair>
#include <QtGlobal>

// Misbehaviour ordered by a test: a forced status word or a short answer on
// the n-th command of a kind (counted from 1 over the whole run), other bytes
// stored than an UPDATE BINARY sent, answered as a success, or leaving the
// reader once the n-th command of a kind is carried out, before its answer.
class FaultPlan
{
public:
    struct Action
    {
        bool forced = false;
        quint16 status = 0;
        bool shortAnswer = false;
        bool storeOther = false;
        bool leave = false;
    };

    void forceStatus(CommandKind kind, int nth, quint16 status);
    void shortenAnswer(CommandKind kind, int nth);
    void storeOther(int nthUpdate);
    void leaveUnanswered(CommandKind kind, int nth);

    // Counts one command of the kind and says what to do with it.
    Action next(CommandKind kind);

private:
    using Key = QPair<int, int>;

    QMap<int, int> m_counts;
    QMap<Key, quint16> m_forced;
    QMap<Key, bool> m_short;
    QMap<int, bool> m_storeOther;
    QMap<Key, bool> m_leave;
};
