#include "platformconventions.h"

#include <system_error>

#include <windows.h>

namespace PlatformConventions {

// The C runtime's text mode writes each "\n" of stdout and stderr as CR LF.
QString lineEnd()
{
    return QStringLiteral("\r\n");
}

// Ports from COM10 on open only under the device namespace's prefix; QSerialPort
// reports the name without it.
QString missingSerialLocation()
{
    return QStringLiteral("\\\\.\\COM250");
}

QString missingSerialName()
{
    return QStringLiteral("COM250");
}

QString newlineNameReason()
{
    return QString::fromStdString(std::system_category().message(ERROR_INVALID_NAME));
}

bool subMillisecondSleeps()
{
    // A sleep lasts a scheduler tick (15.6 ms unless the process asks for a finer
    // period, 1 ms at best); Wine's sleeps are its host's, and no guide either.
    return false;
}

} // namespace PlatformConventions
