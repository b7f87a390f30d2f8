#include "latencystats.h"

#include "percentile.h"

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

LatencyStats::LatencyStats(size_t exactSamples)
    : m_exactSamples(exactSamples)
{
}

void LatencyStats::spill()
{
    for (quint64 v : m_samples)
        ++m_counts[size_t(bucketOf(v))];
    m_samples = std::vector<quint64>();
    m_spilled = true;
}

void LatencyStats::add(qint64 microseconds)
{
    const quint64 v = quint64(std::max<qint64>(0, microseconds));
    ++m_count;
    if (!m_spilled && m_count > m_exactSamples)
        spill();
    if (m_spilled) {
        ++m_counts[size_t(bucketOf(v))];
        return;
    }
    m_samples.push_back(v);
    m_sorted = false;
}

void LatencyStats::merge(const LatencyStats &other)
{
    m_count += other.m_count;
    if (!m_spilled && !other.m_spilled && m_count <= m_exactSamples) {
        m_samples.insert(m_samples.end(), other.m_samples.begin(), other.m_samples.end());
        m_sorted = false;
        return;
    }
    if (!m_spilled)
        spill();
    for (quint64 v : other.m_samples)
        ++m_counts[size_t(bucketOf(v))];
    for (size_t i = 0; i < m_counts.size(); ++i)
        m_counts[i] += other.m_counts[i];
}

quint64 LatencyStats::count() const
{
    return m_count;
}

double LatencyStats::percentile(double share) const
{
    if (m_count == 0)
        return -1;
    const quint64 rank = Percentile::rank(m_count, share);
    if (!m_spilled) {
        if (!m_sorted) {
            std::sort(m_samples.begin(), m_samples.end());
            m_sorted = true;
        }
        return double(m_samples[size_t(rank - 1)]);
    }
    quint64 seen = 0;
    for (size_t i = 0; i < m_counts.size(); ++i) {
        seen += m_counts[i];
        if (seen >= rank)
            return middleOf(int(i));
    }
    return middleOf(int(m_counts.size()) - 1);
}
