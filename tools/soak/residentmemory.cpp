#include "residentmemory.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace ResidentMemory {

qint64 currentKb()
{
#ifdef Q_OS_LINUX
    // "size resident shared ..." in pages.
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    return fields.at(1).toLongLong() * (sysconf(_SC_PAGESIZE) / 1024);
#else
    return 0;
#endif
}

} // namespace ResidentMemory
