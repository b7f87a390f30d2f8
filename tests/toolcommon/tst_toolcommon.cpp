#include "hexnumber.h"
#include "percentile.h"

#include <QtTest>

#include <vector>

// What every tool counts and writes the same way: a percentile, hexadecimal.
class TestToolCommon : public QObject
{
    Q_OBJECT

private slots:
    void percentile_data();
    void percentile();
    void hexText_data();
    void hexText();
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

void TestToolCommon::hexText_data()
{
    QTest::addColumn<uint>("value");
    QTest::addColumn<QString>("byte");
    QTest::addColumn<QString>("id");

    QTest::newRow("zero") << 0u << "00" << "0000";
    QTest::newRow("one digit, padded") << 0xau << "0a" << "000a";
    QTest::newRow("lower case") << 0xe1u << "e1" << "00e1";
    QTest::newRow("an id") << 0x4c56u << "56" << "4c56";
}

void TestToolCommon::hexText()
{
    QFETCH(uint, value);
    QFETCH(QString, byte);
    QFETCH(QString, id);
    QCOMPARE(HexNumber::byteText(value), byte);
    QCOMPARE(HexNumber::idText(value), id);
    // What is written reads back.
    unsigned char read = 0;
    QVERIFY(HexNumber::parseByte(byte, &read));
    QCOMPARE(uint(read), value & 0xFF);
}

QTEST_GUILESS_MAIN(TestToolCommon)
#include "tst_toolcommon.moc"
