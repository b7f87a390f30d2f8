#ifndef CMDDEALMODULE_H
#define CMDDEALMODULE_H

#include "quillet_global.h"
#include "modulelenum.h"
#include "protocoldata.h"

#include <QList>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// Serialises the traffic to a device: commands wait in one process-wide queue and
// the send worker releases them one at a time; the receive worker checks replies
// and hands the plausible ones to the host. Queues, locks and counters are shared
// by every object, every transport and the host; an object carries only its
// worker loops, the command in flight and the last reply.
class QUILLET_EXPORT CmdDealModule : public QObject
{
    Q_OBJECT

public:
    static std::mutex HexCmdlock;
    static std::deque<ProtocolData> queueHexCmd;
    static std::mutex receiveHexCmdlock;
    static std::deque<ProtocolData> receivequeueHexCmd;

    // Written under HexCmdlock, read by the polling workers without it: atomic so
    // that those unlocked reads are well defined.
    static std::atomic<bool> bRetFlag;
    static std::atomic<int> iSN;
    static std::atomic<int> iTimeoutCount;
    static std::atomic<int> iWatchdogSleepCnt;
    static std::atomic<int> nSysPlan;
    static std::atomic<bool> m_bMainFrameProcessing;

    // Kept for the host; nothing in the dispatcher reads them.
    static qint8 iTimeDisplayToUI;
    static int iTimeout;
    static ModulelEnum::DeviceType deviceType;
    static QList<ProtocolData *> ListCMDS; // owns its elements

    CmdDealModule();
    // Clears both run flags and waits for the threads already inside the object and
    // for those it started itself. A thread the host has started on a worker but that
    // has not entered it yet is not covered: the host stops its workers and joins
    // their threads before deleting the object.
    ~CmdDealModule() override;

    std::atomic<bool> bSendWorkRun{false};
    std::atomic<bool> bReceiveWorkRun{false};
    ProtocolData curCmd;
    ProtocolData curReply;
    std::atomic<bool> bSkipSendcmd{false};

    // Send worker: set bSendWorkRun, then run this on a thread of its own.
    void GetQueueWork();
    // Receive worker: set bReceiveWorkRun, then run this on a thread of its own.
    void ReceiveGetQueueWork();

    void setSkipSendcmd(bool skip);
    void clearQueue();
    unsigned short combineTwoByte(unsigned char low, unsigned char high) const;

    bool checkRecvData(ProtocolData reply);
    bool __checkRecvData(ProtocolData reply);

    void timeoutWatchdog(int sn);
    void timeoutClearQueue();
    void setWatchdogSleepTime();

    void writeErrorLog(ProtocolData record);

    // Queue sizes read under their locks.
    static int commandQueueSize();
    static int replyQueueSize();

    // Runs fn on a detached thread that this object's destructor waits for, so the
    // thread may use the object until fn returns; on the calling thread where no
    // thread can be made (DetachedJob).
    void runDetached(std::function<void()> fn);

signals:
    void signalSendMessage(void *);
    void signalSendReceiveMessage(void *);
    void signalSendMessageUipro(void *);
    void signalQueueSize(int);
    void signalInitCore();
    void signalSendTimeOut();
    // A reply the rules refused, with a pointer to curReply as signalSendReceiveMessage
    // carries it: the host learns of it without reading the debug log.
    void signalReplyDropped(void *);

private:
    class WorkGuard;

    bool beginWork();
    void endWork();
    // Sleeps ms milliseconds; returns false at once when the object is being destroyed.
    bool sleepFor(int ms);
    // The workers' poll: a plain sleep, then false when the object is being destroyed.
    // A timed wait on the condition costs a second system call each time (the mutex
    // is taken back as contended and must be released with a wake-up), and the
    // destructor can well wait out one poll of a few milliseconds.
    bool pollSleep(int ms);
    void expiryCheck(int lastSentSN);
    // Counts one more expiry of the command in flight and logs it; returns the count.
    int countExpiry();
    // Announces and performs the one resend of the command in flight; false when the
    // object is being destroyed meanwhile.
    bool resendCurrent();
    bool releaseFront();

    std::mutex m_lifeMutex;
    std::condition_variable m_lifeCond;
    int m_activeWork = 0;
    // Written under m_lifeMutex; read without it by pollSleep.
    std::atomic<bool> m_stopping{false};
};

#endif // CMDDEALMODULE_H
