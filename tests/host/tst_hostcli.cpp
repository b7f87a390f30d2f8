#include "ptydevice.h"
#include "simfaultnames.h"
#include "udpdevice.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

#include <signal.h>

// hostcli and the demonstration as a person or a script runs them: exit codes and
// messages for good and bad input on each medium (USB on the simulated HID bus,
// preloaded), the JSON lines, the error log, a script of 100,000 lines, and
// ./run.sh demo's program.
class TestHostCli : public QObject
{
    Q_OBJECT

private slots:
    void exitCodes_data();
    void exitCodes();
    void jsonLinesAndErrorLog();
    void wireShowsEveryByte_data();
    void wireShowsEveryByte();
    void longScriptRunsInFlatMemory();
    void interruptPrintsTheSummarySoFar();
    void demoOptions_data();
    void demoOptions();
    void demo();

private:
    std::unique_ptr<SimLink> startDevice(const QString &kind, const QString &faults);
    // Writes a script into the test's directory and returns its path.
    QString writeScript(const QString &name, const QByteArray &lines);
    QTemporaryDir m_dir;
};

namespace {

struct Finished
{
    int exitCode = -1;
    QString out;
    QString err;
};

// usbDevices: the simulated HID bus is preloaded, with these devices on it
// (VVVV:PPPP[/fault=CMD...];...); empty: the system's hidapi. input goes to its
// standard input, a pipe.
Finished runProgram(const QString &program, const QStringList &arguments, const QString &usbDevices = QString(),
                    const QByteArray &input = QByteArray(), int timeoutMs = 60000)
{
    QProcess process;
    if (!usbDevices.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SIMHID_PATH));
        env.insert(QStringLiteral("VELMORA_SIMHID"), usbDevices);
        // AddressSanitizer insists on coming first; the bus defines nothing it intercepts.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
        process.setProcessEnvironment(env);
    }
    process.start(program, arguments);
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    Finished f;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        f.err = QStringLiteral("(did not finish)");
        return f;
    }
    f.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    f.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    f.err = QString::fromLocal8Bit(process.readAllStandardError());
    return f;
}

// The peak resident memory of a running process, in kB (Linux).
qint64 peakMemoryKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

std::unique_ptr<SimLink> TestHostCli::startDevice(const QString &kind, const QString &faults)
{
    std::unique_ptr<SimLink> device;
    if (kind == QLatin1String("pty"))
        device = std::make_unique<PtyDevice>();
    else if (kind == QLatin1String("udp"))
        device = std::make_unique<UdpDevice>(QHostAddress(QStringLiteral("127.0.0.2")));
    else
        return nullptr;
    if (!device->start())
        return nullptr;
    // "silent=43" or "bad-checksum=71" for one command code, "silent" for all.
    for (const QString &fault : faults.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        SimFault kind = SimFault::Silent;
        if (!SimFaultNames::find(fault.section(QLatin1Char('='), 0, 0), &kind))
            return nullptr;
        if (!fault.contains(QLatin1Char('=')))
            device->device().setFaultForAll(kind);
        else
            device->device().setFault(quint8(fault.section(QLatin1Char('='), 1).toUInt(nullptr, 16)), kind);
    }
    return device;
}

QString TestHostCli::writeScript(const QString &name, const QByteArray &lines)
{
    const QString path = m_dir.filePath(name + QStringLiteral(".txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(lines) != lines.size())
        return QString();
    return path;
}

void TestHostCli::exitCodes_data()
{
    QTest::addColumn<QString>("device"); // "pty", "udp", "usb" (on the simulated HID bus) or "" for none
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("arguments"); // {endpoint} and {script} are filled in
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // stdout must contain
    QTest::addColumn<QString>("err"); // stderr must contain

    // Commands meant to be answered get the system's 6 s: a loaded machine may stall a
    // reply for a second or more, and a resend would change what the device saw. Only
    // the silent one has a short timeout, through a script line.
    const QStringList two{"--timeout", "6000", "--cmd", "71:00", "--cmd", "e0:01:00:02:00/abcd"};
    const QByteArray twoFirstSilent("71:00 timeout=300\ne0:01:00:02:00/abcd\n");
    const QString allEnded = "== all 2 commands ended as planned\n";
    const QString oneNot = "== 1 of 2 commands did not end as planned\n";

    QTest::newRow("serial, answered") << "pty" << "" << QStringList{"--port", "{endpoint}"} + two << QByteArray() << 0
                                      << allEnded << "";
    QTest::newRow("serial, one given up")
        << "pty" << "silent=71" << QStringList{"--port", "{endpoint}", "--timeout", "6000", "--script", "{script}"}
        << twoFirstSilent << 1 << oneNot << "";
    QTest::newRow("serial settings") << "pty" << ""
                                     << QStringList{"--port", "{endpoint}", "--baud", "9600", "--parity", "even",
                                                    "--data-bits", "7", "--stop-bits", "2", "--flow", "software"}
                                            + two
                                     << QByteArray() << 0 << "at 9600 7E2 with software flow control" << "";
    QTest::newRow("UDP, answered") << "udp" << "" << QStringList{"--udp", "{endpoint}"} + two << QByteArray() << 0
                                   << allEnded << "";
    QTest::newRow("UDP, one given up")
        << "udp" << "silent=71" << QStringList{"--udp", "{endpoint}", "--timeout", "6000", "--script", "{script}"}
        << twoFirstSilent << 1 << oneNot << "";
    QTest::newRow("USB, answered") << "usb" << "" << QStringList{"--usb", "{endpoint}"} + two << QByteArray() << 0
                                   << allEnded << "";
    QTest::newRow("USB, one given up")
        << "usb" << "silent=71" << QStringList{"--usb", "{endpoint}", "--timeout", "6000", "--script", "{script}"}
        << twoFirstSilent << 1 << oneNot << "";
    QTest::newRow("USB, other ids on the bus")
        << "usb" << "" << QStringList{"--usb", "4c56:0106", "--cmd", "71:00"} << QByteArray() << 1 << ""
        << "hostcli: no USB HID device 4c56:0106 could be opened";
    QTest::newRow("script with a planned give-up")
        << "pty" << "silent=43" << QStringList{"--port", "{endpoint}", "--script", "{script}"}
        << QByteArray("# two commands\n71:00 # first\n43:00 timeout=200 expect=give-up # silent\n") << 0
        << "== all 2 commands ended as planned\n" << "";
    QTest::newRow("device that never answers: the run stops")
        << "udp" << "silent" << QStringList{"--udp", "{endpoint}", "--script", "{script}"}
        << QByteArray("71:00 timeout=100\n").repeated(50) << 1
        << "== stopped early: 3 commands in a row were given up: the device does not answer\n" << "";
    QTest::newRow("serial port that does not exist")
        << "" << "" << QStringList{"--port", "/dev/no-such-port", "--cmd", "71:00"} << QByteArray() << 1 << ""
        << "hostcli: cannot open serial port /dev/no-such-port: ";
    QTest::newRow("UDP host that does not resolve")
        << "" << "" << QStringList{"--udp", "no-such-host.invalid:5000", "--cmd", "71:00"} << QByteArray() << 1 << ""
        << "hostcli: cannot resolve no-such-host.invalid";
    QTest::newRow("no USB device with the ids")
        << "" << "" << QStringList{"--usb", "4c56:0106", "--cmd", "71:00"} << QByteArray() << 1 << ""
        << "hostcli: no USB HID device 4c56:0106 could be opened";
    QTest::newRow("script with a bad line")
        << "" << "" << QStringList{"--port", "/dev/null", "--script", "{script}"}
        << QByteArray("71:00\n\n71:00 expect=never\n") << 2 << "" << "{script}:3: expect=never";
    QTest::newRow("script that cannot be read")
        << "" << "" << QStringList{"--port", "/dev/null", "--script", "/no/such/script"} << QByteArray() << 2 << ""
        << "hostcli: --script: cannot read /no/such/script";
    QTest::newRow("script without commands")
        << "" << "" << QStringList{"--port", "/dev/null", "--script", "{script}"} << QByteArray("# nothing\n") << 2
        << "" << "no commands";
    QTest::newRow("error log directory that cannot be made")
        << "pty" << "" << QStringList{"--port", "{endpoint}", "--errorlog", "/proc/no/such/dir", "--cmd", "71:00"}
        << QByteArray() << 2 << "" << "hostcli: --errorlog: cannot make the directory /proc/no/such/dir";
    QTest::newRow("bad option value") << "" << "" << QStringList{"--port", "/dev/null", "--baud", "0", "--cmd", "71:00"}
                                      << QByteArray() << 2 << ""
                                      << "hostcli: --baud: \"0\" is not a positive number of bits per second (see --help)\n";
    // "--script -" or "--script /dev/stdin": the script column goes to standard input, a pipe.
    QTest::newRow("script on standard input")
        << "pty" << "silent=43" << QStringList{"--port", "{endpoint}", "--script", "-"}
        << QByteArray("71:00 # first\n43:00 timeout=200 expect=give-up # silent\n") << 0
        << "== all 2 commands ended as planned\n" << "";
    QTest::newRow("bad line on standard input")
        << "" << "" << QStringList{"--port", "/dev/null", "--script", "-"} << QByteArray("71:00\nzz:00\n") << 2 << ""
        << "hostcli: <stdin>:2: ";
    QTest::newRow("standard input without commands")
        << "" << "" << QStringList{"--port", "/dev/null", "--script", "-"} << QByteArray("\n") << 2 << ""
        << "hostcli: <stdin>: no commands in it";
    QTest::newRow("script with a NUL byte")
        << "" << "" << QStringList{"--port", "/dev/null", "--script", "{script}"}
        << QByteArray("71:00\n71:00 #\0 the rest\n", 24) << 2 << "" << "{script}:2:8: a NUL byte";
    QTest::newRow("one command") << "pty" << "" << QStringList{"--port", "{endpoint}", "--cmd", "71:00"} << QByteArray()
                                 << 0 << "== the command ended as planned\n" << "";
    QTest::newRow("baud rate beyond the named ones")
        << "pty" << "" << QStringList{"--port", "{endpoint}", "--baud", "230400", "--cmd", "71:00"} << QByteArray()
        << 0 << "at 230400 8N1" << "";
    QTest::newRow("baud rate of no standard")
        << "pty" << "" << QStringList{"--port", "{endpoint}", "--baud", "12345", "--cmd", "71:00"} << QByteArray() << 0
        << "at 12345 8N1" << "";
    QTest::newRow("script named by /dev/stdin")
        << "pty" << "" << QStringList{"--port", "{endpoint}", "--script", "/dev/stdin"} << QByteArray("71:00\n")
        << 0 << "== the command ended as planned\n" << "";
    QTest::newRow("help") << "" << "" << QStringList{"--help"} << QByteArray() << 0 << "Usage: hostcli [options]" << "";
    QTest::newRow("version") << "" << "" << QStringList{"--version"} << QByteArray() << 0 << "hostcli 1.0.5\n" << "";
    QTest::newRow("unknown option") << "" << "" << QStringList{"--port", "/dev/null", "--frob", "--cmd", "71:00"}
                                    << QByteArray() << 2 << "" << "hostcli: Unknown option \"frob\" (see --help)\n";
}

void TestHostCli::exitCodes()
{
    QFETCH(QString, device);
    QFETCH(QString, faults);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, script);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QVERIFY(m_dir.isValid());
    std::unique_ptr<SimLink> link;
    if (device == QLatin1String("pty") || device == QLatin1String("udp")) {
        link = startDevice(device, faults);
        QVERIFY(link);
    }
    const QString scriptPath = m_dir.filePath(QStringLiteral("%1.txt").arg(QTest::currentDataTag()).replace(' ', '-'));
    const bool scriptOnInput = arguments.contains(QStringLiteral("-")) || arguments.contains(QStringLiteral("/dev/stdin"));
    if (!script.isEmpty() && !scriptOnInput) {
        QFile file(scriptPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(script);
    }
    for (QString &a : arguments) {
        a.replace(QStringLiteral("{script}"), scriptPath);
        if (link)
            a.replace(QStringLiteral("{endpoint}"), link->endpoint());
    }
    err.replace(QStringLiteral("{script}"), scriptPath);

    // The USB device lives in hostcli's process, on the preloaded bus.
    QString usbDevices;
    if (device == QLatin1String("usb")) {
        usbDevices = QStringLiteral("4c56:0105");
        for (QString fault : faults.split(QLatin1Char(','), Qt::SkipEmptyParts))
            usbDevices += QStringLiteral("/") + fault.replace(QLatin1Char('='), QStringLiteral("=0x"));
        for (QString &a : arguments)
            a.replace(QStringLiteral("{endpoint}"), QStringLiteral("4c56:0105"));
    }
    const Finished f = runProgram(QStringLiteral(HOSTCLI_PATH), arguments, usbDevices,
                                  scriptOnInput ? script : QByteArray());
    QVERIFY2(f.out.contains(out), qPrintable(f.out + f.err));
    QVERIFY2(f.err.contains(err), qPrintable(f.err));
    QCOMPARE(f.exitCode, exitCode);
    if (exitCode == 2)
        QVERIFY2(f.out.isEmpty(), qPrintable(f.out));
}

// With --json stdout holds nothing but JSON objects, one a line: the medium, every
// event, the summary last, whose exit code is the program's. In the same run
// --errorlog DIR writes each given-up command as one line of DIR/Errorlog/yyyyMMdd.log.
void TestHostCli::jsonLinesAndErrorLog()
{
    std::unique_ptr<SimLink> device = startDevice(QStringLiteral("pty"), QStringLiteral("silent=43"));
    QVERIFY(device);
    const QString dir = m_dir.filePath(QStringLiteral("logs/deeper"));
    const Finished f = runProgram(QStringLiteral(HOSTCLI_PATH),
                                  {"--json", "--errorlog", dir, "--port", device->endpoint(), "--timeout", "6000",
                                   "--script", writeScript("json", "71:00\n43:01:02:03:04 timeout=200\n")});
    QCOMPARE(f.exitCode, 1);
    QStringList events;
    QJsonObject last;
    for (const QString &line : f.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8());
        QVERIFY2(doc.isObject(), qPrintable(line));
        last = doc.object();
        events << last.value(QStringLiteral("event")).toString();
        // When each happened by the wall clock; the medium's opening with its date.
        const QString event = events.last();
        if (event == QLatin1String("open"))
            QVERIFY2(qAbs(QDateTime::fromString(last.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
                              .toMSecsSinceEpoch()
                          - QDateTime::currentMSecsSinceEpoch())
                         < 600000,
                     qPrintable(line));
        else if (event != QLatin1String("summary"))
            QVERIFY2(qAbs(last.value(QStringLiteral("wallMs")).toDouble() - QDateTime::currentMSecsSinceEpoch()) < 600000,
                     qPrintable(line));
    }
    // A reply and the next release come from two workers: their order may vary.
    QCOMPARE(events.first(), QStringLiteral("open"));
    QCOMPARE(events.last(), QStringLiteral("summary"));
    std::sort(events.begin(), events.end());
    QCOMPARE(events.join(QLatin1Char(' ')), QStringLiteral("giveup open reply resend send send send summary"));
    QCOMPARE(last.value(QStringLiteral("exitCode")).toInt(), 1);
    QCOMPARE(last.value(QStringLiteral("notAsPlanned")).toInt(), 1);

    QFile log(dir + QStringLiteral("/Errorlog/") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))
              + QStringLiteral(".log"));
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().trimmed().endsWith("]<43 01 02 03 04>"), lines.first().constData());
}

void TestHostCli::wireShowsEveryByte_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<int>("replies");
    // Each command frame as it left, the device's bytes as they came: an answer with a
    // wrong checksum is on the wire, though no reply line shows it.
    QTest::newRow("serial, answered") << "pty" << "" << 1;
    QTest::newRow("serial, a wrong checksum") << "pty" << "bad-checksum=71" << 0;
    QTest::newRow("UDP, answered") << "udp" << "" << 1;
    QTest::newRow("UDP, a wrong checksum") << "udp" << "bad-checksum=71" << 0;
}

void TestHostCli::wireShowsEveryByte()
{
    QFETCH(QString, medium);
    QFETCH(QString, faults);
    QFETCH(int, replies);
    std::unique_ptr<SimLink> device = startDevice(medium, faults);
    QVERIFY(device);
    // A second command after the first: the answer to the first one's resend comes in
    // before the second's reply, which the run waits for.
    const Finished f = runProgram(QStringLiteral(HOSTCLI_PATH),
                                  {"--json", "--wire", medium == QLatin1String("pty") ? "--port" : "--udp",
                                   device->endpoint(), "--cmd", "71:00", "--cmd", "77:21", "--timeout", "300"});
    QByteArray out;
    QByteArray in;
    QStringList frames;
    int replyLines = 0;
    for (const QString &line : f.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        const QString event = o.value(QStringLiteral("event")).toString();
        if (event == QLatin1String("send"))
            frames << o.value(QStringLiteral("frame")).toString();
        replyLines += event == QLatin1String("reply") ? 1 : 0;
        if (event != QLatin1String("wire"))
            continue;
        QVERIFY2(!o.value(QStringLiteral("peer")).toString().isEmpty(), qPrintable(line));
        const QByteArray bytes = QByteArray::fromHex(o.value(QStringLiteral("hex")).toString().toLatin1());
        (o.value(QStringLiteral("dir")).toString() == QLatin1String("in") ? in : out) += bytes;
    }
    QCOMPARE(replyLines, replies + 1);
    QCOMPARE(QString::fromLatin1(out), frames.join(QString()));
    // The device's answer to each send of the first command, as it came, checksum
    // right or wrong.
    QCOMPARE(in.count("[R010171"), frames.filter(QStringLiteral("[A010171")).size());
    QCOMPARE(in.count("[R010277"), 1);
}

// 100,000 lines cost no more memory than 1,000: the script is checked and then read
// as the run goes, never held. Both runs end at their deadline with a clear message.
void TestHostCli::longScriptRunsInFlatMemory()
{
    std::unique_ptr<SimLink> device = startDevice(QStringLiteral("pty"), QString());
    QVERIFY(device);
    qint64 peak[2] = {0, 0};
    const int lines[2] = {1000, 100000};
    for (int i = 0; i < 2; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("lines-%1.txt").arg(lines[i]));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int n = 0; n < lines[i]; ++n)
            file.write(QStringLiteral("71:00:%1 # line %2 of a long script\n").arg(n % 32, 2, 16, QLatin1Char('0')).arg(n).toLatin1());
        file.close();

        QProcess cli;
        cli.start(QStringLiteral(HOSTCLI_PATH), {"--port", device->endpoint(), "--script", path, "--deadline", "3"});
        QVERIFY(cli.waitForStarted());
        // Past the whole-script check and into the run.
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromLocal8Bit(cli.readAllStandardOutput())).contains("<- SN"),
                                 90000);
        peak[i] = peakMemoryKb(cli.processId());
        QVERIFY(cli.waitForFinished(60000));
        out += QString::fromLocal8Bit(cli.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("== stopped early: the deadline of 3 s passed")), qPrintable(out.right(500)));
        QCOMPARE(cli.exitCode(), 1);
    }
    QVERIFY(peak[0] > 0);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers keep freed memory aside for a while: the peak then grows with
    // what was ever allocated, not with what is held.
    return;
#endif
    QVERIFY2(peak[1] - peak[0] < 4096, qPrintable(QStringLiteral("%1 kB against %2 kB").arg(peak[1]).arg(peak[0])));
}

// Ctrl+C ends the run, as ping does, with the summary of what it did so far.
void TestHostCli::interruptPrintsTheSummarySoFar()
{
    std::unique_ptr<SimLink> device = startDevice(QStringLiteral("pty"), QStringLiteral("silent=43"));
    QVERIFY(device);
    QProcess cli;
    cli.start(QStringLiteral(HOSTCLI_PATH),
              {"--port", device->endpoint(), "--timeout", "6000", "--script",
               writeScript("interrupted", "71:00\n43:00 timeout=600000 # never answered\n76:00\n")});
    QString out;
    QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromLocal8Bit(cli.readAllStandardOutput())).contains("never answered"),
                             30000);
    ::kill(pid_t(cli.processId()), SIGINT);
    QVERIFY(cli.waitForFinished(30000));
    out += QString::fromLocal8Bit(cli.readAllStandardOutput());
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 1);
    // The command in flight ends in a line of its own, saying why.
    QVERIFY2(out.contains("!! SN 2 ended without its reply: interrupted (Ctrl+C)   never answered\n"), qPrintable(out));
    QVERIFY2(out.contains("== serial summary: 2 sent, 1 answered, 0 dropped by the reply rules, 0 resent, 0 given up, "
                          "1 without a reply of their own; round trip median "),
             qPrintable(out));
    QVERIFY2(out.endsWith("== stopped early: interrupted (Ctrl+C)\n"), qPrintable(out));
}

void TestHostCli::demoOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // stdout must contain; for exit code 2 it must be empty
    QTest::addColumn<QString>("err"); // stderr must contain

    QTest::newRow("version") << QStringList{"--version"} << 0 << "hostdemo 1.0.5\n" << "";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--log" << "";
    QTest::newRow("unknown option") << QStringList{"--usb"} << 2 << "" << "hostdemo: Unknown option \"usb\" (see --help)";
    QTest::newRow("extra argument") << QStringList{"serial"} << 2 << "" << "hostdemo: unexpected argument \"serial\"";
}

void TestHostCli::demoOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    const Finished f = runProgram(QStringLiteral(HOSTDEMO_PATH), arguments);
    QCOMPARE(f.exitCode, exitCode);
    QVERIFY2(f.out.contains(out), qPrintable(f.out));
    QVERIFY2(f.err.contains(err), qPrintable(f.err));
    if (exitCode == 2)
        QVERIFY2(f.out.isEmpty(), qPrintable(f.out));
}

// ./run.sh demo: every medium's summary, every command as planned, the USB device
// gone and back, well within 30 s.
void TestHostCli::demo()
{
    QElapsedTimer clock;
    clock.start();
    const Finished f = runProgram(QStringLiteral(HOSTDEMO_PATH), {});
    // What explains a failure: the summaries and notices, without the traffic.
    QStringList notices;
    for (const QString &line : f.out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("==")) || line.startsWith(QLatin1String("!!")))
            notices << line;
    }
    const QString explained = notices.join(QLatin1Char('\n')) + QLatin1Char('\n') + f.err;
    QVERIFY2(f.exitCode == 0, qPrintable(explained));
    QVERIFY(clock.elapsed() < 30000);
    const QStringList summaries{
        "== serial summary: 7 sent, 6 answered, 0 dropped by the reply rules, 2 resent, 1 given up; round trip",
        "== UDP summary: 7 sent, 6 answered, 0 dropped by the reply rules, 2 resent, 1 given up; round trip",
        "== USB summary: 8 sent, 6 answered, 1 dropped by the reply rules, 3 resent, 1 given up; round trip"};
    for (const QString &summary : summaries)
        QVERIFY2(f.out.contains(summary), qPrintable(explained));
    QCOMPARE(f.out.count(QStringLiteral("== all 7 commands ended as planned\n")), 2);
    QCOMPARE(f.out.count(QStringLiteral("== all 8 commands ended as planned\n")), 1);
    QVERIFY(f.out.contains(QStringLiteral("!! device removed, port closed (signalUSBChanged(false))")));
    QVERIFY(f.out.contains(QStringLiteral("!! device attached again (signalUSBChanged(true)), reopened")));
    QVERIFY(f.out.contains(QStringLiteral("+ block 88 bytes, as 2 reports of 65 bytes")));
    QVERIFY(f.out.contains(QStringLiteral("block 1000 bytes")));
    QVERIFY(f.out.contains(QStringLiteral("as 2 datagrams of 540 + 79 bytes")));
    QVERIFY(f.out.contains(QStringLiteral("the device joined the 619-byte command: a 19-byte frame and a 600-byte block")));
}

QTEST_GUILESS_MAIN(TestHostCli)
#include "tst_hostcli.moc"
