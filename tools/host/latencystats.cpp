#include "latencystats.h"

#include <algorithm>
#include <cmath>

// Bucket layout: values below 64 have one bucket each (power 0). A value v of 64 or
// more, with its highest bit at position h (h >= 6), falls in power h - 5, and its
// six bits below the highest pick the sub-bucket.
int LatencyStats::bucketOf(quint64 microseconds)
{
    if (microseconds < kSubBuckets)
        return int(microseconds);
    int high = 63;
    while (!(microseconds >> high))
        --high;
    const int power = std::min(high - 5, kPowers);
    if (power == kPowers && high - 5 > kPowers)
        return kSubBuckets * (kPowers + 1) - 1;
    const int sub = int((microseconds >> (high - 6)) & (kSubBuckets - 1));
    return power * kSubBuckets + sub;
}

double LatencyStats::middleOf(int bucket)
{
    const int power = bucket / kSubBuckets;
    const int sub = bucket % kSubBuckets;
    if (power == 0)
        return sub;
    const double width = std::ldexp(1.0, power - 1);
    const double low = std::ldexp(1.0, power + 5) + sub * width;
    return low + (width - 1) / 2;
}

void LatencyStats::add(qint64 microseconds)
{
    ++m_counts[size_t(bucketOf(quint64(std::max<qint64>(0, microseconds))))];
    ++m_count;
}

void LatencyStats::merge(const LatencyStats &other)
{
    for (size_t i = 0; i < m_counts.size(); ++i)
        m_counts[i] += other.m_counts[i];
    m_count += other.m_count;
}

quint64 LatencyStats::count() const
{
    return m_count;
}

double LatencyStats::percentile(double share) const
{
    if (m_count == 0)
        return -1;
    // The rank of the sample asked for, counting from 1 (nearest-rank method).
    const quint64 rank = std::max<quint64>(1, quint64(std::ceil(std::clamp(share, 0.0, 1.0) * double(m_count))));
    quint64 seen = 0;
    for (size_t i = 0; i < m_counts.size(); ++i) {
        seen += m_counts[i];
        if (seen >= rank)
            return middleOf(int(i));
    }
    return middleOf(int(m_counts.size()) - 1);
}
