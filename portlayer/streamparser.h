#ifndef STREAMPARSER_H
#define STREAMPARSER_H

#include "porvane_global.h"
#include "protocoldata.h"

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>

// Reassembly buffer and parser for the byte-stream media. The serial and USB
// transports derive from it and differ only in the Settings they pass: the
// transport feeds appendBuffData from its reader and runs ThreadDealDataFunc on a
// thread of its own; the parser cuts the buffer into checked reply frames (and,
// where enabled, their blocks) and puts each reply on the dispatcher's receive queue.
class PORVANE_EXPORT StreamParser
{
public:
    struct Settings
    {
        // The parser thread runs while *runFlag is true.
        const std::atomic<bool> *runFlag = nullptr;
        // Cleared when the parser thread starts and set as its very last action, so a
        // stopper can wait for it; null where the medium waits by a pause instead.
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

    // The body of the parser thread.
    void ThreadDealDataFunc();
    // One pass of the parser thread without its sleep. Every pass over 19 or more
    // buffered bytes consumes at least one byte.
    void dealOnePass();

protected:
    QByteArray m_buffData;
    QMutex m_buffMutex;

private:
    void queueDetached(const ProtocolData &reply);
    void fillBlockReply(ProtocolData &reply) const;

    const Settings m_settings;
};

#endif // STREAMPARSER_H
