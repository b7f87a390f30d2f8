#include "discoverymodel.h"
#include "testevents.h"

#include <QSignalSpy>
#include <QtTest>

// The devices found by a broadcast: one row per address, the latest answer in it.
class TestDiscoveryModel : public QObject
{
    Q_OBJECT

private slots:
    void oneRowPerAddress_data();
    void oneRowPerAddress();
    void bounded();
};

namespace {

HostEvent answer(const QString &address, unsigned char p1, double roundTripMs)
{
    ProtocolData r = TestEvents::record(1, 0x71, 0x00);
    r.byParam1 = p1;
    r.strSource = address;
    return TestEvents::reply(0, r, roundTripMs);
}

} // namespace

void TestDiscoveryModel::oneRowPerAddress_data()
{
    QTest::addColumn<QStringList>("answers");   // "address p1", in order of arrival
    QTest::addColumn<QStringList>("rows");      // "address p1 answers"
    QTest::addColumn<int>("insertions");

    QTest::newRow("one device") << QStringList{"10.0.0.7 1"} << QStringList{"10.0.0.7 01 1"} << 1;
    QTest::newRow("three devices in order of answer")
        << QStringList{"10.0.0.9 1", "10.0.0.7 2", "10.0.0.8 3"}
        << QStringList{"10.0.0.9 01 1", "10.0.0.7 02 1", "10.0.0.8 03 1"} << 3;
    QTest::newRow("a device answering again keeps its row, with the latest answer")
        << QStringList{"10.0.0.7 1", "10.0.0.8 2", "10.0.0.7 5"}
        << QStringList{"10.0.0.7 05 2", "10.0.0.8 02 1"} << 2;
    QTest::newRow("a reply from no address is no device") << QStringList{" 1", "10.0.0.7 1"}
                                                          << QStringList{"10.0.0.7 01 1"} << 1;
}

void TestDiscoveryModel::oneRowPerAddress()
{
    QFETCH(QStringList, answers);
    QFETCH(QStringList, rows);
    QFETCH(int, insertions);

    DiscoveryModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (const QString &a : answers)
        model.addAnswer(answer(a.section(QLatin1Char(' '), 0, 0), quint8(a.section(QLatin1Char(' '), 1).toInt()), 3.5));

    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString reply = model.index(row, DiscoveryModel::ReplyColumn).data().toString();
        shown << QStringLiteral("%1 %2 %3")
                     .arg(model.addressAt(row), reply.section(QStringLiteral("p1="), 1).left(2))
                     .arg(model.index(row, DiscoveryModel::AnswersColumn).data().toInt());
    }
    QCOMPARE(shown, rows);
    QCOMPARE(inserted.count(), insertions);
    QCOMPARE(model.index(0, DiscoveryModel::RoundTripColumn).data().toString(), QStringLiteral("3.50 ms"));
}

void TestDiscoveryModel::bounded()
{
    DiscoveryModel model;
    for (int i = 0; i < DiscoveryModel::kMaxDevices + 5; ++i)
        model.addAnswer(answer(QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256), 1, 1));
    // A device already listed still updates.
    model.addAnswer(answer(QStringLiteral("10.1.0.0"), 9, 1));
    QCOMPARE(model.rowCount(), DiscoveryModel::kMaxDevices);
    QCOMPARE(model.ignoredAnswers(), qint64(5));
    QCOMPARE(model.index(0, DiscoveryModel::AnswersColumn).data().toInt(), 2);
}

QTEST_GUILESS_MAIN(TestDiscoveryModel)
#include "tst_discoverymodel.moc"
