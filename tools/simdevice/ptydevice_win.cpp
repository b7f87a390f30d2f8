#include "ptydevice.h"

// Windows has no pseudo-terminals: a Windows program reaches the simulated device
// on a COM port that the Linux side maps to one (./run.sh windows-demo), so here
// the device never starts.
bool PtyDevice::supported()
{
    return false;
}

bool PtyDevice::start(QString *error)
{
    if (error)
        *error = QStringLiteral("no pseudo-terminals on Windows: map a COM port to the simulated device");
    return false;
}

void PtyDevice::closeMediumLocked()
{
    m_writes.clear();
}

void PtyDevice::readable(int)
{
}

int PtyDevice::writeDue()
{
    return -1;
}
