#include "eventjson.h"
#include "sessionfile.h"
#include "testevents.h"

#include <QBuffer>
#include <QDateTime>
#include <QJsonDocument>
#include <QtTest>

// The session file: hostcli's JSON lines, read back whole, and read safely when a
// line is not one of them.
class TestSessionFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void badLines_data();
    void badLines();
    void boundedByTheBuffer();
    void wallClock_data();
    void wallClock();
};

namespace {

QByteArray written(const QString &medium, const TrafficBuffer &events, const QJsonObject &summary = QJsonObject())
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    if (!SessionFile::write(&out, medium, QStringLiteral("127.0.0.1:5000"), events, summary, QJsonObject(), &error))
        qWarning("%s", qPrintable(error));
    return out.data();
}

SessionContents read(const QByteArray &text, int capacity = TrafficBuffer::kDefaultCapacity)
{
    QBuffer in;
    in.setData(text);
    in.open(QIODevice::ReadOnly);
    SessionContents contents;
    contents.events = TrafficBuffer(capacity);
    QString error;
    if (!SessionFile::read(&in, &contents, &error))
        qWarning("%s", qPrintable(error));
    return contents;
}

// The first event's instant, in local time, as the wall-clock cases have it.
qint64 openedAt()
{
    return QDateTime(QDate(2026, 12, 9), QTime(14, 3, 25, 512)).toMSecsSinceEpoch();
}

} // namespace

void TestSessionFile::roundTrip()
{
    // The send's block as it went out, the reply's let go (as the buffer does past its
    // byte budget): a line has the bytes only where the event still held them.
    TrafficBuffer events;
    for (ConsoleEvent e : TestEvents::everyKind()) {
        if (e.kind() == HostEvent::Kind::Reply && e.extent.blockLength > 0)
            e.shed();
        events.append(e);
    }
    const QJsonObject summary{{QStringLiteral("event"), QStringLiteral("summary")}, {QStringLiteral("sent"), 4}};
    const QByteArray first = written(QStringLiteral("UDP"), events, summary);

    const SessionContents contents = read(first);
    QCOMPARE(contents.badLines, qint64(0));
    QCOMPARE(contents.unknownLines, qint64(0));
    QCOMPARE(contents.medium, QStringLiteral("UDP"));
    QCOMPARE(contents.summary, summary);
    QCOMPARE(contents.events.size(), events.size());
    QCOMPARE(contents.events.at(events.size() - 1).kind(), HostEvent::Kind::SendFailed);
    QCOMPARE(written(contents.medium, contents.events, contents.summary), first);

    const ConsoleEvent &reply = contents.events.at(1);
    QCOMPARE(reply.extent.blockLength, 22);
    QVERIFY(!reply.blockHeld());
    QCOMPARE(contents.events.at(0).host.record.baData, events.at(0).host.record.baData);
}

void TestSessionFile::badLines_data()
{
    // A send and a reply as an older hostcli wrote them, without head and block bytes.
    QJsonObject olderSend = EventJson::toJson(TestEvents::everyKind().at(0).host);
    olderSend.remove(QStringLiteral("blockHex"));
    const QByteArray send = QJsonDocument(olderSend).toJson(QJsonDocument::Compact);
    QJsonObject older = EventJson::toJson(TestEvents::everyKind().at(1).host);
    const QString blockHex = older.take(QStringLiteral("blockHex")).toString();
    older.remove(QStringLiteral("head"));
    const QByteArray reply = QJsonDocument(older).toJson(QJsonDocument::Compact);

    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("bad");
    QTest::addColumn<int>("unknown");
    QTest::addColumn<QString>("firstProblem");

    QTest::newRow("blank lines, Windows line ends, a byte-order mark")
        << "\xEF\xBB\xBF" + send + "\r\n\r\n" + reply << 2 << 0 << 0 << "";
    QTest::newRow("not JSON, among good lines") << send + "\n{\"event\":\"send\",\n" + reply << 2 << 1 << 0
                                                << "line 2: not a JSON object";
    QTest::newRow("an array") << QByteArray("[1,2]\n") + send << 1 << 1 << 0 << "line 1: not a JSON object";
    QTest::newRow("no event") << QByteArray("{\"timeMs\":1}\n") << 0 << 1 << 0 << "no \"event\"";
    QTest::newRow("a later kind, skipped") << QByteArray("{\"event\":\"telemetry\",\"timeMs\":1}\n") + send << 1 << 0 << 1
                                           << "";
    QTest::newRow("a field of the wrong kind") << QByteArray(send).replace("\"cmd\":\"e1\"", "\"cmd\":\"e\"") << 0 << 1
                                               << 0 << "send: \"cmd\" is not two hexadecimal digits";
    QTest::newRow("a serial number beyond a byte") << QByteArray(reply).replace("\"sn\":1", "\"sn\":256") << 0 << 1 << 0
                                                   << "reply: \"sn\"";
    QTest::newRow("a negative time") << QByteArray(reply).replace("\"timeMs\":5", "\"timeMs\":-5") << 0 << 1 << 0
                                     << "\"timeMs\"";
    QTest::newRow("a frame too long") << QByteArray(send).replace("\"frame\":\"[A", "\"frame\":\"[A[A[A") << 0 << 1 << 0
                                      << "\"frame\"";
    // Its end, read on its own, would be an event.
    QTest::newRow("a line too long, then a good one")
        << QByteArray(SessionFile::kMaxLineLength, ' ') + reply + "\n" + reply << 1 << 1 << 0 << "line 1: longer than";
    QTest::newRow("the block's bytes, when a line has them")
        << QByteArray(reply).replace("\"block\":22", "\"block\":22,\"head\":\"01\",\"blockHex\":\"" + blockHex.toLatin1() + "\"")
        << 1 << 0 << 0 << "";
    const QByteArray wire = "{\"event\":\"wire\",\"timeMs\":7,\"dir\":\"in\",\"peer\":\"COM3\",\"hex\":\"5b52\"}\n";
    QTest::newRow("the bytes on the wire") << wire << 1 << 0 << 0 << "";
    QTest::newRow("wire bytes whose digits are not bytes")
        << QByteArray(wire).replace("5b52", "5b5") << 0 << 1 << 0 << "\"hex\"";
    QTest::newRow("wire bytes with other than digits")
        << QByteArray(wire).replace("5b52", "5bzz") << 0 << 1 << 0 << "\"hex\"";
    QTest::newRow("wire bytes beyond one read")
        << QByteArray(wire).replace("5b52", QByteArray(2 * HostEvent::kMaxWireBytes + 2, 'a')) << 0 << 1 << 0
        << "\"hex\"";
    QTest::newRow("wire bytes going nowhere")
        << QByteArray(wire).replace("\"in\"", "\"up\"") << 0 << 1 << 0 << "\"dir\"";
    QTest::newRow("block bytes that are not the block")
        << QByteArray(reply).replace("\"block\":22", "\"block\":22,\"blockHex\":\"0001\"") << 0 << 1 << 0
        << "\"blockHex\"";
}

void TestSessionFile::badLines()
{
    QFETCH(QByteArray, text);
    QFETCH(int, events);
    QFETCH(int, bad);
    QFETCH(int, unknown);
    QFETCH(QString, firstProblem);

    const SessionContents contents = read(text);
    QCOMPARE(contents.events.size(), events);
    QCOMPARE(contents.badLines, qint64(bad));
    QCOMPARE(contents.unknownLines, qint64(unknown));
    QVERIFY2(contents.firstProblem.contains(firstProblem), qPrintable(contents.firstProblem));
    for (int i = 0; i < contents.events.size(); ++i) {
        const ConsoleEvent &e = contents.events.at(i);
        if (!e.host.hasRecord())
            continue;
        QVERIFY(e.blockHeld() == (e.kind() == HostEvent::Kind::Send || text.contains("blockHex")));
        QCOMPARE(e.extent.headKnown, text.contains("\"head\""));
    }
}

void TestSessionFile::boundedByTheBuffer()
{
    TrafficBuffer events;
    for (int i = 0; i < 120; ++i)
        events.append(ConsoleEvent::fromHost(TestEvents::of(HostEvent::Kind::Unaccounted, i, TestEvents::record(1, 0x71, 0))));
    const SessionContents contents = read(written(QStringLiteral("serial"), events), 50);
    QCOMPARE(contents.lines, qint64(121));
    QCOMPARE(contents.events.size(), 50);
    QCOMPARE(contents.events.droppedCount(), qint64(70));
    QCOMPARE(contents.events.at(0).host.timeMs, qint64(70));
}

void TestSessionFile::wallClock_data()
{
    // Every kind with its wall clock, and the medium's opening time; then what an
    // older hostcli's lines, without them, and damaged ones give.
    const qint64 opened = openedAt();
    TrafficBuffer events;
    for (ConsoleEvent e : TestEvents::everyKind()) {
        e.host.wallMs = opened + e.host.timeMs;
        events.append(e);
    }
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY(SessionFile::write(&out, QStringLiteral("UDP"), QStringLiteral("127.0.0.1:5000"), events, QJsonObject(),
                               QJsonObject(), &error, opened));
    const QByteArray whole = out.data();
    const QByteArray older = QByteArray(whole).replace(QByteArray(",\"wallMs\":") + QByteArray::number(opened + 5), "");

    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("openedMs");
    QTest::addColumn<qint64>("replyWallMs");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("bad");

    const int all = events.size();
    QTest::newRow("every line with its clock") << whole << opened << opened + 5 << all << 0;
    QTest::newRow("a line without, as older ones") << older << opened << qint64(0) << all << 0;
    QTest::newRow("an open line without its time")
        << QByteArray("{\"event\":\"open\",\"medium\":\"UDP\"}\n") + whole.mid(whole.indexOf('\n') + 1) << qint64(0)
        << opened + 5 << all << 0;
    QTest::newRow("an open line with a time that is none")
        << QByteArray(whole).replace("\"time\":\"2026", "\"time\":\"x026") << qint64(0) << opened + 5 << all << 0;
    QTest::newRow("a negative clock")
        << QByteArray(whole).replace(QByteArray("\"wallMs\":") + QByteArray::number(opened + 5), "\"wallMs\":-1")
        << opened << qint64(-1) << all - 1 << 1;
    QTest::newRow("a clock in words")
        << QByteArray(whole).replace(QByteArray("\"wallMs\":") + QByteArray::number(opened + 5), "\"wallMs\":\"now\"")
        << opened << qint64(-1) << all - 1 << 1;
}

void TestSessionFile::wallClock()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, openedMs);
    QFETCH(qint64, replyWallMs);
    QFETCH(int, events);
    QFETCH(int, bad);

    const SessionContents contents = read(text);
    QCOMPARE(contents.openedMs, openedMs);
    QCOMPARE(contents.events.size(), events);
    QCOMPARE(contents.badLines, qint64(bad));
    if (replyWallMs >= 0)
        QCOMPARE(contents.events.at(1).host.wallMs, replyWallMs);
    // The other lines keep their clocks, and say them again when written.
    QCOMPARE(contents.events.at(0).host.wallMs, openedAt());
    QBuffer again;
    again.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY(SessionFile::write(&again, QStringLiteral("UDP"), QStringLiteral("127.0.0.1:5000"), contents.events,
                               QJsonObject(), QJsonObject(), &error, contents.openedMs));
    if (bad == 0 && openedMs > 0)
        QCOMPARE(again.data(), text);
}

QTEST_GUILESS_MAIN(TestSessionFile)
#include "tst_sessionfile.moc"
