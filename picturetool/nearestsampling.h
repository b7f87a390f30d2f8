#ifndef NEARESTSAMPLING_H
#define NEARESTSAMPLING_H

#include <QVector>

// For each of `to` output pixels along one axis, the index of the source pixel
// (0 .. from - 1) that QImage::scaled(..., Qt::FastTransformation) picks when it scales
// `from` pixels to `to` on that axis. The two axes are independent of each other, but
// not alike: columns and rows are rounded differently, so each has its own map. Empty
// when from or to is not positive or the map cannot be made.
enum class Axis { Columns, Rows };
QVector<int> nearestSourceIndices(Axis axis, int from, int to);

#endif // NEARESTSAMPLING_H
