#include "latencystats.h"

#include <QtTest>

// The round-trip percentiles of a run's summary: exact over the samples, then
// within the histogram's resolution past them, and the same after a merge.
class TestLatencyStats : public QObject
{
    Q_OBJECT

private slots:
    void percentiles_data();
    void percentiles();
};

void TestLatencyStats::percentiles_data()
{
    QTest::addColumn<QList<qint64>>("samples"); // µs
    QTest::addColumn<int>("exactSamples");     // 0: the default, a million
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("p99");

    QList<qint64> spread;
    for (int ms = 1; ms <= 100; ++ms)
        spread << ms * 1000;
    QList<qint64> oneSlow = QVector<qint64>(99, 2000).toList();
    oneSlow << 900000;
    QList<qint64> twoSlow = QVector<qint64>(98, 2000).toList();
    twoSlow << 900000 << 900000;

    QTest::newRow("none") << QList<qint64>() << 0 << -1.0 << -1.0;
    QTest::newRow("one") << QList<qint64>{5000} << 0 << 5000.0 << 5000.0;
    QTest::newRow("small values") << QList<qint64>{3, 1, 2, 40, 41} << 0 << 3.0 << 41.0;
    QTest::newRow("1 to 100 ms") << spread << 0 << 50000.0 << 99000.0;
    QTest::newRow("one slow in a hundred stays out of p99") << oneSlow << 0 << 2000.0 << 2000.0;
    QTest::newRow("two slow in a hundred make p99") << twoSlow << 0 << 2000.0 << 900000.0;
    QTest::newRow("negative counts as 0") << QList<qint64>{-5} << 0 << 0.0 << 0.0;
    // A histogram bucket 1/64 wide would put these below the smallest sample.
    QTest::newRow("close samples: the median is a sample") << QList<qint64>{7981, 7980, 7993} << 0 << 7981.0
                                                           << 7993.0;
    QTest::newRow("beyond the exact samples: within 1/64") << spread << 10 << 50000.0 << 99000.0;
}

void TestLatencyStats::percentiles()
{
    QFETCH(QList<qint64>, samples);
    QFETCH(int, exactSamples);
    QFETCH(double, median);
    QFETCH(double, p99);

    const size_t exact = exactSamples > 0 ? size_t(exactSamples) : LatencyStats::kExactSamples;
    LatencyStats whole(exact);
    LatencyStats first(exact);
    LatencyStats second(exact);
    for (int i = 0; i < samples.size(); ++i) {
        whole.add(samples.at(i));
        (i % 2 ? first : second).add(samples.at(i));
    }
    first.merge(second);
    // Within the histogram's resolution past the exact samples, exact before.
    const double tolerance = size_t(samples.size()) > exact ? 1.0 / 64 : 0;
    for (const LatencyStats *stats : {&whole, &first}) {
        QCOMPARE(stats->count(), quint64(samples.size()));
        QVERIFY2(qAbs(stats->percentile(0.5) - median) <= qAbs(median) * tolerance,
                 qPrintable(QString::number(stats->percentile(0.5))));
        QVERIFY2(qAbs(stats->percentile(0.99) - p99) <= qAbs(p99) * tolerance,
                 qPrintable(QString::number(stats->percentile(0.99))));
    }
}

QTEST_GUILESS_MAIN(TestLatencyStats)
#include "tst_latencystats.moc"
