#ifndef POLLIO_H
#define POLLIO_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// The few system calls of the polled media, one file per platform: descriptors
// (sockets on Windows, where only sockets can be polled) that one I/O thread
// waits on, a wake-up pair to interrupt that wait, and IPv4 datagram sockets.
// Every descriptor here is non-blocking and not inherited by child processes.
namespace PollIo {

// The last call's failure, as the system words it.
QString lastError();

// A pair whose read end turns readable once wake() writes to the other end.
bool makeWakePair(int *readEnd, int *writeEnd);
void wake(int writeEnd);
void drainWake(int readEnd);

// Closes fd if it is open and marks it closed.
void close(int *fd);

// Waits up to timeoutMs (-1: without end) until one of fds (-1 entries skipped)
// is readable or closed; readable[i] tells which. False on a failure other than
// an interruption.
bool waitReadable(const std::vector<int> &fds, int timeoutMs, std::vector<bool> *readable);

// A loopback address of the device's own, apart from the host's 127.0.0.1, from
// which a socket bound to it also sends; 127.0.0.1 where the system has none such.
quint32 ownLoopbackAddress();

// A datagram socket bound to address:port (host byte order); -1 on failure.
// Shared: other sockets may bind the same address and port (the broadcast one).
int udpSocket(quint32 address, quint16 port, bool shared);
// The port the socket is bound to; 0 on failure.
quint16 boundPort(int fd);
// The next datagram waiting on fd, with its sender; false when none waits.
bool receiveFrom(int fd, QByteArray *buffer, quint32 *address, quint16 *port);

enum class SendResult { Sent, Retry, Lost };
// Retry: the socket's buffer is full for a moment. Lost: refused for good.
SendResult sendTo(int fd, const QByteArray &datagram, quint32 address, quint16 port);

} // namespace PollIo

#endif // POLLIO_H
