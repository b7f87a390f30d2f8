#ifndef STREAMPARSER_H
#define STREAMPARSER_H

#include "portlog.h"
#include "porvane_internal.h"
#include "protocoldata.h"
#include "reassemblybuffer.h"
#include "replyhandoff.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// The parser of the byte-stream media, and the reassembly buffer it reads: cuts the
// buffer into checked reply frames (and, where the medium has them, their blocks)
// and hands each reply, in order, to the dispatcher's receive queue. Its thread sleeps until
// bytes are appended, the command that left or a stop wakes it; a block is awaited
// until its deadline on the clock. The media differ only in the Settings.
//
// Destroying the parser stops its thread first.
class PORVANE_INTERNAL StreamParser
{
public:
    struct Settings
    {
        // The parser thread runs while *runFlag is true. A change made through the
        // medium's operations wakes it (wakeUp); one written to the flag directly is
        // seen within kIdleWaitMs.
        const std::atomic<bool> *runFlag = nullptr;
        // Cleared when a parser thread starts and set true as its last action; for
        // callers that ask whether the thread has ended. Null where the medium keeps none.
        std::atomic<bool> *exitFlag = nullptr;
        // Whether block-announcing replies wait for their block, and how long at most.
        bool awaitBlocks = true;
        int blockWaitMs = 600;
        // Class name in the wrong-checksum debug line, "PortSerial" or "PortUSB", and
        // the category of the parser's debug lines.
        QString debugPrefix;
        const QLoggingCategory &(*logCategory)() = lcPort;
        // Stamps a reply with its source before it is queued; runs on the parser thread.
        std::function<void(ProtocolData &)> fillReply;
        // The same for replies queued by checkBlock; empty: as fillReply. (A medium may
        // stamp those differently, e.g. keep the record's strSource.)
        std::function<void(ProtocolData &)> fillBlockReply;
    };

    static constexpr int kPeekSize = 1024;
    static constexpr int kMaxBuffered = ReassemblyBuffer::kMaxBuffered;
    // The longest the thread sleeps with nothing to do. New bytes, a command that
    // left, a stop or a run flag changed through the medium's operations wake it at
    // once; this only bounds how long a flag written directly goes unseen. (A timed
    // wake at the old 3 ms pass costs an idle port half a per cent of a core.)
    static constexpr int kIdleWaitMs = 1000;

    explicit StreamParser(Settings settings);
    ~StreamParser();

    StreamParser(const StreamParser &) = delete;
    StreamParser &operator=(const StreamParser &) = delete;

    void append(QByteArray data);
    // Peek: a copy of the first n bytes (fewer if fewer are buffered).
    QByteArray peek(unsigned short n);
    // Consume: removes and returns the first min(n, size) bytes.
    QByteArray take(unsigned short n);
    void clear();
    int size();

    // One resynchronisation step on the head of the buffer, which the snapshot is a
    // peek of: true when "[R" opens it.
    bool resyncStep(QByteArray snapshot);
    bool takeFrame(QByteArray frame);
    bool decodeFrame(QByteArray frame, ProtocolData *out);
    bool takeBlock(ProtocolData reply, unsigned short length);
    // A command has gone out on the medium. A block that had not come in full by
    // then is given up as though its time had run out (the device has been asked
    // again, because the answer took too long or lost bytes on the way): the bytes
    // that complete it might be the new answer's, whatever its checksum says.
    void commandSent();
    // The run flag has changed: the thread looks at it at once.
    void wakeUp();

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
    void run();
    // Everything the buffer allows now: resynchronisation steps and checked frames,
    // until fewer than 19 bytes are left (or a block it waited for did not come, or
    // the parser is stopped).
    void dealOnePass();

private:
    bool checkFrameAt(const QByteArray &frame, quint64 pos);
    bool checkBlockAt(ProtocolData reply, unsigned short length, quint64 pos);

    void fillBlockReply(ProtocolData &reply) const;
    bool keepRunning() const;
    void joinParserThreadLocked();

    const Settings m_settings;
    ReassemblyBuffer m_buffer;
    // The parser thread's replies, in the order it decoded them.
    ReplyHandOff m_handOff;

    // Set only while a stopper waits for the thread; the run flag belongs to the caller.
    std::atomic<bool> m_stopRequested{false};
    // Where the stream ended when the latest command went out; -1 before any.
    std::atomic<qint64> m_sentAtPos{-1};

    // Guards m_thread; held across the join, so a start and a stop, or two stops,
    // never race on it.
    std::mutex m_threadMutex;
    std::thread m_thread;
};

#endif // STREAMPARSER_H
