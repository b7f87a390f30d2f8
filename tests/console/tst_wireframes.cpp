#include "eventdetailview.h"
#include "testevents.h"
#include "wireframes.h"

#include <QtTest>

// A reply's frame found as it came among the bytes on the wire, and the frames the
// transport refused for a wrong checksum, which no decoded row shows.
class TestWireFrames : public QObject
{
    Q_OBJECT

private slots:
    void replyFrames_data();
    void replyFrames();
    void frameOfReply_data();
    void frameOfReply();
    void refusedFramesSaid_data();
    void refusedFramesSaid();
    void wireRowDumped();
};

namespace {

// Header 01 05 e1 00 00 00 00 adds up to e7.
const QByteArray kFrame("[R0105e100000000e7]");
const QByteArray kUpperCase("[R0105E100000000E7]");

ConsoleEvent wire(bool received, const QByteArray &bytes, const QString &peer = QStringLiteral("10.0.0.7"))
{
    HostEvent e;
    e.kind = HostEvent::Kind::Wire;
    e.received = received;
    e.bytes = bytes;
    e.text = peer;
    return ConsoleEvent::fromHost(e);
}

ConsoleEvent replyFrom(const QString &source, HostEvent::Kind kind = HostEvent::Kind::Reply)
{
    ProtocolData r = TestEvents::record(5, 0xe1, 0x00);
    r.strSource = source;
    HostEvent e = TestEvents::reply(20, r, 3.0);
    e.kind = kind;
    return ConsoleEvent::fromHost(e);
}

// Rows from a compact description: "out:BYTES", "in:BYTES", "in@PEER:BYTES",
// "reply", "drop", "send", "resend", "unaccounted", "giveup". The reply's source is
// 10.0.0.7; the command has serial number 5.
TrafficBuffer rows(const QStringList &description, int *eventRow)
{
    TrafficBuffer events;
    const ProtocolData command = TestEvents::record(5, 0xe1, 0x00);
    for (const QString &d : description) {
        const int colon = d.indexOf(QLatin1Char(':'));
        const QString head = colon < 0 ? d : d.left(colon);
        const QByteArray bytes = d.mid(colon + 1).toLatin1();
        if (head == QLatin1String("out")) {
            events.append(wire(false, bytes));
        } else if (head == QLatin1String("in")) {
            events.append(wire(true, bytes));
        } else if (head.startsWith(QLatin1String("in@"))) {
            events.append(wire(true, bytes, head.mid(3)));
        } else if (head == QLatin1String("send") || head == QLatin1String("resend")) {
            events.append(ConsoleEvent::fromHost(TestEvents::send(10, command, head == QLatin1String("resend"))));
        } else {
            *eventRow = events.size();
            if (head == QLatin1String("reply"))
                events.append(replyFrom(QStringLiteral("10.0.0.7")));
            else if (head == QLatin1String("drop"))
                events.append(replyFrom(QStringLiteral("10.0.0.7"), HostEvent::Kind::Drop));
            else
                events.append(ConsoleEvent::fromHost(TestEvents::of(
                    head == QLatin1String("giveup") ? HostEvent::Kind::GiveUp : HostEvent::Kind::Unaccounted, 900,
                    command)));
        }
    }
    return events;
}

} // namespace

void TestWireFrames::replyFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QList<bool>>("checksumHolds");
    QTest::newRow("one frame") << kFrame << QList<QByteArray>{kFrame} << QList<bool>{true};
    QTest::newRow("upper-case digits, block after") << kUpperCase + "\x01\x02" << QList<QByteArray>{kUpperCase}
                                                   << QList<bool>{true};
    QTest::newRow("wrong checksum") << QByteArray("[R0105e100000000e8]") << QList<QByteArray>{"[R0105e100000000e8]"}
                                    << QList<bool>{false};
    QTest::newRow("after noise and a false start")
        << QByteArray("zz[R01[R0105e100000000e7]") << QList<QByteArray>{kFrame} << QList<bool>{true};
    QTest::newRow("a command frame is none") << QByteArray("[A0105e100000000e7]") << QList<QByteArray>() << QList<bool>();
    QTest::newRow("cut short") << kFrame.left(18) << QList<QByteArray>() << QList<bool>();
    QTest::newRow("not hex") << QByteArray("[R0105e100000000g7]") << QList<QByteArray>() << QList<bool>();
    QTest::newRow("two") << kFrame + "[R0106e100000000e8]" << QList<QByteArray>{kFrame, "[R0106e100000000e8]"}
                         << QList<bool>{true, true};
}

void TestWireFrames::replyFrames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QList<bool>, checksumHolds);
    const QList<WireFrames::TextFrame> found = WireFrames::replyFrames(bytes);
    QList<QByteArray> texts;
    QList<bool> holds;
    for (const WireFrames::TextFrame &f : found) {
        texts << f.text;
        holds << f.checksumHolds();
    }
    QCOMPARE(texts, frames);
    QCOMPARE(holds, checksumHolds);
}

void TestWireFrames::frameOfReply_data()
{
    QTest::addColumn<QStringList>("description");
    QTest::addColumn<int>("result"); // WireFrames::Found::Result
    QTest::addColumn<QByteArray>("text");
    const int found = int(WireFrames::Found::Result::Found);
    const int noWire = int(WireFrames::Found::Result::NoWire);
    const int notFound = int(WireFrames::Found::Result::NotFound);
    QTest::newRow("as it came") << QStringList{"send", "out:[A0105e100000000e7]", "in:" + kFrame, "reply"} << found
                                << kFrame;
    QTest::newRow("its digits' case kept") << QStringList{"in:" + kUpperCase, "reply"} << found << kUpperCase;
    QTest::newRow("dropped reply") << QStringList{"in:" + kFrame, "drop"} << found << kFrame;
    QTest::newRow("split over two reads") << QStringList{"in:zz[R0105e100", "out:[A01", "in:000000e7]", "reply"}
                                          << found << kFrame;
    QTest::newRow("read just after the reply") << QStringList{"reply", "in:" + kFrame} << found << kFrame;
    QTest::newRow("the latest before it")
        << QStringList{"in:" + kFrame, "in:" + kUpperCase, "reply"} << found << kUpperCase;
    QTest::newRow("wire off") << QStringList{"send", "reply"} << noWire << QByteArray();
    QTest::newRow("only from another device") << QStringList{"in@10.0.0.8:" + kFrame, "reply"} << noWire << QByteArray();
    QTest::newRow("only bytes sent") << QStringList{"out:" + kFrame, "reply"} << noWire << QByteArray();
    QTest::newRow("bytes came, not its frame") << QStringList{"in:[R0106e100000000e8]", "reply"} << notFound
                                               << QByteArray();
}

void TestWireFrames::frameOfReply()
{
    QFETCH(QStringList, description);
    QFETCH(int, result);
    QFETCH(QByteArray, text);
    int row = -1;
    const TrafficBuffer events = rows(description, &row);
    const WireFrames::Found f = WireFrames::frameOf(events, row);
    QCOMPARE(int(f.result), result);
    QCOMPARE(f.text, text);
    const QString pane = WireFrames::paneText(events, row);
    if (result == int(WireFrames::Found::Result::Found))
        QCOMPARE(pane, QStringLiteral("frame  %1 as it came from 10.0.0.7").arg(QString::fromLatin1(text)));
    else
        QVERIFY2(pane.contains(QStringLiteral("the header is rebuilt from the fields")), qPrintable(pane));
}

void TestWireFrames::refusedFramesSaid_data()
{
    QTest::addColumn<QStringList>("description");
    QTest::addColumn<QString>("pane"); // of the last row named by its kind
    const QString refused = QStringLiteral(
        "refused for it: reply frame [R0105e100000000e8]: checksum e8, the bytes before it add up to e7");
    QTest::newRow("unaccounted after a wrong checksum")
        << QStringList{"send", "out:[A0105e100000000e7]", "in:[R0105e100000000e8]", "unaccounted"} << refused;
    QTest::newRow("given up after two")
        << QStringList{"send", "in:[R0105e100000000e8]", "resend", "in:[R0105e100000000e8]", "giveup"}
        << refused + QLatin1Char('\n') + refused;
    QTest::newRow("before its send: another command's")
        << QStringList{"in:[R0105e100000000e8]", "send", "unaccounted"} << QString();
    QTest::newRow("another serial number") << QStringList{"send", "in:[R0106e100000000e9]", "unaccounted"} << QString();
    QTest::newRow("its checksum held") << QStringList{"send", "in:" + kFrame, "unaccounted"} << QString();
    QTest::newRow("no wire shown") << QStringList{"send", "giveup"} << QString();
}

void TestWireFrames::refusedFramesSaid()
{
    QFETCH(QStringList, description);
    QFETCH(QString, pane);
    int row = -1;
    const TrafficBuffer events = rows(description, &row);
    QCOMPARE(WireFrames::paneText(events, row), pane);
}

void TestWireFrames::wireRowDumped()
{
    // A wire row in the Event pane: its bytes dumped, and a frame in it with a wrong
    // checksum said.
    int row = -1;
    const TrafficBuffer events = rows({"send", "in:[R0105e100000000e8]"}, &row);
    EventDetailView view;
    view.setEvent(events.at(1));
    view.setWireText(WireFrames::paneText(events, 1));
    QVERIFY2(view.blockText().contains(QStringLiteral("|[R0105e100000000|")), qPrintable(view.blockText()));
    QCOMPARE(view.wireText(),
             QStringLiteral("reply frame [R0105e100000000e8]: checksum e8, the bytes before it add up to e7: refused"));
    view.setEvent(events.at(0));
    QVERIFY(view.wireText().isEmpty());
}

QTEST_MAIN(TestWireFrames)
#include "tst_wireframes.moc"
