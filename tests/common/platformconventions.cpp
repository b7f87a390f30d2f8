#include "platformconventions.h"

namespace PlatformConventions {

QStringList lines(const QString &output)
{
    return output.split(lineEnd(), Qt::SkipEmptyParts);
}

} // namespace PlatformConventions
