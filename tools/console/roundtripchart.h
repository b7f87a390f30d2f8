#ifndef ROUNDTRIPCHART_H
#define ROUNDTRIPCHART_H

#include "latencystats.h"

#include <QColor>
#include <QRect>
#include <QWidget>

#include <vector>

// Round trips over time, painted: the most recent kWindow replies as points, and
// across them the median and the 99th percentile of every reply of the session
// (as hostcli's summary gives them). Memory is fixed; painting costs one pass over
// the window, one line per pixel column, and sorting the exact samples.
class RoundTripChart : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWindow = 4096;
    // The percentiles are exact over this many replies, within 1.6 % beyond: a
    // paint sorts at most these, a few milliseconds, however long the session.
    static constexpr size_t kExactSamples = 100000;
    static const QColor kPointColour;
    static const QColor kMedianColour;
    static const QColor kP99Colour;

    explicit RoundTripChart(QWidget *parent = nullptr);

    void addRoundTrip(qint64 timeMs, double roundTripMs);
    void clear();

    // Of every round trip added; -1 before the first.
    double medianMs() const;
    double p99Ms() const;
    int pointCount() const { return m_count; }

    // Where a round trip of this many milliseconds is drawn, at the current size.
    int yFor(double ms) const;
    QRect plotArea() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Point
    {
        qint64 timeMs;
        float ms;
    };

    const Point &point(int i) const;
    static int yIn(const QRect &plot, double top, double ms);
    int leftMargin() const;
    double topMs() const;

    LatencyStats m_stats;
    std::vector<Point> m_points;
    int m_head = 0;
    int m_count = 0;
};

#endif // ROUNDTRIPCHART_H
