#include "tools/vcard/FaultPlan.h"

void FaultPlan::forceStatus(CommandKind kind, int nth, quint16 status)
{
    m_forced.insert(Key(int(kind), nth), status);
}

void FaultPlan::shortenAnswer(CommandKind kind, int nth)
{
    m_short.insert(Key(int(kind), nth), true);
}

void FaultPlan::storeOther(int nthUpdate)
{
    m_storeOther.insert(nthUpdate, true);
}

void FaultPlan::leaveUnanswered(CommandKind kind, int nth)
{
    m_leave.insert(Key(int(kind), nth), true);
}

FaultPlan::Action FaultPlan::next(CommandKind kind)
{
    const int nth = ++m_counts[int(kind)];
    const Key key(int(kind), nth);
    Action action;
    const auto forced = m_forced.constFind(key);
    if (forced != m_forced.constEnd()) {
        action.forced = true;
        action.status = forced.value();
    }
    action.shortAnswer = m_short.contains(key);
    action.storeOther = kind == CommandKind::Update && m_storeOther.contains(nth);
    action.leave = m_leave.contains(key);
    return action;
}
