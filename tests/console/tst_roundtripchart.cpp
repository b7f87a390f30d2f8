#include "latencystats.h"
#include "roundtripchart.h"

#include <QImage>
#include <QtTest>

#include <cmath>

// The round-trip chart: its median and 99th-percentile lines are those of every
// reply of the session, as hostcli's summary gives them, though it draws only the
// most recent replies.
class TestRoundTripChart : public QObject
{
    Q_OBJECT

private slots:
    void percentileLines();
};

namespace {

// Whether most of the plot's width at row y is painted in this colour.
bool lineAt(const QImage &image, const QRect &plot, int y, const QColor &colour)
{
    int hits = 0;
    for (int x = plot.left() + 1; x < plot.right(); ++x)
        hits += image.pixelColor(x, y) == colour ? 1 : 0;
    return hits > plot.width() * 9 / 10;
}

} // namespace

void TestRoundTripChart::percentileLines()
{
    // A slow start (2 % of the replies at 80 ms) that has left the window by the
    // end, then a steady 2 to 12 ms: the session's 99th percentile is slow though
    // every point drawn is fast.
    RoundTripChart chart;
    chart.resize(600, 240);
    LatencyStats expected;
    const int slow = 200;
    const int total = slow + RoundTripChart::kWindow * 2;
    for (int i = 0; i < total; ++i) {
        const double ms = i < slow ? 80.0 : 2.0 + (i * 7919 % 1000) / 100.0;
        chart.addRoundTrip(i * 10, ms);
        expected.add(qint64(std::llround(ms * 1000)));
    }
    QCOMPARE(chart.pointCount(), RoundTripChart::kWindow);
    QCOMPARE(chart.medianMs(), expected.percentile(0.5) / 1000.0);
    QCOMPARE(chart.p99Ms(), expected.percentile(0.99) / 1000.0);
    QVERIFY(chart.p99Ms() > 70);

    const QImage image = chart.grab().toImage();
    const QRect plot = chart.plotArea();
    QVERIFY(lineAt(image, plot, chart.yFor(chart.medianMs()), RoundTripChart::kMedianColour));
    QVERIFY(lineAt(image, plot, chart.yFor(chart.p99Ms()), RoundTripChart::kP99Colour));
}

QTEST_MAIN(TestRoundTripChart)
#include "tst_roundtripchart.moc"
