#ifndef LATENCYSTATS_H
#define LATENCYSTATS_H

#include <QtGlobal>

#include <array>
#include <vector>

// Round-trip times of a run. Percentiles are exact (Percentile's nearest rank over
// the samples themselves) for the first exactSamples samples, a million unless told; a run
// beyond that goes on in bounded memory, in a histogram whose buckets are exact
// below 64 µs and 1/64 of a power of two wide above, so that a percentile is then
// within 1.6 % of the true value.
class LatencyStats
{
public:
    static constexpr size_t kExactSamples = 1000000;

    explicit LatencyStats(size_t exactSamples = kExactSamples);

    void add(qint64 microseconds);
    void merge(const LatencyStats &other);
    quint64 count() const;
    // The smallest sample with at least the given share (0..1) of the samples at or
    // below it, in microseconds; past the exact samples, the middle of its bucket.
    // -1 when there are no samples.
    double percentile(double share) const;

private:
    static constexpr int kSubBuckets = 64;
    static constexpr int kPowers = 40; // up to 2^46 µs, about 2 years
    static int bucketOf(quint64 microseconds);
    static double middleOf(int bucket);
    // Moves the samples into the histogram, which takes every later one.
    void spill();

    size_t m_exactSamples;
    // Sorted on demand by percentile(); empty once spilled.
    mutable std::vector<quint64> m_samples;
    mutable bool m_sorted = true;
    bool m_spilled = false;
    std::array<quint64, kSubBuckets * (kPowers + 1)> m_counts{};
    quint64 m_count = 0;
};

#endif // LATENCYSTATS_H
