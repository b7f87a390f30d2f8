#ifndef STREAMPARSER_H
#define STREAMPARSER_H

#include "porvane_global.h"
#include "protocoldata.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// Reassembly buffer and parser for the byte-stream media. The serial and USB
// transports derive from it and differ only in the Settings they pass: the
// transport feeds appendBuffData from its reader and runs the parser thread with
// startParserThread / stopParserThread; the parser cuts the buffer into checked reply
// frames (and, where enabled, their blocks) and puts each reply on the dispatcher's
// receive queue.
//
// Stopping: the transport clears its run flag and calls stopParserThread, which
// returns once the thread has ended, whatever the run flag said before (a thread
// whose flag was cleared earlier may still sit in its block wait). A derived class
// must stop the thread in its own destructor: the thread reads the derived members
// that its Settings point to.
class PORVANE_EXPORT StreamParser
{
public:
    struct Settings
    {
        // The parser thread runs while *runFlag is true.
        const std::atomic<bool> *runFlag = nullptr;
        // Cleared when a parser thread starts and set true as its last action; for
        // callers that ask whether the thread has ended. Null where the medium keeps none.
        std::atomic<bool> *exitFlag = nullptr;
        int passSleepMs = 3;
        // Whether block-announcing replies wait for their block.
        bool awaitBlocks = true;
        int blockTries = 150;
        int blockIntervalMs = 4;
        // Class name in the wrong-checksum debug line, "PortSerial" or "PortUSB".
        QString debugPrefix;
        // Stamps a reply with its source before it is queued; runs on the parser thread.
        std::function<void(ProtocolData &)> fillReply;
        // The same for replies queued by checkBlock; empty: as fillReply. (A medium may
        // stamp those differently, e.g. keep the record's strSource.)
        std::function<void(ProtocolData &)> fillBlockReply;
    };

    static constexpr int kPeekSize = 1024;
    // The buffer keeps at most this many unconsumed bytes: sixteen times the largest
    // block a reply can announce (65,535 bytes). An append beyond it drops the oldest
    // bytes with a debug line, so a device that floods the line cannot exhaust memory.
    static constexpr int kMaxBuffered = 1 << 20;

    explicit StreamParser(Settings settings);
    virtual ~StreamParser();

    StreamParser(const StreamParser &) = delete;
    StreamParser &operator=(const StreamParser &) = delete;

    void appendBuffData(QByteArray data);
    // Peek: a copy of the first n bytes (fewer if fewer are buffered).
    QByteArray getBuffData(unsigned short n);
    // Consume: removes and returns the first min(n, size) bytes.
    QByteArray takeBuffData(unsigned short n);
    void clearBuffData();
    int buffSize();

    bool isFindStdCmdPreFlag(QByteArray snapshot);
    bool checkCMD(QByteArray frame);
    bool getArrayData(QByteArray frame, ProtocolData *out);
    bool checkBlock(ProtocolData reply, unsigned short length);

    // Touches only the dispatcher's statics, so it may run on a detached thread that
    // outlives the transport.
    static void addToReceivedQueue(ProtocolData reply);
    // Reply-queueing threads started and not yet finished, process-wide.
    static int pendingQueueThreads();
    // Parser threads started by startParserThread and not yet ended, process-wide.
    static int runningParserThreads();

    // Starts the parser thread; at most one runs per object, so one still running
    // (its run flag cleared while it waited for a block, say) is stopped and joined
    // first. The caller sets the run flag. False when no thread could be started.
    bool startParserThread();
    // Makes the parser thread end and waits until it has: returns at once when none
    // runs, and cuts a block wait short (the stopper discards the buffer anyway).
    // Any thread but the parser thread itself may call it, several at a time.
    void stopParserThread();

    // The body of the parser thread.
    void ThreadDealDataFunc();
    // One pass of the parser thread without its sleep. It keeps going while it makes
    // progress, so when it returns fewer than 19 bytes are buffered (unless it was
    // stopped): garbage is consumed as fast as it arrives, not one step per pass.
    void dealOnePass();

private:
    // Drops what cannot start a reply frame and checks the frame at the head; false
    // when fewer than 19 bytes are left to look at.
    bool dealOneStep();
    // The parser's own peeks and consumes address bytes by their position in the
    // stream, so an append that drops the oldest bytes meanwhile (or a clear) can
    // never make it consume or hand on bytes it has not looked at.
    QByteArray peekAt(quint64 pos, int n, bool *gone);
    void consumeTo(quint64 pos);
    quint64 headPosition();
    // In one move, consumes every byte that cannot start a reply frame: what lies
    // before a "[", a "[" not followed by "R", a "[R" without "]" 17 bytes on. Then
    // peeks up to kPeekSize bytes at the head, with their position.
    QByteArray skipToReplyStart(quint64 *pos);
    void consumeLocked(int n);
    bool checkFrameAt(const QByteArray &frame, quint64 pos);
    bool checkBlockAt(ProtocolData reply, unsigned short length, quint64 pos);

    void queueDetached(const ProtocolData &reply);
    void fillBlockReply(ProtocolData &reply) const;
    bool keepRunning() const;
    void joinParserThreadLocked();

    const Settings m_settings;

    // Unconsumed bytes are m_buffData from m_buffHead on; consuming moves the head
    // and the storage is compacted once the consumed part outweighs the rest, so a
    // consume costs no more than the bytes it removes.
    QByteArray m_buffData;
    int m_buffHead = 0;
    // Stream position of the first unconsumed byte: every byte ever consumed or dropped.
    quint64 m_buffPos = 0;
    // A standard mutex rather than QMutex: ThreadSanitizer must see the hand-over of
    // the buffer's shared data, and QMutex locks inside the uninstrumented Qt library.
    std::mutex m_buffMutex;

    // Guards m_thread; held across the join, so a start and a stop, or two stops,
    // never race on it.
    std::mutex m_threadMutex;
    std::thread m_thread;
    // Set only while a stopper waits for the thread; the run flag belongs to the caller.
    std::atomic<bool> m_stopRequested{false};
};

#endif // STREAMPARSER_H
