#include "testevents.h"
#include "trafficfilter.h"
#include "trafficmodel.h"

#include <QSignalSpy>
#include <QtTest>

// The traffic table: bounded to its buffer, fed in batches, and filtered.
class TestTrafficModel : public QObject
{
    Q_OBJECT

private slots:
    void bound_data();
    void bound();
    void byteBudget();
    void filter_data();
    void filter();
    void outcomeWords_data();
    void outcomeWords();
};

namespace {

ConsoleEvent numbered(qint64 n)
{
    return ConsoleEvent::fromHost(TestEvents::of(HostEvent::Kind::Unaccounted, n, TestEvents::record(quint8(n), 0x71, 0)));
}

} // namespace

void TestTrafficModel::bound_data()
{
    QTest::addColumn<QList<int>>("batches"); // events appended between two batches
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("firstHeld");      // the number of the oldest event held
    QTest::addColumn<int>("removals");       // blocks of rows removed

    QTest::newRow("under the bound") << QList<int>{300, 300} << 600 << 0 << 0;
    QTest::newRow("up to the bound") << QList<int>{100000} << 100000 << 0 << 0;
    QTest::newRow("beyond: the oldest go in one block") << QList<int>{99990, 15} << 100000 << 5 << 1;
    QTest::newRow("one batch beyond the bound") << QList<int>{100005} << 100000 << 5 << 0;
    QTest::newRow("three batches beyond") << QList<int>{100000, 40, 40} << 100000 << 80 << 2;
}

void TestTrafficModel::bound()
{
    QFETCH(QList<int>, batches);
    QFETCH(int, held);
    QFETCH(int, firstHeld);
    QFETCH(int, removals);

    TrafficModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    qint64 next = 0;
    for (int count : batches) {
        for (int i = 0; i < count; ++i)
            model.append(numbered(next++));
        // Nothing is shown before the batch's timer fires, then all of it at once.
        QCOMPARE(model.pendingCount(), count);
        QTRY_COMPARE_WITH_TIMEOUT(model.pendingCount(), 0, 10000);
    }
    QCOMPARE(inserted.count(), batches.size());
    QCOMPARE(removed.count(), removals);
    QCOMPARE(model.rowCount(), held);
    QCOMPARE(model.event(0).host.timeMs, qint64(firstHeld));
    QCOMPARE(model.event(held - 1).host.timeMs, next - 1);
    QCOMPARE(model.droppedCount(), next - held);
}

void TestTrafficModel::byteBudget()
{
    // 40 blocks of 64 KiB in a buffer allowed 1 MiB: the oldest keep their fields
    // and lengths and let their bytes go; the newest keep their blocks.
    const qint64 budget = qint64(1) << 20;
    TrafficModel model(nullptr, 1000, budget);
    const QByteArray block(0xFFFF, 'x');
    for (int i = 0; i < 40; ++i)
        model.append(ConsoleEvent::fromHost(TestEvents::send(i, TestEvents::record(quint8(i), 0xe0, 0x01, block))));
    model.flush();

    QVERIFY(model.events().heapBytes() <= budget);
    QCOMPARE(model.rowCount(), 40);
    QVERIFY(!model.event(0).blockHeld());
    QVERIFY(model.event(39).blockHeld());
    QCOMPARE(model.event(39).host.record.baData, block);
    for (int row : {0, 39}) {
        QCOMPARE(model.index(row, TrafficModel::BlockColumn).data().toInt(), 0xFFFF);
        QCOMPARE(model.event(row).extent.byteCount, 0xFFFF + 19);
    }
}

void TestTrafficModel::filter_data()
{
    QTest::addColumn<QStringList>("hidden"); // kinds not shown
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("accepted");      // the command text
    QTest::addColumn<QList<qint64>>("times"); // of the rows shown

    const QList<qint64> all{0, 5, 10, 1200, 1220, 2400, 2500, 2600, 2610, 2700, 2710, 3000, 4000, 4050, 4100};
    QTest::newRow("everything") << QStringList() << QString() << true << all;
    QTest::newRow("one command, every kind of it") << QStringList() << "43" << true << QList<qint64>{10, 1200, 1220, 2400};
    QTest::newRow("command and sub-command") << QStringList() << "0x71:05" << true << QList<qint64>{2700};
    QTest::newRow("command with every sub-command") << QStringList() << "71" << true << QList<qint64>{2700, 2710, 4100};
    QTest::newRow("replies only")
        << QStringList{"send", "resend", "giveup", "unaccounted", "medium", "note", "sendfailed", "wire"} << QString() << true
        << QList<qint64>{5, 2610, 2710};
    QTest::newRow("kinds and command") << QStringList{"send"} << "43" << true << QList<qint64>{1200, 2400};
    QTest::newRow("a command hides the events that have none") << QStringList() << "e1" << true << QList<qint64>{0, 5};
    QTest::newRow("not a command: the filter stays") << QStringList() << "e1:zz" << false << all;
}

void TestTrafficModel::filter()
{
    QFETCH(QStringList, hidden);
    QFETCH(QString, command);
    QFETCH(bool, accepted);
    QFETCH(QList<qint64>, times);

    TrafficModel model;
    TrafficFilter filter;
    filter.setSourceModel(&model);
    for (const ConsoleEvent &e : TestEvents::everyKind())
        model.append(e);
    model.flush();
    for (const QString &name : hidden) {
        HostEvent::Kind kind;
        QVERIFY(eventKindNamed(name, &kind));
        filter.setKindShown(kind, false);
    }
    QCOMPARE(filter.setCommandFilter(command), accepted);

    QList<qint64> shown;
    for (int row = 0; row < filter.rowCount(); ++row)
        shown << model.event(filter.mapToSource(filter.index(row, 0)).row()).host.timeMs;
    QCOMPARE(shown, times);
}

// How a command's or a reply's row ends, in words and colour: a further device's
// answer to a broadcast is an answer, with its round trip; a command the run
// stopped before its reply says why.
void TestTrafficModel::outcomeWords_data()
{
    QTest::addColumn<HostEvent>("event");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("roundTrip");
    QTest::addColumn<bool>("green");

    const ProtocolData r = TestEvents::record(4, 0x71, 0x00);
    HostEvent broadcastAnswer = TestEvents::reply(100, r, 2.5, false);
    broadcastAnswer.answersBroadcast = true;
    QTest::newRow("a further device answers a broadcast") << broadcastAnswer << "answered the broadcast" << "2.50 ms"
                                                          << true;
    QTest::newRow("a reply no command has") << TestEvents::reply(100, r, -1, false)
                                            << "no command of this serial number" << "" << false;
    QTest::newRow("answered") << TestEvents::reply(100, r, 1.25) << "answered" << "1.25 ms" << true;
    HostEvent stopped = TestEvents::of(HostEvent::Kind::Unaccounted, 100, r);
    stopped.text = QStringLiteral("stopped by the user");
    QTest::newRow("stopped before its reply") << stopped << "stopped by the user" << "" << false;
    QTest::newRow("passed by") << TestEvents::of(HostEvent::Kind::Unaccounted, 100, r) << "ended without its reply"
                               << "" << false;
}

void TestTrafficModel::outcomeWords()
{
    QFETCH(HostEvent, event);
    QFETCH(QString, outcome);
    QFETCH(QString, roundTrip);
    QFETCH(bool, green);

    TrafficModel model;
    model.append(ConsoleEvent::fromHost(event));
    model.flush();
    QCOMPARE(model.index(0, TrafficModel::OutcomeColumn).data().toString(), outcome);
    QCOMPARE(model.index(0, TrafficModel::RoundTripColumn).data().toString(), roundTrip);
    const QColor colour = model.index(0, TrafficModel::OutcomeColumn).data(Qt::ForegroundRole).value<QColor>();
    QCOMPARE(colour == TrafficModel::colourOf(TrafficModel::Outcome::Answered), green);
}

QTEST_GUILESS_MAIN(TestTrafficModel)
#include "tst_trafficmodel.moc"
