#include "cmddealmodule.h"
#include "dispatchlog.h"
#include "workguard.h"

#include <climits>

namespace {
// Polls during which commands wait for a reply; drives the periodic size report.
std::atomic<int> iQueuePollCnt{0};

constexpr int kSendPollMs = 10;
// Each poll is charged as this many milliseconds of a command's timeout.
constexpr int kChargedMsPerPoll = 15;
constexpr int kPollsPerSizeReport = 20;
} // namespace

void CmdDealModule::GetQueueWork()
{
    WorkGuard guard(this);
    if (!guard.active())
        return;

    // iSN right after the last release; 0 means nothing released yet (iSN starts at 1).
    int lastSentSN = 0;
    while (bSendWorkRun) {
        if (!pollSleep(kSendPollMs))
            return;

        const int n = commandQueueSize();
        if (n > 0) {
            if (bSkipSendcmd) {
                std::lock_guard<std::mutex> lock(HexCmdlock);
                queueHexCmd.clear();
                continue;
            }
            if (bRetFlag) {
                if (releaseFront()) {
                    lastSentSN = iSN;
                    continue;
                }
            } else {
                const int polls = ++iQueuePollCnt;
                if (polls % kPollsPerSizeReport == 0 && m_bMainFrameProcessing) {
                    emit signalQueueSize(n);
                    iQueuePollCnt = 0;
                }
            }
        }
        expiryCheck(lastSentSN);
    }
}

bool CmdDealModule::releaseFront()
{
    {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        if (queueHexCmd.empty())
            return false;
        curCmd = queueHexCmd.front();
        queueHexCmd.pop_front();
        if (nSysPlan == 0)
            bRetFlag = false;
    }
    curCmd.bySN = static_cast<unsigned char>(iSN & 0xFF);
    {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        ++iSN;
    }
    {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        iTimeoutCount = 0;
        iWatchdogSleepCnt = 0;
    }
    emit signalSendMessage(&curCmd);
    emit signalSendMessageUipro(&curCmd);
    emit signalQueueSize(m_bMainFrameProcessing ? commandQueueSize() : -2);
    return true;
}

void CmdDealModule::expiryCheck(int lastSentSN)
{
    {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        // Saturate instead of wrapping negative after months of idling, which
        // would make every later command look unexpired.
        if (iWatchdogSleepCnt < INT_MAX / kChargedMsPerPoll)
            ++iWatchdogSleepCnt;
    }
    if (iWatchdogSleepCnt * kChargedMsPerPoll < curCmd.iTimeoutMs)
        return;
    if (iSN != lastSentSN)
        return;
    if (bRetFlag) {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        bRetFlag = true;
        return;
    }

    if (countExpiry() <= 1) {
        if (!resendCurrent())
            return;
        std::lock_guard<std::mutex> lock(HexCmdlock);
        iWatchdogSleepCnt = 0;
        return;
    }

    emit signalSendTimeOut();
    qCDebug(lcDispatch) << "Resend stop";
    std::lock_guard<std::mutex> lock(HexCmdlock);
    bRetFlag = true;
}
