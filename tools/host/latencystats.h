#ifndef LATENCYSTATS_H
#define LATENCYSTATS_H

#include <QtGlobal>

#include <array>

// Round-trip times of a run of any length in constant memory: a histogram whose
// buckets are exact below 64 µs and 1/64 of a power of two wide above, so a
// percentile is within 1.6 % of the true value.
class LatencyStats
{
public:
    void add(qint64 microseconds);
    void merge(const LatencyStats &other);
    quint64 count() const;
    // The value below which the given share (0..1) of the samples lie, in
    // microseconds: the middle of its bucket. -1 when there are no samples.
    double percentile(double share) const;

private:
    static constexpr int kSubBuckets = 64;
    static constexpr int kPowers = 40; // up to 2^46 µs, about 2 years
    static int bucketOf(quint64 microseconds);
    static double middleOf(int bucket);

    std::array<quint64, kSubBuckets * (kPowers + 1)> m_counts{};
    quint64 m_count = 0;
};

#endif // LATENCYSTATS_H
