#include "specialfiles.h"

#include <QFile>

#include <sys/stat.h>

namespace SpecialFiles {

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

QString endlessDevice()
{
    return QStringLiteral("/dev/zero");
}

} // namespace SpecialFiles
