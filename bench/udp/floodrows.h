#ifndef FLOODROWS_H
#define FLOODROWS_H

// How the host and its commands fare while other senders flood the UDP transport,
// printed as rows after the round trips.
namespace FloodRows {

void print();

} // namespace FloodRows

#endif // FLOODROWS_H
