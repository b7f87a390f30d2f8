#include "specialfiles.h"

namespace SpecialFiles {

// Windows has named pipes, but not in the file system's folders.
bool makeFifo(const QString &)
{
    return false;
}

QString endlessDevice()
{
    return QString();
}

} // namespace SpecialFiles
