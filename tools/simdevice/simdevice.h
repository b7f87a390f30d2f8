#ifndef SIMDEVICE_H
#define SIMDEVICE_H

#include "simframe.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <chrono>
#include <deque>
#include <mutex>

// One write the device makes: wait delayMs after the previous write, then write bytes.
struct SimWrite
{
    int delayMs;
    QByteArray bytes;
};

// Ways the device can misbehave when it answers a command.
enum class SimFault {
    None,                // answer normally
    Silent,              // do not answer at all
    WrongHeaderChecksum, // reply frame with its checksum off by one
    WrongBlockChecksum,  // block whose last byte is off by one (replies without a block: no effect)
    GarbageBefore,       // noise, including a stray "[" that is not a reply, before the reply
    ByteByByte,          // every byte a write of its own, 1 ms apart
    Pieces,              // the reply in three pieces, 20 ms apart
    EchoCommand,         // the command frame written back before the reply
    UpperCaseDigits,     // hexadecimal digits A-F instead of a-f
    ShortBlock,          // the block one byte shorter than its reply announces
};

// The far end of the line: cuts the host's byte stream into command frames
// ("[A" + 16 hexadecimal digits + "]", followed by a raw block for the block
// commands) and answers each with a reply frame that carries the command's
// serial number. It knows nothing about the medium; whoever owns the medium
// feeds it the bytes that arrive and performs the writes it returns.
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

    // At most this many commands are kept for receivedCommands(); older ones are dropped.
    static constexpr int kMaxRecorded = 65536;

    SimDevice();

    // Accumulates the bytes, cuts every complete command out of them and returns,
    // in order, the writes that answer them.
    QList<SimWrite> feed(const QByteArray &fromHost);

    // Misbehave on commands with code cmd: times -1 for all of them, n > 0 for the next n.
    void setFault(quint8 cmd, SimFault fault, int times = -1);
    // Misbehave on every command that has no fault of its own (SimFault::None: behave).
    void setFaultForAll(SimFault fault);
    void clearFaults();

    void setBlockCommands(const QSet<quint8> &cmds);
    QSet<quint8> blockCommands() const;

    // Every command frame taken from the stream, with its block, oldest first.
    QList<SimFrame> receivedCommands() const;
    void clearReceived();
    // receivedCommands() and clearReceived() in one step, so that none slips between.
    QList<SimFrame> takeReceived();

    // "[R" + the eight header bytes as 16 hexadecimal digits + "]"; the block is not included.
    static QByteArray replyFrame(const SimFrame &f, bool upperCase = false);
    // "[A" + 16 lower-case hexadecimal digits + "]" followed by the block, as a host writes it.
    static QByteArray commandFrame(const SimFrame &f);
    // The reply to a command, with its block where the reply announces one.
    static SimFrame replyFor(const SimFrame &command);
    // True for the replies that a block follows: 0xE1, 0x79, and 0x8E with sub 0x27.
    static bool announcesBlock(const SimFrame &reply);
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
    static QList<SimWrite> answer(const SimFrame &command, SimFault fault);

    mutable std::mutex m_mutex;
    QByteArray m_buffer;
    bool m_awaitingBlock = false;
    SimFrame m_pending;
    std::chrono::steady_clock::time_point m_pendingSince;
    QSet<quint8> m_blockCommands;
    QHash<quint8, FaultRule> m_faults;
    SimFault m_faultForAll = SimFault::None;
    std::deque<SimFrame> m_received;
};

#endif // SIMDEVICE_H
