#include "dispatcherstate.h"

#include <mutex>

void resetDispatcherState()
{
    std::lock_guard<std::mutex> receiveLock(CmdDealModule::receiveHexCmdlock);
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::queueHexCmd.clear();
    CmdDealModule::receivequeueHexCmd.clear();
    CmdDealModule::bRetFlag = true;
    CmdDealModule::iSN = 1;
    CmdDealModule::iTimeoutCount = 0;
    CmdDealModule::iWatchdogSleepCnt = 0;
    CmdDealModule::nSysPlan = 0;
    CmdDealModule::m_bMainFrameProcessing = true;
}

void queueCommand(const ProtocolData &command)
{
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::queueHexCmd.push_back(command);
}

void queueReply(const ProtocolData &reply)
{
    std::lock_guard<std::mutex> receiveLock(CmdDealModule::receiveHexCmdlock);
    CmdDealModule::receivequeueHexCmd.push_back(reply);
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::bRetFlag = true;
}

ProtocolData replyTo(const ProtocolData &sent)
{
    ProtocolData reply;
    reply.byHead = sent.byHead;
    reply.bySN = sent.bySN;
    reply.byCmd = sent.byCmd;
    reply.bySubCmd = sent.bySubCmd;
    return reply;
}

QList<ProtocolData> takeQueuedReplies()
{
    std::lock_guard<std::mutex> lock(CmdDealModule::receiveHexCmdlock);
    QList<ProtocolData> replies(CmdDealModule::receivequeueHexCmd.begin(),
                                CmdDealModule::receivequeueHexCmd.end());
    CmdDealModule::receivequeueHexCmd.clear();
    return replies;
}
