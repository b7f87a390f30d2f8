#ifndef EVENTTIME_H
#define EVENTTIME_H

#include <QString>

// How the console writes an event's two times, the same in the table, the CSV
// export and copied rows: the wall clock in local time to the millisecond, and
// the seconds since the run started.
namespace EventTime {

// "14:03:27.512"; empty for 0 (not known: a line of an older hostcli).
QString clock(qint64 wallMs);
// "2026-12-09 14:03:27.512"; empty for 0.
QString dateAndClock(qint64 wallMs);
// "12.345"
QString sinceStart(qint64 timeMs);

} // namespace EventTime

#endif // EVENTTIME_H
