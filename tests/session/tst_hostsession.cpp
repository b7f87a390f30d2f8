#include "dispatcherbridge.h"
#include "eventjson.h"
#include "dispatcherstate.h"
#include "hexnumber.h"
#include "hostsession.h"
#include "jsonreporter.h"
#include "portbase.h"
#include "scriptreader.h"
#include "threadlesschild.h"

#include <QBuffer>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <thread>

namespace {

// A transport whose device answers at once, the way the test tells it per command
// code: "answer", "silent", "silent-once", "drop" (a reply the reply rules drop:
// 0x76 with p1 33), "wrong-sn" (the answer carries another serial number) or
// "fail" (the send fails, as a transport reports it). It queues replies as a
// transport's reader does.
class ScriptedPort : public PortBase
{
public:
    QHash<int, QString> behaviour;
    QList<ProtocolData> sent;

    void setDeviceIP(QString) override {}
    void setPort(int) override {}
    void clearQueue() override {}
    bool openSerialPort(QString, QSerialPort::BaudRate, QSerialPort::StopBits, QSerialPort::Parity,
                        QSerialPort::FlowControl, QSerialPort::DataBits) override
    {
        return true;
    }
    void closeSerialPort() override {}
    bool openUSB(unsigned short, unsigned short) override { return true; }
    void closeUSB() override {}
    void setDeviceType(ModulelEnum::DeviceType) override {}

    void sendDatatoDevice(void *parameters) override
    {
        const ProtocolData command = *static_cast<ProtocolData *>(parameters);
        sent << command;
        QString how = behaviour.value(command.byCmd, QStringLiteral("answer"));
        if (how == QLatin1String("silent-once")) {
            behaviour[command.byCmd] = QStringLiteral("answer");
            return;
        }
        if (how == QLatin1String("silent"))
            return;
        if (how == QLatin1String("fail")) {
            reportSendFailed(QStringLiteral("the line is down"));
            return;
        }
        ProtocolData reply = replyTo(command);
        if (command.byCmd == 0x71)
            reply.byParam2 = 1; // the rules want 1 <= p2 <= 10
        if (how == QLatin1String("drop")) {
            reply.byCmd = 0x76;
            reply.byParam1 = 33;
        } else if (how == QLatin1String("wrong-sn")) {
            reply.bySN = quint8(command.bySN + 100);
        } else if (how.startsWith(QLatin1String("devices="))) {
            // Several devices answer at once, as to a broadcast: "devices=3"; with
            // "/sub" the last of them answers with another sub-command.
            const int devices = how.section(QLatin1Char('='), 1).section(QLatin1Char('/'), 0, 0).toInt();
            for (int i = 1; i <= devices; ++i) {
                reply.strSource = QStringLiteral("10.0.0.%1").arg(i);
                if (i == devices && how.endsWith(QLatin1String("/sub")))
                    reply.bySubCmd = 0x55;
                queueReply(reply);
            }
            return;
        }
        queueReply(reply);
    }
};

// Keeps each event a run reports, as "kind:cmd".
class RecordingReporter : public Reporter
{
public:
    QStringList events;

    void opened(const QString &, const QString &) override {}
    void event(const HostEvent &e) override
    {
        events << QStringLiteral("%1:%2").arg(QLatin1String(eventKindName(e.kind)), HexNumber::byteText(e.record.byCmd));
    }
    void summary(const QString &, const RunSummary &, int) override {}
    void devicesFound(const QStringList &) override {}
};

// The lines as a script holds them, every command with a short timeout unless it
// says otherwise.
QByteArray scriptOf(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n')).toUtf8();
}

QString counts(const RunSummary &s)
{
    const QString failures = s.sendFailures > 0 ? QStringLiteral(" sendFailures %1").arg(s.sendFailures) : QString();
    return QStringLiteral("commands %1 sent %2 answered %3 dropped %4 resent %5 givenUp %6 unaccounted %7 "
                          "notAsPlanned %8 unmatched %9")
        .arg(s.commands)
        .arg(s.sent)
        .arg(s.answered)
        .arg(s.dropped)
        .arg(s.resent)
        .arg(s.givenUp)
        .arg(s.unaccounted)
        .arg(s.notAsPlanned)
        .arg(s.unmatchedReplies)
        + failures;
}

constexpr int kShortTimeoutMs = 60;

QStringList times(int n, const char *line)
{
    return QVector<QString>(n, QString::fromLatin1(line)).toList();
}

} // namespace

// The host's session against a transport whose device the test scripts: how each
// command ends, what the summary adds up, when a run stops, and the JSON it reports.
class TestHostSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void outcomes_data();
    void outcomes();
    void jsonShape_data();
    void jsonShape();
    void commandsAddedWhileRunning();
    void bridgeHandsRecordsToItsThread();
    void noThreadsForTheWorkers();
    void answersToABroadcast_data();
    void answersToABroadcast();
    void stoppingEndsWhatLeft_data();
    void stoppingEndsWhatLeft();

private:
    int run(const QStringList &lines, ScriptedPort *port, Reporter *reporter, RunSummary *summary,
            int giveUpLimit = 3, int deadlineMs = 0);
};

void TestHostSession::init()
{
    resetDispatcherState();
}

int TestHostSession::run(const QStringList &lines, ScriptedPort *port, Reporter *reporter, RunSummary *summary,
                         int giveUpLimit, int deadlineMs)
{
    QByteArray text = scriptOf(lines);
    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    CommandDefaults defaults;
    defaults.timeoutMs = kShortTimeoutMs;
    ScriptReader source(&buffer, QStringLiteral("test"), defaults);

    HostSession session(port, &source, reporter);
    session.setGiveUpLimit(giveUpLimit);
    session.setDeadlineMs(deadlineMs);
    QSignalSpy finished(&session, &HostSession::finished);
    session.start();
    if (finished.isEmpty() && !finished.wait(20000))
        return -1;
    *summary = session.summary();
    return finished.first().first().toInt();
}

void TestHostSession::outcomes_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("device"); // "cmd=behaviour,..."
    QTest::addColumn<int>("giveUpLimit");
    QTest::addColumn<int>("deadlineMs");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QString>("events"); // "kind:cmd" of every event, sorted
    QTest::addColumn<QString>("stopped");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("answered") << QStringList{"71:00", "76:00"} << "" << 3 << 0
                              << "commands 2 sent 2 answered 2 dropped 0 resent 0 givenUp 0 unaccounted 0 notAsPlanned 0 unmatched 0"
                              << "reply:71 reply:76 send:71 send:76" << "" << 0;
    QTest::newRow("ignored once, answered when sent again")
        << QStringList{"42:00"} << "42=silent-once" << 3 << 0
        << "commands 1 sent 1 answered 1 dropped 0 resent 1 givenUp 0 unaccounted 0 notAsPlanned 0 unmatched 0"
        << "reply:42 resend:42 send:42 send:42" << "" << 0;
    QTest::newRow("given up as planned, the queue moves on")
        << QStringList{"43:00 expect=give-up", "71:00"} << "43=silent" << 3 << 0
        << "commands 2 sent 2 answered 1 dropped 0 resent 1 givenUp 1 unaccounted 0 notAsPlanned 0 unmatched 0"
        << "giveup:43 reply:71 resend:43 send:43 send:43 send:71" << "" << 0;
    QTest::newRow("given up, meant to be answered")
        << QStringList{"43:00"} << "43=silent" << 3 << 0
        << "commands 1 sent 1 answered 0 dropped 0 resent 1 givenUp 1 unaccounted 0 notAsPlanned 1 unmatched 0"
        << "giveup:43 resend:43 send:43 send:43" << "" << 1;
    QTest::newRow("dropped by the reply rules as planned")
        << QStringList{"76:00 expect=drop", "71:00"} << "76=drop" << 3 << 0
        << "commands 2 sent 2 answered 1 dropped 1 resent 0 givenUp 0 unaccounted 0 notAsPlanned 0 unmatched 0"
        << "drop:76 reply:71 send:71 send:76" << "" << 0;
    QTest::newRow("dropped, meant to be answered")
        << QStringList{"76:00"} << "76=drop" << 3 << 0
        << "commands 1 sent 1 answered 0 dropped 1 resent 0 givenUp 0 unaccounted 0 notAsPlanned 1 unmatched 0"
        << "drop:76 send:76" << "" << 1;
    QTest::newRow("send failed: reported, then given up")
        << QStringList{"43:00 expect=give-up"} << "43=fail" << 3 << 0
        << "commands 1 sent 1 answered 0 dropped 0 resent 1 givenUp 1 unaccounted 0 notAsPlanned 0 unmatched 0 "
           "sendFailures 2"
        << "giveup:43 resend:43 send:43 send:43 sendfailed:43 sendfailed:43" << "" << 0;
    QTest::newRow("answer with another serial number")
        << QStringList{"71:00"} << "71=wrong-sn" << 3 << 0
        << "commands 1 sent 1 answered 0 dropped 0 resent 0 givenUp 0 unaccounted 1 notAsPlanned 1 unmatched 1"
        << "reply:71 send:71 unaccounted:71" << "" << 1;
    // Read a few at a time: of the five commands only those sent and two more were taken.
    QTest::newRow("give-up limit stops the run")
        << times(5, "43:00") << "43=silent" << 2 << 0
        << "commands 4 sent 2 answered 0 dropped 0 resent 2 givenUp 2 unaccounted 0 notAsPlanned 2 unmatched 0"
        << "giveup:43 giveup:43 resend:43 resend:43 send:43 send:43 send:43 send:43"
        << "2 commands in a row were given up" << 1;
    QTest::newRow("planned give-ups do not count toward the limit")
        << times(3, "43:00 expect=give-up") << "43=silent" << 1 << 0
        << "commands 3 sent 3 answered 0 dropped 0 resent 3 givenUp 3 unaccounted 0 notAsPlanned 0 unmatched 0"
        << "giveup:43 giveup:43 giveup:43 resend:43 resend:43 resend:43 send:43 send:43 send:43 send:43 send:43 send:43"
        << "" << 0;
    // The command in flight ends in a line of its own, saying why.
    QTest::newRow("deadline") << QStringList{"43:00 timeout=100000"} << "43=silent" << 3 << 300
                              << "commands 1 sent 1 answered 0 dropped 0 resent 0 givenUp 0 unaccounted 1 notAsPlanned 1 unmatched 0"
                              << "send:43 unaccounted:43" << "the deadline of 0.3 s passed" << 1;
    QTest::newRow("bad line met during the run") << QStringList{"71:00", "zz:00"} << "" << 3 << 0
                                                 << "commands 1 sent 0 answered 0 dropped 0 resent 0 givenUp 0 unaccounted 0 notAsPlanned 0 unmatched 0"
                                                 << "" << "test:2: " << 1;
    QTest::newRow("no commands") << QStringList{"# nothing"} << "" << 3 << 0
                                 << "commands 0 sent 0 answered 0 dropped 0 resent 0 givenUp 0 unaccounted 0 notAsPlanned 0 unmatched 0"
                                 << "" << "" << 0;
}

void TestHostSession::outcomes()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, device);
    QFETCH(int, giveUpLimit);
    QFETCH(int, deadlineMs);
    QFETCH(QString, counts);
    QFETCH(QString, events);
    QFETCH(QString, stopped);
    QFETCH(int, exitCode);

    ScriptedPort port;
    for (const QString &rule : device.split(QLatin1Char(','), Qt::SkipEmptyParts))
        port.behaviour[rule.section(QLatin1Char('='), 0, 0).toInt(nullptr, 16)] = rule.section(QLatin1Char('='), 1);
    // Only a planned silence waits its time out, and briefly; a command the port
    // answers, at once or on the resend, may take what a loaded machine takes.
    for (QString &line : lines) {
        bool isCommand = false;
        const int cmd = line.left(2).toInt(&isCommand, 16);
        if (!isCommand || line.contains(QLatin1String("timeout=")))
            continue;
        const QString behaviour = port.behaviour.value(cmd);
        const int timeoutMs = behaviour == QLatin1String("silent") || behaviour == QLatin1String("fail") ? kShortTimeoutMs
            : behaviour == QLatin1String("silent-once")                                                  ? 2000
                                                                                                         : 20000;
        line += QStringLiteral(" timeout=%1").arg(timeoutMs);
    }
    RecordingReporter reporter;
    RunSummary summary;
    QCOMPARE(run(lines, &port, &reporter, &summary, giveUpLimit, deadlineMs), exitCode);

    QCOMPARE(::counts(summary), counts);
    QStringList seen = reporter.events;
    std::sort(seen.begin(), seen.end());
    QCOMPARE(seen.join(QLatin1Char(' ')), events);
    QVERIFY2(stopped.isEmpty() ? summary.stoppedEarly.isEmpty() : summary.stoppedEarly.startsWith(stopped),
             qPrintable(summary.stoppedEarly));
    QCOMPARE(summary.roundTrips.count(), quint64(summary.answered));
    // Nothing of this run is left for the next.
    QCOMPARE(CmdDealModule::commandQueueSize(), 0);
}

void TestHostSession::jsonShape_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QStringList>("keys");

    // Every event says when it happened by the wall clock too (wallMs); the open
    // line, when the medium opened (time).
    const QStringList record{"event", "timeMs", "sn", "cmd", "sub", "p1", "p2", "p3", "block", "label", "line",
                             "wallMs"};
    QTest::newRow("open") << "open" << QStringList{"event", "medium", "description", "time"};
    QTest::newRow("send") << "send" << record + QStringList{"frame", "bytes", "pieces", "unit", "resend", "blockHex"};
    QTest::newRow("resend") << "resend" << record;
    QTest::newRow("reply") << "reply" << record + QStringList{"source", "matched", "roundTripMs", "head", "blockHex"};
    QTest::newRow("drop") << "drop" << record + QStringList{"source", "matched", "roundTripMs", "head", "blockHex"};
    QTest::newRow("giveup") << "giveup" << record + QStringList{"sends"};
    QTest::newRow("sendfailed") << "sendfailed" << record + QStringList{"reason"};
    QTest::newRow("medium") << "medium" << QStringList{"event", "timeMs", "present", "text", "wallMs"};
    QTest::newRow("note") << "note" << QStringList{"event", "timeMs", "text", "wallMs"};
    QTest::newRow("summary") << "summary"
                             << QStringList{"event", "medium", "commands", "sent", "answered", "dropped", "resent",
                                            "givenUp", "unaccounted", "notAsPlanned", "sendFailures",
                                            "unmatchedReplies", "broadcastAnswers",
                                            "roundTripMedianMs", "roundTripP99Ms", "stoppedEarly", "exitCode"};
    QTest::newRow("devices") << "devices" << QStringList{"event", "addresses"};
}

// Every line is one JSON object, and each kind of event carries exactly its keys.
void TestHostSession::jsonShape()
{
    QFETCH(QString, event);
    QFETCH(QStringList, keys);

    QString text;
    QTextStream out(&text);
    JsonReporter reporter(&out);
    reporter.opened(QStringLiteral("serial"), QStringLiteral("opened /dev/ttyS0"));
    ScriptedPort port;
    port.behaviour = {{0x43, QStringLiteral("fail")}, {0x76, QStringLiteral("drop")}};
    RunSummary summary;
    const int exitCode = run({"71:00 # plain", "43:00 expect=give-up", "76:00 expect=drop"}, &port, &reporter,
                             &summary);
    QCOMPARE(exitCode, 0);
    reporter.summary(QStringLiteral("serial"), summary, exitCode);
    // Made here as a session makes them, with their wall clock.
    HostEvent medium;
    medium.kind = HostEvent::Kind::Medium;
    medium.wallMs = QDateTime::currentMSecsSinceEpoch();
    reporter.event(medium);
    HostEvent note;
    note.kind = HostEvent::Kind::Note;
    note.wallMs = medium.wallMs;
    reporter.event(note);
    reporter.devicesFound({QStringLiteral("127.0.0.2")});

    int found = 0;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError && doc.isObject(), qPrintable(line));
        const QJsonObject o = doc.object();
        if (o.value(QStringLiteral("event")).toString() != event)
            continue;
        ++found;
        QStringList got = o.keys();
        QStringList want = keys;
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        QCOMPARE(got, want);
        if (event == QLatin1String("reply")) {
            QCOMPARE(o.value(QStringLiteral("label")).toString(), QStringLiteral("plain"));
            QCOMPARE(o.value(QStringLiteral("cmd")).toString(), QStringLiteral("71"));
            QCOMPARE(o.value(QStringLiteral("head")).toString(), QStringLiteral("01"));
            QVERIFY(o.value(QStringLiteral("roundTripMs")).toDouble() >= 0);
        } else if (event == QLatin1String("summary")) {
            QCOMPARE(o.value(QStringLiteral("givenUp")).toInt(), 1);
            QCOMPARE(o.value(QStringLiteral("dropped")).toInt(), 1);
            QCOMPARE(o.value(QStringLiteral("exitCode")).toInt(), 0);
        } else if (event == QLatin1String("giveup")) {
            QCOMPARE(o.value(QStringLiteral("sends")).toInt(), 2);
        } else if (event == QLatin1String("sendfailed")) {
            QCOMPARE(o.value(QStringLiteral("reason")).toString(), QStringLiteral("the line is down"));
            QCOMPARE(o.value(QStringLiteral("cmd")).toString(), QStringLiteral("43"));
        }
    }
    QVERIFY2(found > 0, qPrintable(text));
}

// What a window does: a session that goes on without a script, commands added as a
// person types them, every event as a signal, and a Stop button.
void TestHostSession::commandsAddedWhileRunning()
{
    ScriptedPort port;
    port.behaviour[0x76] = QStringLiteral("drop");
    HostSession session(&port, nullptr);
    session.setKeepRunning(true);
    QSignalSpy reported(&session, &HostSession::reported);
    QSignalSpy finished(&session, &HostSession::finished);
    auto command = [](const char *text) {
        PlannedCommand planned;
        QString error;
        ScriptReader::parseLine(QString::fromLatin1(text), CommandDefaults(), &planned, &error);
        return planned;
    };
    QVERIFY(session.add(command("71:00 # before the start")));
    session.start();
    auto seen = [&reported](HostEvent::Kind kind) {
        int n = 0;
        for (const QList<QVariant> &args : reported)
            n += args.first().value<HostEvent>().kind == kind ? 1 : 0;
        return n;
    };
    QTRY_COMPARE_WITH_TIMEOUT(seen(HostEvent::Kind::Reply), 1, 20000);
    QVERIFY(session.add(command("76:00 expect=drop")));
    QVERIFY(session.add(command("72:00")));
    QTRY_COMPARE_WITH_TIMEOUT(seen(HostEvent::Kind::Reply), 2, 20000);
    QCOMPARE(seen(HostEvent::Kind::Drop), 1);
    // Every command has ended, and the session waits for more.
    QTest::qWait(3 * HostSession::kIdleCheckMs * HostSession::kIdleChecks);
    QVERIFY(finished.isEmpty());

    session.abort(QStringLiteral("stopped"));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 1);
    QCOMPARE(session.summary().commands, 3);
    QCOMPARE(session.summary().notAsPlanned, 0);
    QCOMPARE(session.summary().stoppedEarly, QStringLiteral("stopped"));
    QVERIFY(!session.add(command("71:00")));
    QCOMPARE(reported.first().first().value<HostEvent>().label, QStringLiteral("before the start"));
}

// The bridge hands each worker's record to the thread that owns it, as a copy, in
// each worker's order: the command as released with its serial number, the resend
// announced and then released again, the give-up with its command; the reply and
// the one the rules dropped. (A reply and the next release come from two workers:
// their order may vary.) After stop() nothing more comes.
void TestHostSession::bridgeHandsRecordsToItsThread()
{
    ScriptedPort port;
    port.behaviour = {{0x76, QStringLiteral("drop")}, {0x43, QStringLiteral("silent")}};
    DispatcherBridge bridge;
    QStringList seen;
    auto note = [&seen](const char *what, const ProtocolData &r) {
        QVERIFY(QThread::currentThread() == qApp->thread());
        seen << QStringLiteral("%1:%2:%3").arg(QLatin1String(what)).arg(r.byCmd, 2, 16, QLatin1Char('0')).arg(r.bySN);
    };
    connect(&bridge, &DispatcherBridge::released, this, [&](const ProtocolData &c, bool resend) {
        note(resend ? "again" : "released", c);
        ProtocolData copy = c;
        port.sendDatatoDevice(&copy);
    });
    connect(&bridge, &DispatcherBridge::resent, this, [&](const ProtocolData &c) { note("resent", c); });
    connect(&bridge, &DispatcherBridge::replied, this, [&](const ProtocolData &r) { note("replied", r); });
    connect(&bridge, &DispatcherBridge::dropped, this, [&](const ProtocolData &r) { note("dropped", r); });
    connect(&bridge, &DispatcherBridge::gaveUp, this, [&](const ProtocolData &c) { note("gaveUp", c); });
    // Only the silent command is to expire: the answered ones wait as long as a
    // loaded machine may take to hand their replies on.
    for (int cmd : {0x71, 0x76, 0x43}) {
        ProtocolData c;
        c.byCmd = quint8(cmd);
        c.iTimeoutMs = cmd == 0x43 ? kShortTimeoutMs : 20000;
        DispatcherBridge::queue(c);
    }
    bridge.start();
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 8, 20000);
    const QStringList received = seen.filter(QRegularExpression(QStringLiteral("^(replied|dropped):")));
    QStringList sent = seen;
    for (const QString &r : received)
        sent.removeOne(r);
    QCOMPARE(sent, (QStringList{"released:71:1", "released:76:2", "released:43:3", "resent:43:3", "again:43:3",
                                "gaveUp:43:3"}));
    QCOMPARE(received, (QStringList{"replied:71:1", "dropped:76:2"}));

    // A command released while this thread is busy, then stopped: never reported.
    ProtocolData late;
    late.byCmd = 0x71;
    DispatcherBridge::queue(late);
    QDeadlineTimer deadline(20000);
    while (CmdDealModule::commandQueueSize() > 0 && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    bridge.stop();
    QTest::qWait(50);
    QCOMPARE(seen.size(), 8);
    QCOMPARE(port.sent.size(), 4);
}

void TestHostSession::noThreadsForTheWorkers()
{
#if defined(__SANITIZE_THREAD__)
    QSKIP("ThreadSanitizer does not let a forked child of a threaded process start threads");
#endif
    if (!ThreadlessChild::available())
        QSKIP("no way here to take the right to start threads away from a process");
    // A process that may start no thread: the session ends with the reason, instead
    // of the refusal thrown out of start() ending the process.
    QString failure;
    const bool ok = ThreadlessChild::run([this]() {
        ScriptedPort port;
        RunSummary summary;
        const int exitCode = run({"71:00"}, &port, nullptr, &summary);
        if (exitCode <= 0)
            return 1;
        if (!summary.stoppedEarly.contains(QStringLiteral("refused a thread")))
            return 2;
        DispatcherBridge bridge;
        if (bridge.start() || bridge.isRunning())
            return 3;
        return 0;
    }, &failure);
    QVERIFY2(ok, qPrintable(failure));
}


namespace {

PlannedCommand typed(const QString &text, bool broadcast = false)
{
    CommandDefaults defaults;
    defaults.sendMode = broadcast ? 1 : 0;
    PlannedCommand planned;
    QString error;
    ScriptReader::parseLine(text, defaults, &planned, &error);
    return planned;
}

QList<HostEvent> reportedOf(const QSignalSpy &spy, HostEvent::Kind kind)
{
    QList<HostEvent> events;
    for (const QList<QVariant> &args : spy) {
        const HostEvent e = args.first().value<HostEvent>();
        if (e.kind == kind)
            events << e;
    }
    return events;
}

} // namespace

// Every device on the segment answers a broadcast with its serial number: the
// first answer ends the command, the others are answers to it all the same, with
// their round trip from its send, and say so in the JSON lines a saved session
// reads back. Only the broadcast's own command and sub-command count.
void TestHostSession::answersToABroadcast_data()
{
    QTest::addColumn<bool>("broadcast");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("answers"); // per reply: matched, broadcast or unmatched
    QTest::addColumn<int>("broadcastAnswers");
    QTest::addColumn<int>("unmatched");

    QTest::newRow("three devices answer a broadcast") << true << "devices=3" << "matched broadcast broadcast" << 2 << 0;
    QTest::newRow("a unicast answered thrice") << false << "devices=3" << "matched unmatched unmatched" << 0 << 2;
    QTest::newRow("another sub-command is not the broadcast's")
        << true << "devices=3/sub" << "matched broadcast unmatched" << 1 << 1;
}

void TestHostSession::answersToABroadcast()
{
    QFETCH(bool, broadcast);
    QFETCH(QString, device);
    QFETCH(QString, answers);
    QFETCH(int, broadcastAnswers);
    QFETCH(int, unmatched);

    ScriptedPort port;
    port.behaviour[0x71] = device;
    HostSession session(&port, nullptr);
    session.setKeepRunning(true);
    QSignalSpy reported(&session, &HostSession::reported);
    QVERIFY(session.add(typed(QStringLiteral("71:00 # who is there"), broadcast)));
    session.start();
    QTRY_COMPARE_WITH_TIMEOUT(reportedOf(reported, HostEvent::Kind::Reply).size(), 3, 20000);
    session.abort(QStringLiteral("done"));

    QStringList seen;
    for (const HostEvent &e : reportedOf(reported, HostEvent::Kind::Reply)) {
        seen << (e.answersBroadcast ? QStringLiteral("broadcast") : e.matched ? QStringLiteral("matched")
                                                                               : QStringLiteral("unmatched"));
        if (e.answersBroadcast) {
            QCOMPARE(e.label, QStringLiteral("who is there"));
            QVERIFY(e.roundTripMs >= 0);
        }
        // What a saved session keeps of it, read back.
        const QJsonObject line = EventJson::toJson(e);
        QCOMPARE(line.value(QStringLiteral("broadcast")).toBool(), e.answersBroadcast);
        HostEvent back;
        EventJson::Extent extent;
        QString error;
        QCOMPARE(EventJson::fromJson(line, &back, &extent, &error), EventJson::Read::Event);
        QCOMPARE(back.answersBroadcast, e.answersBroadcast);
    }
    QCOMPARE(seen.join(QLatin1Char(' ')), answers);
    QCOMPARE(session.summary().broadcastAnswers, broadcastAnswers);
    QCOMPARE(session.summary().unmatchedReplies, unmatched);
    QCOMPARE(session.summary().answered, 1);
}

// A run stopped while a command waits for its reply ends that command in a line of
// its own with the reason; one already answered gets none.
void TestHostSession::stoppingEndsWhatLeft_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("ended");

    QTest::newRow("in flight") << "silent" << 1;
    QTest::newRow("answered before the stop") << "answer" << 0;
}

void TestHostSession::stoppingEndsWhatLeft()
{
    QFETCH(QString, device);
    QFETCH(int, ended);

    ScriptedPort port;
    port.behaviour[0x43] = device;
    HostSession session(&port, nullptr);
    session.setKeepRunning(true);
    QSignalSpy reported(&session, &HostSession::reported);
    QVERIFY(session.add(typed(QStringLiteral("43:00 timeout=100000 # waits"))));
    session.start();
    QTRY_VERIFY_WITH_TIMEOUT(!reportedOf(reported, HostEvent::Kind::Send).isEmpty(), 20000);
    if (device == QLatin1String("answer"))
        QTRY_COMPARE_WITH_TIMEOUT(session.summary().answered, 1, 20000);
    QCOMPARE(session.commandsAhead(), ended);
    session.abort(QStringLiteral("stopped by the user"));

    const QList<HostEvent> stopped = reportedOf(reported, HostEvent::Kind::Unaccounted);
    QCOMPARE(stopped.size(), ended);
    QCOMPARE(session.summary().unaccounted, ended);
    for (const HostEvent &e : stopped) {
        QCOMPARE(e.text, QStringLiteral("stopped by the user"));
        QCOMPARE(e.label, QStringLiteral("waits"));
        const QJsonObject line = EventJson::toJson(e);
        QCOMPARE(line.value(QStringLiteral("why")).toString(), e.text);
        HostEvent back;
        EventJson::Extent extent;
        QString error;
        QCOMPARE(EventJson::fromJson(line, &back, &extent, &error), EventJson::Read::Event);
        QCOMPARE(back.text, e.text);
    }
}

QTEST_GUILESS_MAIN(TestHostSession)
#include "tst_hostsession.moc"
