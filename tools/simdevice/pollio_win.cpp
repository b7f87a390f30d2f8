#include "pollio.h"

#include <winsock2.h>
#include <mswsock.h>
#include <ws2tcpip.h>

#include <mutex>

// Windows polls sockets only (WSAPoll), so the wake-up pair is a loopback datagram
// socket pair. Descriptors are SOCKETs kept in an int: Windows
// hands out small handle values, and the polled media share one type that way.
namespace {

void startWinsock()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

SOCKET handle(int fd)
{
    return fd < 0 ? INVALID_SOCKET : SOCKET(fd);
}

sockaddr_in socketAddress(quint32 address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}

bool makeNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0 && SetHandleInformation(HANDLE(s), HANDLE_FLAG_INHERIT, 0);
}

} // namespace

namespace PollIo {

QString lastError()
{
    const int code = WSAGetLastError();
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                       | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString message = n > 0 ? QString::fromWCharArray(text, int(n)).trimmed()
                            : QStringLiteral("error %1").arg(code);
    LocalFree(text);
    return message;
}

bool makeWakePair(int *readEnd, int *writeEnd)
{
    int reader = udpSocket(INADDR_LOOPBACK, 0, false);
    int writer = udpSocket(INADDR_LOOPBACK, 0, false);
    const sockaddr_in to = socketAddress(INADDR_LOOPBACK, reader < 0 ? 0 : boundPort(reader));
    if (reader < 0 || writer < 0
        || ::connect(handle(writer), reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        close(&reader);
        close(&writer);
        return false;
    }
    *readEnd = reader;
    *writeEnd = writer;
    return true;
}

void wake(int writeEnd)
{
    // A full buffer already holds a wake-up, so a refused datagram is not lost.
    const char byte = 1;
    ::send(handle(writeEnd), &byte, 1, 0);
}

void drainWake(int readEnd)
{
    char drain[64];
    while (::recv(handle(readEnd), drain, sizeof drain, 0) > 0) {
    }
}

void close(int *fd)
{
    if (*fd >= 0) {
        ::closesocket(handle(*fd));
        *fd = -1;
    }
}

bool waitReadable(const std::vector<int> &fds, int timeoutMs, std::vector<bool> *readable)
{
    std::vector<WSAPOLLFD> polled;
    std::vector<size_t> index;
    for (size_t i = 0; i < fds.size(); ++i) {
        // WSAPoll refuses a set with an invalid socket in it, where poll() skips it.
        if (fds[i] >= 0) {
            polled.push_back({handle(fds[i]), POLLRDNORM, 0});
            index.push_back(i);
        }
    }
    readable->assign(fds.size(), false);
    if (WSAPoll(polled.data(), ULONG(polled.size()), timeoutMs) == SOCKET_ERROR)
        return false;
    for (size_t i = 0; i < polled.size(); ++i)
        (*readable)[index[i]] = polled[i].revents != 0;
    return true;
}

// Wine (8.0) binds a datagram socket meant for a loopback address other than
// 127.0.0.1 to every address instead, so a device there would answer from
// 127.0.0.1, and a host that checks who answers would refuse every reply.
quint32 ownLoopbackAddress()
{
    return INADDR_LOOPBACK;
}

int udpSocket(quint32 address, quint16 port, bool shared)
{
    startWinsock();
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return -1;
    // A datagram that a closed port refused would otherwise make the next receive
    // on this socket fail with WSAECONNRESET, which no other system does.
    BOOL off = FALSE;
    DWORD unused = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &unused, nullptr, nullptr);
    const BOOL on = TRUE;
    const sockaddr_in a = socketAddress(address, port);
    if (!makeNonBlocking(s)
        || (shared && ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&on), sizeof on) != 0)
        || ::bind(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        const int saved = WSAGetLastError();
        ::closesocket(s);
        WSASetLastError(saved);
        return -1;
    }
    return int(s);
}

quint16 boundPort(int fd)
{
    sockaddr_in bound{};
    int length = sizeof bound;
    if (::getsockname(handle(fd), reinterpret_cast<sockaddr *>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}

bool receiveFrom(int fd, QByteArray *buffer, quint32 *address, quint16 *port)
{
    // Large enough for any datagram.
    static thread_local char data[65536];
    for (;;) {
        sockaddr_in from{};
        int length = sizeof from;
        const int n = ::recvfrom(handle(fd), data, sizeof data, 0, reinterpret_cast<sockaddr *>(&from), &length);
        if (n == SOCKET_ERROR) {
            // A refused earlier send, or a datagram cut to the buffer: skip it.
            const int code = WSAGetLastError();
            if (code == WSAECONNRESET || code == WSAEMSGSIZE)
                continue;
            return false; // WSAEWOULDBLOCK: all read
        }
        *buffer = QByteArray(data, n);
        *address = ntohl(from.sin_addr.s_addr);
        *port = ntohs(from.sin_port);
        return true;
    }
}

SendResult sendTo(int fd, const QByteArray &datagram, quint32 address, quint16 port)
{
    const sockaddr_in to = socketAddress(address, port);
    const int n = ::sendto(handle(fd), datagram.constData(), datagram.size(), 0,
                           reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (n != SOCKET_ERROR)
        return SendResult::Sent;
    const int code = WSAGetLastError();
    return code == WSAEWOULDBLOCK || code == WSAENOBUFS ? SendResult::Retry : SendResult::Lost;
}

} // namespace PollIo
