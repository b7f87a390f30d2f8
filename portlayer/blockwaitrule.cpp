#include "blockwaitrule.h"

#include "cmddealmodule.h"

bool BlockWaitRule::endsWait(unsigned char sn)
{
    const bool resend = m_lastSn.exchange(sn) == sn;
    return CmdDealModule::nSysPlan == 0 || resend;
}
