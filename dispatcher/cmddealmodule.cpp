#include "cmddealmodule.h"
#include "detachedjob.h"
#include "dispatchlog.h"
#include "workguard.h"

#include <thread>

// Construction order of the queues and locks matters to hosts that touch them from
// their own static initialisers: keep it lock, queue, lock, queue, list.
std::mutex CmdDealModule::HexCmdlock;
std::deque<ProtocolData> CmdDealModule::queueHexCmd;
std::mutex CmdDealModule::receiveHexCmdlock;
std::deque<ProtocolData> CmdDealModule::receivequeueHexCmd;
QList<ProtocolData *> CmdDealModule::ListCMDS;

namespace {
// Defined right after ListCMDS, so it is destroyed right before it: the list owns
// the records the host put into it.
struct ListCmdsOwner
{
    ~ListCmdsOwner()
    {
        qDeleteAll(CmdDealModule::ListCMDS);
        CmdDealModule::ListCMDS.clear();
    }
} listCmdsOwner;
} // namespace

std::atomic<bool> CmdDealModule::bRetFlag{true};
std::atomic<int> CmdDealModule::iSN{1};
std::atomic<int> CmdDealModule::iTimeoutCount{0};
std::atomic<int> CmdDealModule::iWatchdogSleepCnt{0};
std::atomic<int> CmdDealModule::nSysPlan{0};
std::atomic<bool> CmdDealModule::m_bMainFrameProcessing{true};
qint8 CmdDealModule::iTimeDisplayToUI = 1;
int CmdDealModule::iTimeout = 6000;
ModulelEnum::DeviceType CmdDealModule::deviceType = ModulelEnum::DeviceNone;

CmdDealModule::CmdDealModule()
    : QObject(nullptr)
{
}

CmdDealModule::~CmdDealModule()
{
    bSendWorkRun = false;
    bReceiveWorkRun = false;
    // Workers poll every few milliseconds and sleeping watchdogs wake on the
    // condition, so this wait is short; without it they would read freed memory.
    std::unique_lock<std::mutex> lock(m_lifeMutex);
    m_stopping = true;
    m_lifeCond.notify_all();
    m_lifeCond.wait(lock, [this] { return m_activeWork == 0; });
}

bool CmdDealModule::beginWork()
{
    std::lock_guard<std::mutex> lock(m_lifeMutex);
    if (m_stopping)
        return false;
    ++m_activeWork;
    return true;
}

void CmdDealModule::endWork()
{
    // Notify while holding the lock: once it is released the destructor may run,
    // and this thread must not touch the object any more.
    std::lock_guard<std::mutex> lock(m_lifeMutex);
    if (--m_activeWork == 0)
        m_lifeCond.notify_all();
}

bool CmdDealModule::sleepFor(int ms)
{
    std::unique_lock<std::mutex> lock(m_lifeMutex);
    return !m_lifeCond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping.load(); });
}

bool CmdDealModule::pollSleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return !m_stopping;
}

void CmdDealModule::runDetached(std::function<void()> fn)
{
    if (!beginWork())
        return;
    DetachedJob::start([this, fn = std::move(fn)] {
        fn();
        endWork();
    });
}

void CmdDealModule::setSkipSendcmd(bool skip)
{
    bSkipSendcmd = skip;
}

unsigned short CmdDealModule::combineTwoByte(unsigned char low, unsigned char high) const
{
    return static_cast<unsigned short>((high << 8) | low);
}

int CmdDealModule::commandQueueSize()
{
    std::lock_guard<std::mutex> lock(HexCmdlock);
    return static_cast<int>(queueHexCmd.size());
}

int CmdDealModule::replyQueueSize()
{
    std::lock_guard<std::mutex> lock(receiveHexCmdlock);
    return static_cast<int>(receivequeueHexCmd.size());
}

void CmdDealModule::clearQueue()
{
    WorkGuard guard(this);
    while (commandQueueSize() != 0) {
        qCDebug(lcDispatch) << "CmdDealModule::clearQueue()";
        std::deque<ProtocolData> dropped;
        {
            std::lock_guard<std::mutex> lock(HexCmdlock);
            bRetFlag = false;
            dropped.swap(queueHexCmd);
        }
    }
    {
        std::lock_guard<std::mutex> lock(HexCmdlock);
        bRetFlag = true;
        ++iSN;
    }
    qCDebug(lcDispatch) << "Clear QueueHexCmd!";
}
