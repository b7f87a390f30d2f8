#include "cmddealmodule.h"
#include "dispatchlog.h"
#include "workguard.h"

namespace {
constexpr int kResendPauseMs = 20;
constexpr int kMaxExpiriesBeforeClear = 9;
}

int CmdDealModule::countExpiry()
{
    int count;
    {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        count = ++iTimeoutCount;
    }
    qCDebug(lcDispatch) << "Timeout watchdog resend! iTimeoutCount:" << count;
    return count;
}

bool CmdDealModule::resendCurrent()
{
    // signalInitCore tells the host a resend follows; the pause gives it time to act.
    emit signalInitCore();
    if (!sleepFor(kResendPauseMs))
        return false;
    emit signalSendMessage(&curCmd);
    return true;
}

void CmdDealModule::timeoutWatchdog(int sn)
{
    WorkGuard guard(this);
    if (!guard.active())
        return;

    if (bSkipSendcmd) {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        queueHexCmd.clear();
        return;
    }

    int timeoutMs;
    {
        // The send worker assigns curCmd under this lock.
        std::lock_guard<std::mutex> lock(HexCmdlock);
        timeoutMs = curCmd.iTimeoutMs;
    }
    if (timeoutMs > 0 && !sleepFor(timeoutMs))
        return;
    if (iSN != sn)
        return;

    if (!bRetFlag) {
        if (countExpiry() <= 1) {
            if (!resendCurrent())
                return;
            const int current = iSN;
            runDetached([this, current] { timeoutWatchdog(current); });
            return;
        }
        qCDebug(lcDispatch) << "Resend stop";
    }
    std::lock_guard<std::mutex> lock(HexCmdlock);
    bRetFlag = true;
}

void CmdDealModule::timeoutClearQueue()
{
    if (iTimeoutCount <= kMaxExpiriesBeforeClear)
        return;
    std::lock_guard<std::mutex> lock(HexCmdlock);
    queueHexCmd.clear();
    qCDebug(lcDispatch) << "Clear QueueHexCmd!";
    iTimeoutCount = 0;
}

void CmdDealModule::setWatchdogSleepTime()
{
    WorkGuard guard(this);
    int timeoutMs;
    {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        timeoutMs = curCmd.iTimeoutMs;
    }
    if (timeoutMs > 0 && guard.active())
        sleepFor(timeoutMs);
}
