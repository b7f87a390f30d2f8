#ifndef PERCENTILE_H
#define PERCENTILE_H

#include <QtGlobal>

#include <vector>

// Every figure the tools print (hostcli's summary, the console's chart, the soak's
// table, the benches) counts a percentile the same way: the nearest rank, the
// smallest value with at least the share asked for (0..1) of the values at or
// below it. Of 1..100, the median is 50 and p99 is 99.
namespace Percentile {

// The rank of that value among count values in order, counting from 1; at least 1.
quint64 rank(quint64 count, double share);

// Of values in any order; -1 when there are none.
double of(std::vector<double> values, double share);

} // namespace Percentile

#endif // PERCENTILE_H
