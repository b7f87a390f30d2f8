#ifndef PRIVATENETWORK_H
#define PRIVATENETWORK_H

#include <QString>

// Broadcasts, and sends to addresses that are not loopback, must never reach a
// real network. Tests that make them run inside a network namespace of their own
// whose only interface is loopback, with a default route over it so that a
// broadcast comes back to the listeners on 127.0.0.x. Needs root (or the right to
// make namespaces), util-linux's unshare and iproute2's ip; where any is missing
// the tests skip, saying why.
namespace PrivateNetwork {

// Call at the top of main(), after the QCoreApplication. Outside a private
// network this runs the same program again inside a new one and returns true
// with the child's exit code, which main returns. Inside one, or where none can
// be made, it returns false and the tests run in this process.
bool runInside(int argc, char **argv, int *exitCode);

// Empty inside a ready private network; otherwise why there is none.
QString unavailableReason();

// Adds an address (e.g. "192.168.1.100/32") to the private network's loopback
// interface. Only inside a ready private network.
bool addAddress(const QString &address, QString *error);

} // namespace PrivateNetwork

#endif // PRIVATENETWORK_H
