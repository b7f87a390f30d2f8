#ifndef ROUNDTRIP_H
#define ROUNDTRIP_H

#include <QList>
#include <QString>

class PortBase;

// Commands per second and round-trip latency (release -> accepted reply) with one
// command in flight at a time, as the dispatcher runs them: the pieces every
// transport benchmark shares, so their figures are measured alike and printed
// side by side.
namespace RoundTrip {

struct Command
{
    unsigned char cmd;
    unsigned char sub;
    // p2/p3: for reads, the block length asked for.
    unsigned short length = 0;
};

struct Result
{
    int commands = 0;
    int answered = 0;
    double seconds = 0;
    double medianMs = 0;
    double p99Ms = 0;
};

// The device lives in the process: the reply is queued the moment the command is
// released, as a transport's addToReceivedQueue does.
Result inProcess(int commands);
// Through a transport that lives on this thread, whose event loop runs meanwhile;
// the host's connection hands each released command to it.
Result overTransport(PortBase *port, const Command &command, int commands);
// The serial transport on the slave of a pseudo-terminal, the simulated device on its master.
Result overPty(const Command &command, int commands, QString *error);
// The UDP transport on loopback, the simulated device on its own loopback address
// (UdpDevice::ownLoopbackAddress(), 127.0.0.2 on Linux) cutting reply
// blocks into datagrams of the given sizes.
Result overUdp(const Command &command, int commands, QString *error, const QList<int> &blockDatagramSizes = {1024});

// What every transport benchmark prints first: the design limit, the in-process
// device and the serial line with 19-byte replies (a row saying so where the system
// has no pseudo-terminals). False, with the reason printed, when none can be had
// where there are; *local receives the in-process figures.
bool printBaseline(int commands, Result *local = nullptr);

void printLimit();
void print(const char *what, const Result &r);

// Silences the libraries' debug log, which narrates every frame.
void quiet();

} // namespace RoundTrip

#endif // ROUNDTRIP_H
