#include "regularfile.h"

#include <QFileInfo>

namespace RegularFile {

bool isOther(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile();
}

QString refusal(const QString &verb, const QString &path)
{
    return QStringLiteral("Cannot %1 %2: not a regular file").arg(verb, path);
}

} // namespace RegularFile
