#include "eventquery.h"
#include "testevents.h"
#include "trafficmodel.h"

#include <QDateTime>
#include <QtTest>

// The search and the filters beyond kind and command, asked of one of each kind
// of event: which of them a query lets through, and input it cannot read leaving
// the query as it was.
class TestEventQuery : public QObject
{
    Q_OBJECT

private slots:
    void accepts_data();
    void accepts();
    void unreadableInput_data();
    void unreadableInput();
};

namespace {

// The events' wall clock runs from 14:03:25 local time, whatever zone the
// machine is in; the note (row 6) has none, as a line of an older hostcli.
QList<ConsoleEvent> events()
{
    const qint64 base = QDateTime(QDate(2026, 12, 9), QTime(14, 3, 25)).toMSecsSinceEpoch();
    QList<ConsoleEvent> events = TestEvents::everyKind();
    for (int i = 0; i < events.size(); ++i)
        events[i].host.wallMs = events.at(i).kind() == HostEvent::Kind::Note ? 0 : base + events.at(i).host.timeMs;
    return events;
}

QString accepted(const EventQuery &query)
{
    QStringList rows;
    const QList<ConsoleEvent> all = events();
    for (int i = 0; i < all.size(); ++i) {
        if (query.accepts(all.at(i)))
            rows << QString::number(i);
    }
    return rows.join(QLatin1Char(' '));
}

} // namespace

void TestEventQuery::accepts_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("rows");

    const int text = int(EventQuery::Search::Text);
    const int bytes = int(EventQuery::Search::Bytes);
    const int sn = int(EventQuery::Search::SerialNumber);
    const int any = -1;
    const QString all = QStringLiteral("0 1 2 3 4 5 6 7 8 9 10 11 12 13 14");
    // The rows of TestEvents::everyKind: 0 send e1 (SN 1), 1 its reply with a block
    // 00..15 from 10.0.0.7, 2-5 command 43 (SN 2) sent, resending, sent again, given
    // up, 6 a note, 7-8 command 76 (SN 3) and its reply dropped, 9 unaccounted 71:05
    // (SN 4), 10 a reply of SN 9 no command has, 11-12 the device gone and back,
    // 13 bytes on the wire from 10.0.0.7, 14 a send that failed (SN 5).
    QTest::newRow("nothing asked") << text << "" << any << "" << "" << "" << all;
    QTest::newRow("text in a medium's words") << text << "went away" << any << "" << "" << "" << "11";
    QTest::newRow("text in labels, case ignored") << text << "CMD E1" << any << "" << "" << "" << "0 1";
    QTest::newRow("text in sources and peers") << text << "10.0.0" << any << "" << "" << "" << "1 8 10 13";
    QTest::newRow("text in a failed send's reason") << text << "input/output" << any << "" << "" << "" << "14";
    QTest::newRow("bytes: command and sub-command") << bytes << "e1 00" << any << "" << "" << "" << "0 1";
    QTest::newRow("bytes: in a block, 0x and commas") << bytes << "0x0a,0x0b" << any << "" << "" << "" << "1";
    QTest::newRow("bytes: from the parameters into the block")
        << bytes << "16 00 00 01" << any << "" << "" << "" << "1";
    QTest::newRow("bytes: on the wire, run together") << bytes << "52303130" << any << "" << "" << "" << "13";
    QTest::newRow("bytes: nowhere") << bytes << "ff ee dd" << any << "" << "" << "" << "";
    QTest::newRow("serial number of a command") << sn << "2" << any << "" << "" << "" << "2 3 4 5";
    QTest::newRow("serial number no command has") << sn << "9" << any << "" << "" << "" << "10";
    QTest::newRow("outcome answered") << text << "" << int(TrafficModel::Outcome::Answered) << "" << "" << ""
                                      << "1";
    QTest::newRow("outcome given up") << text << "" << int(TrafficModel::Outcome::GivenUp) << "" << "" << "" << "5";
    QTest::newRow("outcome of notes and wire") << text << "" << int(TrafficModel::Outcome::Info) << "" << "" << ""
                                               << "6 13";
    QTest::newRow("source: replies and the wire") << text << "10.0.0.7" << any << "10.0.0.7" << "" << "" << "1 8 10 13";
    QTest::newRow("source nothing came from") << text << "" << any << "USB" << "" << "" << "";
    QTest::newRow("seconds since the start, both ends in") << text << "" << any << "" << "2.6" << "2.71"
                                                            << "7 8 9 10";
    QTest::newRow("seconds: from only") << text << "" << any << "" << "4" << "" << "12 13 14";
    QTest::newRow("seconds: to only") << text << "" << any << "" << "" << "0.005" << "0 1";
    QTest::newRow("clock, to the millisecond") << text << "" << any << "" << "14:03:27.6" << "14:03:27.71"
                                               << "7 8 9 10";
    QTest::newRow("clock: an event without one is at none")
        << text << "" << any << "" << "0:00" << "" << "0 1 2 3 4 5 7 8 9 10 11 12 13 14";
    QTest::newRow("clock and seconds together") << text << "" << any << "" << "14:03:26" << "2.65" << "3 4 5 7 8";
    QTest::newRow("every part at once")
        << text << "cmd 76" << int(TrafficModel::Outcome::Dropped) << "10.0.0.7" << "2" << "3" << "8";
}

void TestEventQuery::accepts()
{
    QFETCH(int, mode);
    QFETCH(QString, search);
    QFETCH(int, outcome);
    QFETCH(QString, source);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, rows);

    EventQuery query;
    QVERIFY(query.setSearch(EventQuery::Search(mode), search));
    query.setOutcome(outcome);
    query.setSource(source);
    QVERIFY(query.setTimeRange(from, to));
    QCOMPARE(accepted(query), rows);
}

void TestEventQuery::unreadableInput_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("from");

    const int bytes = int(EventQuery::Search::Bytes);
    const int sn = int(EventQuery::Search::SerialNumber);
    QTest::newRow("bytes: half a byte") << bytes << "e1 0" << "";
    QTest::newRow("bytes: not hexadecimal") << bytes << "zz" << "";
    QTest::newRow("bytes: a stray 0x") << bytes << "0x" << "";
    QTest::newRow("serial number past a byte") << sn << "256" << "";
    QTest::newRow("serial number below 0") << sn << "-1" << "";
    QTest::newRow("serial number in words") << sn << "one" << "";
    QTest::newRow("time: not a number") << bytes << "" << "abc";
    QTest::newRow("time: no such hour") << bytes << "" << "25:00";
    QTest::newRow("time: before the start") << bytes << "" << "-3";
    QTest::newRow("time: not a finite number") << bytes << "" << "inf";
}

void TestEventQuery::unreadableInput()
{
    QFETCH(int, mode);
    QFETCH(QString, search);
    QFETCH(QString, from);

    EventQuery query;
    QVERIFY(query.setSearch(EventQuery::Search::Text, QStringLiteral("went away")));
    QVERIFY(query.setTimeRange(QStringLiteral("3"), QString()));
    if (!search.isEmpty())
        QVERIFY(!query.setSearch(EventQuery::Search(mode), search));
    if (!from.isEmpty())
        QVERIFY(!query.setTimeRange(from, QString()));
    QCOMPARE(accepted(query), QStringLiteral("11"));
}

QTEST_GUILESS_MAIN(TestEventQuery)
#include "tst_eventquery.moc"
