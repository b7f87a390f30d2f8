#ifndef SOAKRUNNER_H
#define SOAKRUNNER_H

#include "dispatcherbridge.h"
#include "soakledger.h"
#include "soakmedium.h"
#include "soakreport.h"

#include <QObject>

#include <memory>
#include <random>

class QEventLoop;

struct SoakConfig
{
    SoakMedium::Kind medium = SoakMedium::Kind::Serial;
    int commands = 2000;
    quint32 seed = 1;
    // Disturb the medium once, when half the commands have been released.
    bool disturb = true;
    // Every fault rate of the medium times this.
    double faultScale = 1.0;
    // Commands whose whole story goes into the report's detail, whatever their outcome.
    int traceFrom = -1;
    int traceTo = -1;
};

// Plays the host over one medium for a whole run: a dispatcher with its two workers
// on threads of their own (a DispatcherBridge), the transport on this thread, the simulated device
// misbehaving at the medium's rates. It keeps a few commands queued at a time until
// all have gone, records what the dispatcher tells it and what the device took, and
// accounts for every command at the end.
//
// The dispatcher's queues are process-wide: one run at a time in a process.
class SoakRunner : public QObject
{
    Q_OBJECT

public:
    explicit SoakRunner(const SoakConfig &config);
    ~SoakRunner() override;

    // Runs this thread's event loop until the run has ended.
    SoakReport run();

private:
    // Commands queued ahead of the one in flight: enough that the send worker never
    // waits for the host, few enough that the queue stays small.
    static constexpr int kQueuedAhead = 4;
    static constexpr int kCheckEveryMs = 50;

    ProtocolData makeCommand(int index);
    void topUp();
    void deliver(const ProtocolData &command);
    void check();
    void finishRun(bool completed);

    const SoakConfig m_config;
    std::unique_ptr<SoakMedium> m_medium;
    SoakPlan m_plan;
    std::unique_ptr<SoakLedger> m_ledger;
    std::mt19937 m_random;
    std::discrete_distribution<int> m_pick;

    DispatcherBridge m_bridge;

    QEventLoop *m_loop = nullptr;
    int m_queued = 0;
    int m_delivered = 0;
    int m_deviceSeed = 0;
    bool m_disturbing = false;
    SoakLedger::Clock::time_point m_disturbedFrom;
    SoakLedger::Clock::time_point m_lastCheck;
    SoakReport m_report;
};

#endif // SOAKRUNNER_H
