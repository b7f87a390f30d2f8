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
    // One pass of the parser thread without its sleep. Every pass over 19 or more
    // buffered bytes consumes at least one byte.
    void dealOnePass();

protected:
    QByteArray m_buffData;
    // A standard mutex rather than QMutex: ThreadSanitizer must see the hand-over of
    // the buffer's shared data, and QMutex locks inside the uninstrumented Qt library.
    std::mutex m_buffMutex;

private:
    void queueDetached(const ProtocolData &reply);
    void fillBlockReply(ProtocolData &reply) const;
    bool keepRunning() const;
    void joinParserThreadLocked();

    const Settings m_settings;

    // Guards m_thread; held across the join, so a start and a stop, or two stops,
    // never race on it.
    std::mutex m_threadMutex;
    std::thread m_thread;
    // Set only while a stopper waits for the thread; the run flag belongs to the caller.
    std::atomic<bool> m_stopRequested{false};
};

#endif // STREAMPARSER_H
