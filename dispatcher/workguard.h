#ifndef WORKGUARD_H
#define WORKGUARD_H

#include "cmddealmodule.h"
#include "timerperiod.h"

// Counts one unit of work (a worker loop, a watchdog, a detached job) that uses the
// object; the destructor waits until none is left. While work runs, its polls keep
// their pace (FineTimerPeriod).
class CmdDealModule::WorkGuard
{
public:
    explicit WorkGuard(CmdDealModule *module)
        : m_module(module)
        , m_active(module->beginWork())
    {
    }
    ~WorkGuard()
    {
        if (m_active)
            m_module->endWork();
    }
    WorkGuard(const WorkGuard &) = delete;
    WorkGuard &operator=(const WorkGuard &) = delete;

    // False when the object was already being destroyed: the caller must not loop.
    bool active() const { return m_active; }

private:
    CmdDealModule *m_module;
    bool m_active;
    FineTimerPeriod m_fineTimers;
};

#endif // WORKGUARD_H
