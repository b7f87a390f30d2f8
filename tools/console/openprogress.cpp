#include "openprogress.h"

#include <QCoreApplication>

#include <algorithm>

namespace OpenProgress {

int step(qint64 bytesRead, qint64 size)
{
    if (size <= 0)
        return kSteps;
    // A file that grew while it was read stops at the end of the bar.
    return int(std::clamp(bytesRead, qint64(0), size) * kSteps / size);
}

QString text(const QString &fileName, qint64 bytesRead, qint64 size)
{
    const double mb = 1000.0 * 1000.0;
    return QCoreApplication::translate("OpenProgress", "Reading %1: %2 of %3 MB")
        .arg(fileName)
        .arg(double(bytesRead) / mb, 0, 'f', 1)
        .arg(double(size) / mb, 0, 'f', 1);
}

} // namespace OpenProgress
