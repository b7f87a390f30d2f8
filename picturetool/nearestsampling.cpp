#include "nearestsampling.h"

#include <QImage>

QVector<int> nearestSourceIndices(Axis axis, int from, int to)
{
    // Asking the toolkit keeps the map equal to its own rounding whatever version is
    // in use: a one-pixel strip along the axis, its pixels numbered in their colour,
    // is scaled along that axis, and the numbers that arrive are the map. 24 bits
    // number any picture that can be decoded.
    if (from <= 0 || to <= 0 || from >= (1 << 24))
        return {};
    const bool columns = axis == Axis::Columns;
    QImage strip(columns ? QSize(from, 1) : QSize(1, from), QImage::Format_RGB888);
    if (strip.isNull())
        return {};
    for (int i = 0; i < from; ++i) {
        uchar *p = columns ? strip.scanLine(0) + 3 * i : strip.scanLine(i);
        p[0] = uchar(i >> 16);
        p[1] = uchar(i >> 8);
        p[2] = uchar(i);
    }
    const QSize target = columns ? QSize(to, 1) : QSize(1, to);
    const QImage scaled = strip.scaled(target, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (scaled.size() != target || scaled.format() != QImage::Format_RGB888)
        return {};
    QVector<int> map(to);
    for (int i = 0; i < to; ++i) {
        const uchar *p = columns ? scaled.constScanLine(0) + 3 * i : scaled.constScanLine(i);
        map[i] = (p[0] << 16) | (p[1] << 8) | p[2];
        if (map[i] >= from)
            return {};
    }
    return map;
}
