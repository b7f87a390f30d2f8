#ifndef DISPATCHERSTATE_H
#define DISPATCHERSTATE_H

#include "cmddealmodule.h"

#include <QList>

#include <mutex>

// The dispatcher's queues and counters are process-wide; every test case starts
// from the state a freshly loaded library has.
inline void resetDispatcherState()
{
    {
        std::lock_guard<std::mutex> lock(CmdDealModule::receiveHexCmdlock);
        CmdDealModule::receivequeueHexCmd.clear();
    }
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::queueHexCmd.clear();
    CmdDealModule::bRetFlag = true;
    CmdDealModule::iSN = 1;
    CmdDealModule::iTimeoutCount = 0;
    CmdDealModule::iWatchdogSleepCnt = 0;
    CmdDealModule::nSysPlan = 0;
    CmdDealModule::m_bMainFrameProcessing = true;
}

inline QList<ProtocolData> takeQueuedReplies()
{
    std::lock_guard<std::mutex> lock(CmdDealModule::receiveHexCmdlock);
    QList<ProtocolData> replies(CmdDealModule::receivequeueHexCmd.begin(),
                                CmdDealModule::receivequeueHexCmd.end());
    CmdDealModule::receivequeueHexCmd.clear();
    return replies;
}

inline void queueCommand(const ProtocolData &command)
{
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::queueHexCmd.push_back(command);
}

#endif // DISPATCHERSTATE_H
