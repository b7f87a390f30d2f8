#ifndef BLOCKWAITRULE_H
#define BLOCKWAITRULE_H

#include "porvane_internal.h"

#include <atomic>

// Whether a command leaving ends the wait for a reply's block that has not come in
// full. With one command in flight (the dispatcher's nSysPlan 0) it does: the
// device has been asked again, because the answer took too long or lost bytes on
// the way, and whatever arrives from now on may be the new answer's. With commands
// released without waiting for replies (nSysPlan nonzero) only a resend, the same
// serial number again, does: the next command leaving says nothing about the
// answers still on their way, and the block waits as long as it would otherwise.
class PORVANE_INTERNAL BlockWaitRule
{
public:
    // Called for every command that leaves, in order, with its serial number.
    bool endsWait(unsigned char sn);

private:
    std::atomic<int> m_lastSn{-1};
};

#endif // BLOCKWAITRULE_H
