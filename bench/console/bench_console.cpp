// How long hostconsole's window stops answering while a script of 1,000 commands
// runs on each medium against the simulated device (serial on a pseudo-terminal,
// UDP on loopback, USB on the simulated HID bus): a 1 ms timer on the window's
// thread, and the longest gap between its ticks beyond that millisecond is the
// longest stall of the event loop. The window is offscreen but lays out and paints
// as on a screen. On a loaded machine much of a stall is the thread waiting for a
// core rather than for anything of ours: where Linux tells that wait
// (/proc/thread-self/schedstat), each gap is also given without it. Prints figures;
// the target is a stall under 50 ms. Each medium runs twice: as it comes, and with
// View → Show the bytes on the wire on, every byte read and written a row of its own.
#include "consolesession.h"
#include "consolewindow.h"
#include "connectionpanel.h"
#include "hostoptions.h"
#include "percentile.h"
#include "ptydevice.h"
#include "trafficmodel.h"
#include "udpdevice.h"
#include "usbdevice.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Nanoseconds this thread has waited on a run queue, or -1 where that is not told.
qint64 runQueueWaitNs()
{
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().simplified().split(' ');
    return fields.size() >= 2 ? fields.at(1).toLongLong() : -1;
}

constexpr int kCommands = 1000;

struct Figures
{
    bool ok = false;
    QString error;
    double seconds = 0;
    double longestStallMs = 0;
    double p99GapMs = 0;
    // The longest gap less the time the thread waited for a core in it; -1: not known.
    double longestOwnStallMs = -1;
    int rows = 0;
    qint64 answered = 0;
};

// Runs the event loop until done() or timeoutMs; false on the timeout.
template <typename Done>
bool runUntil(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

Figures measure(SimLink *device, const QString &option, const QString &script, bool wire)
{
    Figures f;
    if (!device->start(&f.error))
        return f;
    HostOptions options;
    if (HostCommandLine::parse({option, device->endpoint(), QStringLiteral("--cmd"), QStringLiteral("71:00")},
                               &options, &f.error)
        != HostCommandLine::Result::Run)
        return f;

    ConsoleWindow window;
    window.show();
    if (wire)
        window.findChild<QAction *>(QStringLiteral("showWire"))->setChecked(true);
    window.openMedium(options);
    if (!runUntil([&] { return window.connection()->state() == MediumState::Open; }, 10000)) {
        f.error = QStringLiteral("the medium did not open");
        return f;
    }

    // The ticks of a 1 ms timer on the window's thread, while the script runs.
    std::vector<double> gaps;
    gaps.reserve(100000);
    double longestOwn = 0;
    qint64 waited = runQueueWaitNs();
    QElapsedTimer tick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double gap = tick.nsecsElapsed() / 1e6;
        gaps.push_back(gap);
        tick.restart();
        const qint64 nowWaited = waited < 0 ? -1 : runQueueWaitNs();
        if (nowWaited >= 0)
            longestOwn = std::max(longestOwn, gap - 1 - (nowWaited - waited) / 1e6);
        waited = nowWaited;
    });
    bool ended = false;
    int exitCode = -1;
    QObject::connect(&window, &ConsoleWindow::runEnded, [&](int code) {
        ended = true;
        exitCode = code;
    });
    QElapsedTimer run;
    run.start();
    tick.start();
    ticker.start();
    window.session()->runScript(script);
    const bool inTime = runUntil([&] { return ended; }, 120000);
    ticker.stop();
    f.seconds = run.elapsed() / 1000.0;
    if (!inTime || exitCode != 0) {
        f.error = inTime ? QStringLiteral("the script did not end as planned") : QStringLiteral("no end in 120 s");
        return f;
    }
    std::sort(gaps.begin(), gaps.end());
    f.longestStallMs = gaps.empty() ? 0 : std::max(0.0, gaps.back() - 1);
    f.p99GapMs = gaps.empty() ? 0 : Percentile::of(gaps, 0.99);
    window.traffic()->flush();
    f.rows = window.traffic()->rowCount();
    f.longestOwnStallMs = waited < 0 ? -1 : std::max(0.0, longestOwn);
    f.answered = window.counters().answered;
    f.ok = true;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // Each row as it is measured, also into a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("commands.txt"));
    QFile file(script);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly))
        return 1;
    // Plain commands with a block now and then, so that the table, the chart and
    // the counters all have work.
    for (int i = 0; i < kCommands; ++i)
        file.write(i % 10 == 9 ? "e0:01:00:10:00/000102030405060708090a0b0c0d0e0f\n" : "71:00\n");
    file.close();

    std::printf("bench_console: %d commands run as a script in the window; a stall is the longest the window's "
                "event loop did not turn\n",
                kCommands);
    const struct
    {
        const char *name;
        const char *option;
    } media[] = {
        {"serial (pseudo-terminal)", "--port"},
        {"UDP (loopback)", "--udp"},
        {"USB (simulated HID bus)", "--usb"},
    };
    // A device runs once: a fresh one for each run.
    const auto deviceFor = [](const char *option) -> std::unique_ptr<SimLink> {
        if (qstrcmp(option, "--port") == 0)
            return std::make_unique<PtyDevice>();
        if (qstrcmp(option, "--udp") == 0)
            return std::make_unique<UdpDevice>(QHostAddress(QStringLiteral("127.0.0.2")));
        return std::make_unique<UsbDevice>(0x4c56, 0x0105);
    };
    int failures = 0;
    for (const bool wire : {false, true}) {
        for (const auto &m : media) {
            const std::unique_ptr<SimLink> device = deviceFor(m.option);
            const Figures f = measure(device.get(), QString::fromLatin1(m.option), script, wire);
            device->stop();
            const QString name = QString::fromLatin1(m.name) + (wire ? QStringLiteral(", wire") : QString());
            if (!f.ok) {
                std::printf("%-32s  failed: %s\n", qPrintable(name), qPrintable(f.error));
                ++failures;
                continue;
            }
            std::printf("%-32s  %6.2f s  %5.0f commands/s  %5d rows, %4lld answered  longest stall %5.1f ms"
                        " (%5.1f ms without waiting for a core)  p99 tick %4.1f ms  %s\n",
                        qPrintable(name), f.seconds, kCommands / f.seconds, f.rows,
                        static_cast<long long>(f.answered), f.longestStallMs, f.longestOwnStallMs, f.p99GapMs,
                        f.longestStallMs < 50 ? "(under 50 ms)" : "(OVER 50 ms)");
        }
    }
    return failures == 0 ? 0 : 1;
}
