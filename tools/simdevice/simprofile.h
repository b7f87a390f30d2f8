#ifndef SIMPROFILE_H
#define SIMPROFILE_H

#include "simframe.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// One unit the device puts on the medium: wait delayMs after the previous one,
// then write bytes (a stream write, a datagram, a report).
struct SimWrite
{
    int delayMs;
    QByteArray bytes;
};

// Ways the device can misbehave when it answers a command. The first group spoils
// the bytes of the answer and means the same on every medium; the second changes
// how the answer is laid out on the medium, and each medium says what that is.
enum class SimFault {
    None,                // answer normally
    Silent,              // do not answer at all
    WrongHeaderChecksum, // reply frame with its checksum off by one
    WrongBlockChecksum,  // block whose last byte is off by one (replies without a block: no effect)
    ShortBlock,          // the block one byte shorter than its reply announces
    UpperCaseDigits,     // hexadecimal digits A-F instead of a-f

    GarbageBefore,       // noise, including a stray "[" that is not a reply, before the reply
    ByteByByte,          // every byte a unit of its own, 1 ms apart
    Pieces,              // the reply frame in three pieces, 20 ms apart
    EchoCommand,         // the command frame written back before the reply
    OddSizedReply,       // one byte too many after the reply frame (a 20-byte reply datagram)
};

// The bytes of one answer, faults of content already applied, before the medium
// lays them out.
struct SimAnswer
{
    QByteArray commandFrame; // the command frame as the host sent it, without its block
    QByteArray replyFrame;   // the 19-byte reply frame
    QByteArray block;        // the block that follows the reply; empty when none does
    SimFault fault = SimFault::None;
};

// What a medium makes of the device: the device logic (SimDevice) is the same on
// every medium, and a profile says where the media differ. A new medium is a new
// factory here; nothing in SimDevice changes.
struct SimProfile
{
    // Bytes of a reply block on a datagram medium, unless the caller chooses.
    static constexpr int kDefaultBlockDatagram = 1024;
    // The largest payload of one IPv4 UDP datagram.
    static constexpr int kMaxDatagram = 65507;
    // Bytes of one HID input report the device sends, and of the payload of one
    // output report it takes (behind the report ID).
    static constexpr int kReportSize = 64;

    QString name;
    // Whether a block follows this reply on the medium.
    std::function<bool(const SimFrame &reply)> carriesBlock;
    // The bytes of the host's command stream that one received unit carries (a
    // stream read or a datagram as it is; a report without its framing).
    std::function<QByteArray(const QByteArray &unit)> commandBytes;
    // The units that put one answer on the medium.
    std::function<QList<SimWrite>(const SimAnswer &answer)> writeAnswer;

    // A byte stream (serial line): blocks follow 0xE1, 0x79 and 0x8E/0x27 replies,
    // and an answer is written as one piece unless a fault cuts it.
    static SimProfile serial();
    // Datagrams: blocks follow the replies a UDP host holds, and an answer is one
    // 19-byte reply datagram followed by its block cut into datagrams of the given
    // sizes (the last size repeats), sent back to back.
    static SimProfile udp(const QList<int> &blockDatagramSizes = {kDefaultBlockDatagram});
    // HID reports: the host's output reports carry the command stream behind their
    // report ID, fill included; the device answers as on a serial line (the same
    // replies carry a block) in input reports of 64 bytes, zero-filled. Faults that
    // cut an answer send it in reports as short as the pieces.
    static SimProfile usb();

    // The replies a UDP host holds for a block: 0x79 except sub-commands 0x09,
    // 0x0A, 0x0C, 0x12, 0x13 and 0x17; 0xF1 except 0x40 announcing nothing;
    // 0x77/0x23, 0x8B/0x05 and 0x09, 0x8E/0x27, 0x69/0x09.
    static bool heldOnUdp(const SimFrame &reply);
    // Noise as a misbehaving device produces it: no reply frame in it, but a "["
    // that opens none, so that a host has to resynchronise twice.
    static QByteArray garbage();
};

#endif // SIMPROFILE_H
