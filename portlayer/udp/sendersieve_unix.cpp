#include "sendersieve.h"

#include <linux/filter.h>
#include <linux/sock_diag.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

namespace {

// A classic socket filter runs before the datagram is queued. For a UDP socket its
// packet starts at the UDP header; SKF_NET_OFF reaches back to the IP header,
// whose version tells an IPv4 datagram (also on an IPv6 socket that takes both)
// from an IPv6 one, and where the source address stands.
constexpr int kVersionOffset = SKF_NET_OFF;
constexpr int kIPv4SourceOffset = SKF_NET_OFF + 12;
constexpr int kIPv6SourceOffset = SKF_NET_OFF + 8;

sock_filter statement(unsigned short code, unsigned int k)
{
    return sock_filter{code, 0, 0, k};
}

sock_filter jumpUnlessEqual(unsigned int value, unsigned char toDrop)
{
    return sock_filter{BPF_JMP | BPF_JEQ | BPF_K, 0, toDrop, value};
}

// The IP version, then each 32-bit word of the source address compared in turn;
// the first mismatch jumps to the final drop.
std::vector<sock_filter> programFor(const QHostAddress &device)
{
    std::vector<unsigned int> words;
    int sourceOffset = kIPv4SourceOffset;
    unsigned int version = 4;
    bool isIPv4 = false;
    const quint32 ipv4 = device.toIPv4Address(&isIPv4);
    if (isIPv4) {
        words.push_back(ipv4);
    } else {
        const Q_IPV6ADDR ipv6 = device.toIPv6Address();
        for (int i = 0; i < 16; i += 4)
            words.push_back((unsigned(ipv6[i]) << 24) | (unsigned(ipv6[i + 1]) << 16) | (unsigned(ipv6[i + 2]) << 8)
                            | unsigned(ipv6[i + 3]));
        sourceOffset = kIPv6SourceOffset;
        version = 6;
    }
    // Instructions after each jump up to the drop: the accept, and two per word
    // still to compare.
    std::vector<sock_filter> program;
    program.push_back(statement(BPF_LD | BPF_B | BPF_ABS, unsigned(kVersionOffset)));
    program.push_back(statement(BPF_ALU | BPF_RSH | BPF_K, 4));
    program.push_back(jumpUnlessEqual(version, static_cast<unsigned char>(1 + 2 * words.size())));
    for (std::size_t i = 0; i < words.size(); ++i) {
        program.push_back(statement(BPF_LD | BPF_W | BPF_ABS, unsigned(sourceOffset + 4 * int(i))));
        program.push_back(jumpUnlessEqual(words[i], static_cast<unsigned char>(1 + 2 * (words.size() - 1 - i))));
    }
    program.push_back(statement(BPF_RET | BPF_K, 0xFFFFFFFFu));
    program.push_back(statement(BPF_RET | BPF_K, 0));
    return program;
}

} // namespace

namespace SenderSieve {

bool available()
{
    return true;
}

bool admitOnly(qintptr socket, const QHostAddress &device)
{
    if (socket < 0 || device.isNull())
        return false;
    std::vector<sock_filter> program = programFor(device);
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return setsockopt(int(socket), SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter) == 0;
}

bool admitAll(qintptr socket)
{
    if (socket < 0)
        return false;
    // The value is ignored, but the system refuses one shorter than an int.
    // ENOENT: no filter was attached, which is what was asked.
    const int unused = 0;
    return setsockopt(int(socket), SOL_SOCKET, SO_DETACH_FILTER, &unused, sizeof unused) == 0 || errno == ENOENT;
}

quint64 dropped(qintptr socket)
{
    if (socket < 0)
        return 0;
    quint32 meminfo[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof meminfo;
    if (getsockopt(int(socket), SOL_SOCKET, SO_MEMINFO, meminfo, &length) != 0
        || length < (SK_MEMINFO_DROPS + 1) * sizeof(quint32))
        return 0;
    return meminfo[SK_MEMINFO_DROPS];
}

} // namespace SenderSieve
