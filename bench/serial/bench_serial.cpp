// Commands per second and round-trip latency (release -> accepted reply) over a
// pseudo-terminal with the simulated device answering at once, beside the same
// figures for an in-process device and the design limit of one release per
// 10 ms send-worker poll; then how the serial transport copes with a device that
// floods the line with garbage. Prints figures; not a pass/fail test.
#include "cmddealmodule.h"
#include "conntype.h"
#include "dispatcherstate.h"
#include "portinterface.h"
#include "portserial.h"
#include "ptydevice.h"
#include "roundtrip.h"
#include "streamparser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {
constexpr int kCommands = 600;

// Resident set size of the process in KB, from /proc (0 where there is none).
long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// The device streams "["-dense noise for the given time (or writes `burst` bytes of
// it at once), then one reply. Prints how much went through, the largest the
// reassembly buffer grew, the process's memory, and how long the reply behind the
// noise took to reach the receive queue.
bool flood(const char *what, int seconds, int burst, QString *error)
{
    PtyDevice device;
    if (!device.start(error))
        return false;
    std::unique_ptr<PortBase> base(PortInterface::creatCoreObjInstance(ConnSerial));
    auto *port = qobject_cast<PortSerial *>(base.get());
    if (!port->openSerialPort(device.portName(), QSerialPort::Baud115200, QSerialPort::OneStop,
                              QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8)) {
        *error = QStringLiteral("cannot open ") + device.portName();
        return false;
    }
    resetDispatcherState();
    const long rssBefore = residentKb();
    long rssPeak = rssBefore;
    int peak = 0;
    qint64 written = 0;
    const QByteArray chunks[2] = {QByteArray("[x").repeated(8192), QByteArray(16384, '[')};
    const QByteArray reply = "[R5533420000000" "0ca]";

    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    qint64 replyWrittenAt = -1;
    qint64 replyQueuedAt = -1;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&]() {
        peak = qMax(peak, port->buffSize());
        rssPeak = qMax(rssPeak, residentKb());
        if (replyWrittenAt < 0) {
            if (burst > 0) {
                device.write(QByteArray("[x").repeated(burst / 2));
                written = burst;
            } else if (clock.elapsed() < seconds * 1000) {
                device.write(chunks[(written / 16384) % 2]);
                written += 16384;
                return;
            }
            device.write(reply);
            replyWrittenAt = clock.elapsed();
        } else if (CmdDealModule::replyQueueSize() > 0) {
            replyQueuedAt = clock.elapsed();
            loop.quit();
        }
    });
    tick.start(10);
    QTimer::singleShot(seconds * 1000 + 60000, &loop, &QEventLoop::quit);
    loop.exec();
    port->closeSerialPort();

    std::printf("%-44s  %6.1f MB in %5.1f s, peak buffer %7d bytes (cap %d), RSS %ld -> peak %ld KB, ",
                what, written / 1e6, replyWrittenAt / 1000.0, peak, StreamParser::kMaxBuffered, rssBefore, rssPeak);
    if (replyQueuedAt < 0)
        std::printf("reply behind it never queued\n");
    else
        std::printf("reply behind it queued %lld ms after the noise ended\n", replyQueuedAt - replyWrittenAt);
    resetDispatcherState();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    RoundTrip::quiet();

    std::printf("bench_serial: %d commands per run, one in flight at a time; "
                "latency is release -> accepted reply\n", kCommands);
    RoundTrip::printLimit();
    RoundTrip::print("in-process device (reply queued at release)", RoundTrip::inProcess(kCommands));

    QString error;
    const RoundTrip::Result plain = RoundTrip::overPty({0x42, 0x00}, kCommands, &error);
    if (!error.isEmpty()) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    RoundTrip::print("pseudo-terminal, 19-byte reply (0x42)", plain);
    const RoundTrip::Result block = RoundTrip::overPty({0xE1, 0x00}, kCommands, &error);
    if (!error.isEmpty()) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    RoundTrip::print("pseudo-terminal, reply + 22-byte block (0xE1)", block);

    std::printf("\ngarbage from the device, then a reply (the pty carries far more than a 115,200-baud line):\n");
    if (!flood("1 MB of [-dense noise at once", 0, 1000000, &error)
        || !flood("[-dense noise streamed for 10 s", 10, 0, &error)) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
