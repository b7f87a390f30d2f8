#ifndef EVENTROW_H
#define EVENTROW_H

#include <QStringList>

class TrafficModel;

// A traffic row as text fields, the same for the CSV export and for rows copied:
// the date and wall clock, the seconds since the start, then the table's columns
// after its time as the table shows them.
namespace EventRow {

QStringList titles(const TrafficModel &model);
// row: of the model, not of a filter over it.
QStringList fields(const TrafficModel &model, int row);

// The rows as tab-separated lines under a line of titles, for the clipboard: a tab
// or line break inside a field becomes a space, so each row stays one line.
QString tabSeparated(const TrafficModel &model, const QList<int> &rows);

} // namespace EventRow

#endif // EVENTROW_H
