// Who may answer a UDP transport: the device, the sender of the held reply, and,
// while a broadcast's answers are awaited, whoever answers that broadcast.
#include "answerfilter.h"
#include "framebuilder.h"

#include <QtTest>

using Clock = AnswerFilter::Clock;

class TestAnswerFilter : public QObject
{
    Q_OBJECT

private slots:
    void admits_data();
    void admits();
    void countsWhatItRefuses();
};

namespace {

constexpr unsigned char kSn = 0x21;

QByteArray answer(unsigned char sn, unsigned char cmd, unsigned char sub)
{
    return FrameBuilder::reply(0x01, sn, cmd, sub, 0x00, 0x00, 0x00);
}

} // namespace

void TestAnswerFilter::admits_data()
{
    QTest::addColumn<QString>("device");     // as the host set it
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("heldSender"); // empty: nothing held
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("broadcastMsAgo"); // -1: no broadcast; it waits 1,000 ms for answers
    QTest::addColumn<bool>("admitted");

    const QByteArray matching = answer(kSn, 0x71, 0x00);
    const QByteArray noise(5, 'x');
    QTest::newRow("the device") << "127.0.0.2" << "127.0.0.2" << "" << noise << -1 << true;
    QTest::newRow("the device as a mapped address") << "127.0.0.2" << "::ffff:127.0.0.2" << "" << noise << -1 << true;
    QTest::newRow("the device named with leading zeros") << "127.0.0.002" << "127.0.0.2" << "" << noise << -1 << true;
    QTest::newRow("another sender's reply") << "127.0.0.2" << "127.0.0.3" << "" << matching << -1 << false;
    QTest::newRow("another sender's noise") << "127.0.0.2" << "127.0.0.3" << "" << noise << -1 << false;
    QTest::newRow("no device address") << "" << "127.0.0.3" << "" << matching << -1 << false;
    QTest::newRow("the held reply's sender") << "127.0.0.2" << "127.0.0.3" << "127.0.0.3" << noise << -1 << true;
    QTest::newRow("not the held reply's sender") << "127.0.0.2" << "127.0.0.4" << "127.0.0.3" << noise << -1
                                                 << false;
    QTest::newRow("an answer to the broadcast") << "127.0.0.2" << "127.0.0.3" << "" << matching << 10 << true;
    QTest::newRow("an answer to the broadcast, upper-case digits")
        << "127.0.0.2" << "127.0.0.3" << "" << matching.toUpper().replace("[r", "[R") << 10 << true;
    QTest::newRow("an answer near the end of the wait") << "" << "127.0.0.3" << "" << matching << 1990 << true;
    QTest::newRow("an answer after the wait") << "" << "127.0.0.3" << "" << matching << 2010 << false;
    QTest::newRow("another serial number") << "127.0.0.2" << "127.0.0.3" << "" << answer(kSn + 1, 0x71, 0x00) << 10
                                           << false;
    QTest::newRow("another command") << "127.0.0.2" << "127.0.0.3" << "" << answer(kSn, 0x72, 0x00) << 10 << false;
    QTest::newRow("another sub-command") << "127.0.0.2" << "127.0.0.3" << "" << answer(kSn, 0x71, 0x01) << 10
                                         << false;
    QByteArray badChecksum = matching;
    badChecksum[17] = badChecksum.at(17) == '0' ? '1' : '0';
    QTest::newRow("a wrong checksum") << "127.0.0.2" << "127.0.0.3" << "" << badChecksum << 10 << false;
    QTest::newRow("noise while answers are awaited") << "127.0.0.2" << "127.0.0.3" << "" << noise << 10 << false;
    QTest::newRow("20 bytes while answers are awaited") << "127.0.0.2" << "127.0.0.3" << "" << matching + "]" << 10
                                                        << false;
}

void TestAnswerFilter::admits()
{
    QFETCH(QString, device);
    QFETCH(QString, sender);
    QFETCH(QString, heldSender);
    QFETCH(QByteArray, datagram);
    QFETCH(int, broadcastMsAgo);
    QFETCH(bool, admitted);

    AnswerFilter filter;
    filter.setDevice(device);
    const Clock::time_point now = Clock::now();
    if (broadcastMsAgo >= 0) {
        ProtocolData broadcast;
        broadcast.bySN = kSn;
        broadcast.byCmd = 0x71;
        broadcast.iTimeoutMs = 1000;
        filter.broadcastLeft(broadcast, now - std::chrono::milliseconds(broadcastMsAgo));
    }
    QCOMPARE(filter.admits(QHostAddress(sender), heldSender, datagram, now), admitted);
    QCOMPARE(filter.refused(), admitted ? quint64(0) : quint64(1));
}

void TestAnswerFilter::countsWhatItRefuses()
{
    // The device changes: the old one is a stranger from then on.
    AnswerFilter filter;
    const Clock::time_point now = Clock::now();
    filter.setDevice(QStringLiteral("127.0.0.2"));
    QVERIFY(filter.admits(QHostAddress(QStringLiteral("127.0.0.2")), QString(), "x", now));
    filter.setDevice(QStringLiteral("127.0.0.3"));
    QVERIFY(!filter.admits(QHostAddress(QStringLiteral("127.0.0.2")), QString(), "x", now));
    QVERIFY(filter.admits(QHostAddress(QStringLiteral("127.0.0.3")), QString(), "x", now));
    QCOMPARE(filter.refused(), quint64(1));
}

QTEST_GUILESS_MAIN(TestAnswerFilter)
#include "tst_answerfilter.moc"
