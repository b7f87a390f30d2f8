#include "cmddealmodule.h"
#include "dispatchlog.h"
#include "workguard.h"

namespace {
constexpr int kReceivePollMs = 5;
}

void CmdDealModule::ReceiveGetQueueWork()
{
    WorkGuard guard(this);
    if (!guard.active())
        return;

    while (bReceiveWorkRun) {
        if (!pollSleep(kReceivePollMs))
            return;
        {
            std::lock_guard<std::mutex> lock(receiveHexCmdlock);
            if (receivequeueHexCmd.empty())
                continue;
            curReply = receivequeueHexCmd.front();
            receivequeueHexCmd.pop_front();
        }
        if (checkRecvData(curReply))
            emit signalSendReceiveMessage(&curReply);
        else
            emit signalReplyDropped(&curReply);
    }
}

bool CmdDealModule::checkRecvData(ProtocolData reply)
{
    const bool accepted = __checkRecvData(reply);
    if (!accepted)
        qCDebug(lcDispatch) << "==============checkRecvData:" << "false";
    return accepted;
}
