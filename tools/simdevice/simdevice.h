#ifndef SIMDEVICE_H
#define SIMDEVICE_H

#include "simframe.h"
#include "simprofile.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <chrono>
#include <deque>
#include <mutex>
#include <random>

// The far end of the line: cuts the host's byte stream into command frames
// ("[A" + 16 hexadecimal digits + "]", followed by a raw block for the block
// commands) and answers each with a reply frame that carries the command's
// serial number and echoes its token (tokenOf). Where the media differ (which
// replies carry a block, how the host's bytes arrive, how an answer is laid out)
// it asks its profile; whoever owns the medium feeds it the units that arrive and
// performs the writes it returns.
//
// Thread-safe: one thread may feed it while others configure or inspect it.
class SimDevice
{
public:
    // Command codes whose frame is followed by a block of length() bytes by
    // default: 0xE0, the setting counterpart of the 0xE1 reads, whose p2/p3
    // announce the data that follows the frame.
    static QSet<quint8> defaultBlockCommands();

    // A block that has not arrived in full this long after its frame is given up,
    // so that one short block does not swallow the commands behind it.
    static constexpr int kBlockWaitMs = 600;

    // At most this many exchanges are kept for receivedCommands() and takeExchanges();
    // older ones are dropped. Each keeps its reply and both blocks: a device that
    // answers for hours, and whose record nobody takes, stays bounded.
    static constexpr int kMaxRecorded = 16384;

    // How much later than due a SimFault::Delayed answer comes, unless set.
    static constexpr int kDefaultDelayMs = 200;

    // One command as the device took it and what it answered.
    struct Exchange
    {
        SimFrame command;
        SimFault fault = SimFault::None;
        // The reply as written, header and block, faults of content applied;
        // nothing was written when the fault is Silent.
        SimFrame reply;
        // How many units (stream writes, datagrams, reports) the answer took.
        int units = 0;
        // When the command was complete.
        std::chrono::steady_clock::time_point at;
    };

    // The share of answers that get a fault, drawn afresh for each answer.
    struct FaultRate
    {
        SimFault fault;
        double rate; // 0 to 1
    };

    explicit SimDevice(SimProfile profile = SimProfile::serial());

    const SimProfile &profile() const;

    // Accumulates the command bytes of one unit from the host (a stream read, a
    // datagram), cuts every complete command out of them and returns, in order,
    // the writes that answer them.
    QList<SimWrite> feed(const QByteArray &fromHost);

    // Misbehave on commands with code cmd: times -1 for all of them, n > 0 for the next n.
    void setFault(quint8 cmd, SimFault fault, int times = -1);
    // Misbehave on every command that has no fault of its own (SimFault::None: behave).
    void setFaultForAll(SimFault fault);
    // Draws the fault of every answer that has none of its own from these rates, with
    // a generator started from seed, so that a run can be repeated; what the rates
    // leave falls to setFaultForAll. An empty list stops the drawing.
    void setFaultRates(const QList<FaultRate> &rates, quint32 seed = 1);
    void setDelayMs(int ms);
    // Answers the next n commands as configured and none after them (taken as
    // SimFault::Silent), decided as each command is cut, so that a device that hangs
    // up after n commands never answers one more first; -1: no limit (the default).
    void setAnswerLimit(qint64 commands);
    // Clears the faults of both kinds and the rates.
    void clearFaults();

    void setBlockCommands(const QSet<quint8> &cmds);

    // Every command frame taken from the stream, with its block, oldest first.
    QList<SimFrame> receivedCommands() const;
    void clearReceived();
    // receivedCommands() and clearReceived() in one step, so that none slips between.
    QList<SimFrame> takeReceived();
    // The same record with what was answered.
    QList<Exchange> takeExchanges();

    // What identifies a command to its host, echoed in the reply: the first two bytes
    // of the command's block when it carries one, its p2 and p3 otherwise (low byte
    // first). A reply carries it in the first two bytes of its block (the block's
    // checksum still holds) when it has a block of three bytes or more, or else in its
    // p2 and p3 where they mean nothing for the reply: neither bounded nor a block
    // length, on any medium. Other replies carry no token.
    static quint16 tokenOf(const SimFrame &command);
    // The token a reply echoes, as a host reads it from what reached it: false when
    // the reply has no place for one on the medium, or its block did not come with it.
    static bool echoedToken(const SimFrame &reply, const SimProfile &profile, quint16 *token);

    // "[R" + the eight header bytes as 16 hexadecimal digits + "]"; the block is not included.
    static QByteArray replyFrame(const SimFrame &f, bool upperCase = false);
    // "[A" + 16 lower-case hexadecimal digits + "]" followed by the block, as a host writes it.
    static QByteArray commandFrame(const SimFrame &f);
    // The reply to a command on a medium, with its block where one follows it
    // there. A reply that carries no block on the medium announces no length.
    static SimFrame replyFor(const SimFrame &command, const SimProfile &profile = SimProfile::serial());
    // A block of n bytes whose last byte is the sum modulo 256 of the others; seed varies the content.
    static QByteArray checkedBlock(int n, quint8 seed);

private:
    struct FaultRule
    {
        SimFault fault;
        int remaining; // -1: no limit
    };

    // Takes one command out of m_buffer; false when more bytes are needed.
    bool cutCommand(SimFrame *command);
    SimFault takeFault(quint8 cmd);
    // The writes that answer command; *answered gets the reply as written.
    QList<SimWrite> answer(const SimFrame &command, SimFault fault, SimFrame *answered) const;

    const SimProfile m_profile;
    mutable std::mutex m_mutex;
    QByteArray m_buffer;
    bool m_awaitingBlock = false;
    SimFrame m_pending;
    std::chrono::steady_clock::time_point m_pendingSince;
    QSet<quint8> m_blockCommands;
    QHash<quint8, FaultRule> m_faults;
    SimFault m_faultForAll = SimFault::None;
    QList<FaultRate> m_rates;
    std::mt19937 m_random;
    int m_delayMs = kDefaultDelayMs;
    qint64 m_answersLeft = -1;
    std::deque<Exchange> m_received;
};

#endif // SIMDEVICE_H
