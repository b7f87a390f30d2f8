#include "eventtime.h"

#include <QDateTime>

namespace EventTime {

QString clock(qint64 wallMs)
{
    return wallMs > 0 ? QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("HH:mm:ss.zzz")) : QString();
}

QString dateAndClock(qint64 wallMs)
{
    return wallMs > 0 ? QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                      : QString();
}

QString sinceStart(qint64 timeMs)
{
    return QString::number(double(timeMs) / 1000.0, 'f', 3);
}

} // namespace EventTime
