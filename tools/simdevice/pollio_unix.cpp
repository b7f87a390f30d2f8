#include "pollio.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in socketAddress(quint32 address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}

} // namespace

namespace PollIo {

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool makeWakePair(int *readEnd, int *writeEnd)
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    *readEnd = ends[0];
    *writeEnd = ends[1];
    return true;
}

void wake(int writeEnd)
{
    const char byte = 1;
    // A full pipe already holds a wake-up, so a refused byte is not lost.
    while (::write(writeEnd, &byte, 1) < 0 && errno == EINTR) {
    }
}

void drainWake(int readEnd)
{
    char drain[64];
    while (::read(readEnd, drain, sizeof drain) > 0) {
    }
}

void close(int *fd)
{
    if (*fd >= 0) {
        ::close(*fd);
        *fd = -1;
    }
}

bool waitReadable(const std::vector<int> &fds, int timeoutMs, std::vector<bool> *readable)
{
    std::vector<pollfd> polled;
    polled.reserve(fds.size());
    for (int fd : fds)
        polled.push_back({fd, POLLIN, 0});
    readable->assign(fds.size(), false);
    if (::poll(polled.data(), nfds_t(polled.size()), timeoutMs) < 0)
        return errno == EINTR;
    for (size_t i = 0; i < polled.size(); ++i)
        (*readable)[i] = polled[i].revents != 0;
    return true;
}

quint32 ownLoopbackAddress()
{
    return 0x7f000002; // 127.0.0.2
}

int udpSocket(quint32 address, quint16 port, bool shared)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    const sockaddr_in a = socketAddress(address, port);
    if ((shared && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        || ::bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

quint16 boundPort(int fd)
{
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}

bool receiveFrom(int fd, QByteArray *buffer, quint32 *address, quint16 *port)
{
    // Large enough for any datagram.
    static thread_local char data[65536];
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(fd, data, sizeof data, 0, reinterpret_cast<sockaddr *>(&from), &length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false; // EAGAIN: all read
        }
        *buffer = QByteArray(data, int(n));
        *address = ntohl(from.sin_addr.s_addr);
        *port = ntohs(from.sin_port);
        return true;
    }
}

SendResult sendTo(int fd, const QByteArray &datagram, quint32 address, quint16 port)
{
    const sockaddr_in to = socketAddress(address, port);
    ssize_t n;
    do {
        n = ::sendto(fd, datagram.constData(), size_t(datagram.size()), 0, reinterpret_cast<const sockaddr *>(&to),
                     sizeof to);
    } while (n < 0 && errno == EINTR);
    if (n >= 0)
        return SendResult::Sent;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS ? SendResult::Retry : SendResult::Lost;
}

} // namespace PollIo
