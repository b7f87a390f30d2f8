#include "framecodec.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// -1 when the two characters at are not both hex digits.
int parsePair(const QByteArray &digits, int at)
{
    if (at + 1 >= digits.size())
        return -1;
    const int high = hexValue(digits.at(at));
    const int low = hexValue(digits.at(at + 1));
    if (high < 0 || low < 0)
        return -1;
    return high << 4 | low;
}

} // namespace

unsigned char FrameCodec::headerChecksum(const unsigned char header[7])
{
    unsigned int sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += header[i];
    return static_cast<unsigned char>(sum & 0xFF);
}

unsigned short FrameCodec::combineTwoByte(unsigned char low, unsigned char high)
{
    return static_cast<unsigned short>(high << 8 | low);
}

QByteArray FrameCodec::changeData(const QByteArray &bytes)
{
    QByteArray text;
    text.reserve(2 + 2 * bytes.size() + 1);
    text.append('[').append('A');
    for (char b : bytes) {
        const auto v = static_cast<unsigned char>(b);
        text.append(kHexDigits[v >> 4]).append(kHexDigits[v & 0x0F]);
    }
    text.append(']');
    return text;
}

QByteArray FrameCodec::produceCmds(ProtocolData command)
{
    const unsigned char header[7] = {command.byHead, command.bySN, command.byCmd,
                                     command.bySubCmd, command.byParam1, command.byParam2,
                                     command.byParam3};
    command.byCheckSum = headerChecksum(header);
    QByteArray frame(reinterpret_cast<const char *>(header), 7);
    frame.append(static_cast<char>(command.byCheckSum));
    QByteArray bytes = changeData(frame);
    bytes.append(command.baData);
    return bytes;
}

bool FrameCodec::decodeStandardFrame(const QByteArray &frame, ProtocolData *out)
{
    const QByteArray digits = frame.mid(2, 2 * kStandardFrameSize);
    unsigned char h[kStandardFrameSize];
    for (int i = 0; i < kStandardFrameSize; ++i) {
        // A pair that is no number is no frame: read as 0, random noise such as
        // "[Rzzzzzzzzzzzzzzzz]" passes the checksum as a reply with serial number 0.
        const int value = parsePair(digits, 2 * i);
        if (value < 0)
            return false;
        h[i] = static_cast<unsigned char>(value);
    }
    const unsigned char sum = headerChecksum(h);
    if (sum != h[7])
        return false;
    *out = ProtocolData();
    out->byHead = h[0];
    out->bySN = h[1];
    out->byCmd = h[2];
    out->bySubCmd = h[3];
    out->byParam1 = h[4];
    out->byParam2 = h[5];
    out->byParam3 = h[6];
    out->byCheckSum = sum;
    return true;
}

bool FrameCodec::isBlockAnnouncing(const ProtocolData &reply)
{
    return reply.byCmd == 0xE1 || reply.byCmd == 0x79
        || (reply.byCmd == 0x8E && reply.bySubCmd == 0x27);
}

bool FrameCodec::blockChecksumHolds(const QByteArray &block)
{
    if (block.isEmpty())
        return false;
    unsigned int sum = 0;
    for (int i = 0; i < block.size() - 1; ++i)
        sum += static_cast<unsigned char>(block.at(i));
    return static_cast<unsigned char>(sum & 0xFF) == static_cast<unsigned char>(block.back());
}
