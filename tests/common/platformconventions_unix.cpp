#include "platformconventions.h"

#include <cerrno>
#include <cstring>

namespace PlatformConventions {

QString lineEnd()
{
    return QStringLiteral("\n");
}

QString missingSerialLocation()
{
    return QStringLiteral("/dev/velmora-no-such-port");
}

QString missingSerialName()
{
    return QStringLiteral("velmora-no-such-port");
}

QString newlineNameReason()
{
    return QString::fromLocal8Bit(std::strerror(ENOENT));
}

bool subMillisecondSleeps()
{
    return true;
}

} // namespace PlatformConventions
