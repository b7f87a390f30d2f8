#ifndef DATAGRAMCODEC_H
#define DATAGRAMCODEC_H

#include "porvane_internal.h"
#include "protocoldata.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <functional>

// How standard frames travel in UDP datagrams, where that differs from a byte
// stream. The text frame itself is FrameCodec's; here is what UDP adds: a reply is
// one datagram of exactly 19 bytes, a datagram that does not decode becomes block
// bytes instead of being skipped, a table of its own says which replies wait for
// a block, the announced block length is signed, and commands leave in pieces.
class PORVANE_INTERNAL DatagramCodec
{
public:
    static constexpr int kReplySize = 19;
    // Unicast command datagrams are cut into pieces of at most this many bytes.
    static constexpr int kSplitSize = 540;

    enum class Intake {
        QueueNow, // queued on the receiving thread
        Hold,     // kept until its block has arrived
        General,  // not a reply: block bytes; a reply: queued from a thread of its own
    };

    // One datagram as a reply record, writing the debug line of the first check it
    // fails. A datagram that is not a 19-byte reply frame with a right checksum
    // gives a record whose header fields are all 0.
    static ProtocolData decode(const QByteArray &datagram);
    // What every failed decode yields: bySN, byCmd and byCheckSum all 0.
    static bool isNotReply(const ProtocolData &record);
    static Intake classify(const ProtocolData &reply);
    // byParam2 + (byParam3 << 8) read as a signed 16-bit number: from 32,768 on it
    // is negative, and such a reply never gets its block.
    static qint16 announcedLength(const ProtocolData &reply);
    // The kinds that take a fixed number of bytes from their block, whatever they
    // announce; -1 for the others.
    static int fixedBlockSize(const ProtocolData &reply);
    // The held reply datagram with the bytes of its block as the record to queue.
    // False when nothing is to be queued: an empty block or held reply, a length
    // of 0 or less, or fewer bytes than announced.
    static bool join(const QByteArray &block, const QByteArray &held, ProtocolData *reply);

    // Writes bytes as consecutive datagrams of at most pieceSize bytes through
    // write, which returns what the socket returned, and gives the sum of those
    // counts. Nothing is written for no bytes. A piece the socket refuses ends the
    // send: the device would otherwise take the pieces after the gap as the
    // continuation of bytes it never got.
    static qint64 writeInPieces(const QByteArray &bytes, int pieceSize,
                                const std::function<qint64(const QByteArray &piece)> &write);

    // The sender as replies carry it: an IPv4-mapped address ("::ffff:" ...)
    // becomes plain dotted IPv4 text.
    static QString senderText(const QHostAddress &sender);
    // A datagram as the debug lines show it: UTF-8 text up to its first NUL byte.
    static QString logText(const QByteArray &datagram);
};

#endif // DATAGRAMCODEC_H
