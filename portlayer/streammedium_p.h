#ifndef STREAMMEDIUM_P_H
#define STREAMMEDIUM_P_H

#include "blockwaitrule.h"
#include "portlog.h"
#include "streammedium.h"
#include "streamparser.h"

#include <QString>

// What differs between the byte-stream media.
struct StreamMedium::Settings
{
    bool awaitBlocks = true;
    int blockWaitMs = 600;
    // Class name in the parser's debug lines, "PortSerial" or "PortUSB".
    QString debugPrefix;
    // The category of the medium's debug lines.
    const QLoggingCategory &(*logCategory)() = lcPort;
    // byReplySource of the replies; and whether replies that checkBlock queues keep
    // the strSource they come with.
    unsigned char replySource = 1;
    bool blockRepliesKeepSource = false;
};

// What a byte-stream medium keeps to itself, behind one pointer: the parser and
// its buffer can change without changing the size of PortSerial or PortUSB.
struct StreamMediumPrivate
{
    StreamMediumPrivate(const StreamMedium::Settings &settings, StreamMedium *medium);

    // The parser's settings: the medium's, its run flags, and how its replies are
    // stamped from what the medium holds.
    static StreamParser::Settings parserSettings(const StreamMedium::Settings &settings, StreamMedium *self,
                                                 StreamMediumPrivate *d);

    const QLoggingCategory &(*const logCategory)();
    // The strSource of the medium's replies; set only while no parser thread runs.
    QString replySourceText;
    BlockWaitRule blockWait;
    // Last: destroyed first, so its thread has stopped before the members it stamps
    // replies from go.
    StreamParser parser;
};

#endif // STREAMMEDIUM_P_H
