#include "percentile.h"

#include <QtTest>

#include <vector>

// What every tool counts the same way: a percentile.
class TestToolCommon : public QObject
{
    Q_OBJECT

private slots:
    void percentile_data();
    void percentile();
};

void TestToolCommon::percentile_data()
{
    QTest::addColumn<QVector<double>>("values"); // in any order
    QTest::addColumn<double>("share");
    QTest::addColumn<double>("expected");

    QVector<double> spread;
    for (int v = 100; v >= 1; --v)
        spread << v;
    QTest::newRow("none") << QVector<double>() << 0.5 << -1.0;
    QTest::newRow("one") << QVector<double>{7} << 0.99 << 7.0;
    // Nearest rank: the 99th of 100, where the floor of the index took the 100th.
    QTest::newRow("p99 of 1 to 100") << spread << 0.99 << 99.0;
    QTest::newRow("median of 1 to 100") << spread << 0.5 << 50.0;
    QTest::newRow("median of an odd count") << QVector<double>{3, 1, 2} << 0.5 << 2.0;
    QTest::newRow("median of an even count: the lower middle") << QVector<double>{4, 1, 3, 2} << 0.5 << 2.0;
    QTest::newRow("the least") << QVector<double>{4, 1, 3, 2} << 0.0 << 1.0;
    QTest::newRow("the most") << QVector<double>{4, 1, 3, 2} << 1.0 << 4.0;
    QTest::newRow("a share beyond 1 is the most") << QVector<double>{4, 1, 3, 2} << 1.5 << 4.0;
}

void TestToolCommon::percentile()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, share);
    QFETCH(double, expected);
    QCOMPARE(Percentile::of(std::vector<double>(values.begin(), values.end()), share), expected);
}

QTEST_GUILESS_MAIN(TestToolCommon)
#include "tst_toolcommon.moc"
