#ifndef FRAMECODEC_H
#define FRAMECODEC_H

#include "porvane_internal.h"
#include "protocoldata.h"

#include <QByteArray>

// The text-frame format shared by every byte-stream medium: an eight-byte standard
// frame written as "[" + direction letter + 16 hex digits + "]", optionally followed
// by raw block data.
class PORVANE_INTERNAL FrameCodec
{
public:
    static constexpr int kStandardFrameSize = 8;
    static constexpr int kTextFrameSize = 19;

    // Sum modulo 256 of the first seven bytes of a standard frame.
    static unsigned char headerChecksum(const unsigned char header[7]);
    static unsigned short combineTwoByte(unsigned char low, unsigned char high);

    // "[A" + two lower-case hex digits per byte + "]".
    static QByteArray changeData(const QByteArray &bytes);
    // Command frame with a freshly computed checksum, then baData unchanged.
    static QByteArray produceCmds(ProtocolData command);

    // Decodes the 16 digits at offsets 2..17 of a reply frame into H0..H7. Both
    // digit cases are accepted. Returns false when a pair is not two hex digits or
    // H7 is not the checksum of H0..H6; *out is then untouched.
    static bool decodeStandardFrame(const QByteArray &frame, ProtocolData *out);

    // Replies with these codes are followed by a block of combineTwoByte(p2, p3) bytes.
    static bool isBlockAnnouncing(const ProtocolData &reply);
    // The last byte of a block is the sum modulo 256 of the others.
    static bool blockChecksumHolds(const QByteArray &block);
};

#endif // FRAMECODEC_H
