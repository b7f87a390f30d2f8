#include "sendersieve.h"

// Winsock has no filter a socket can attach for itself (that takes the Windows
// Filtering Platform and an administrator), nor a count of the datagrams it drops:
// the transport's own refusal stands alone there.
namespace SenderSieve {

bool available()
{
    return false;
}

bool admitOnly(qintptr, const QHostAddress &)
{
    return false;
}

bool admitAll(qintptr)
{
    return false;
}

quint64 dropped(qintptr)
{
    return 0;
}

} // namespace SenderSieve
