// How long hostconsole takes to open a saved session of about 100 MB from its File
// menu, how long its window's event loop stops meanwhile (a 1 ms timer on the
// window's thread), and the process's peak memory: the events held are bounded
// (the newest 100,000), so the peak is not the file's size. The same file is read
// once more in the window's thread, as File → Open did before, for comparison.
// Prints figures.
#include "consolewindow.h"
#include "eventjson.h"
#include "peakmemory.h"
#include "testevents.h"
#include "trafficmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 kFileBytes = qint64(100) * 1000 * 1000;

// Commands and their replies as a script's run saves them, a block now and then,
// repeated to size.
bool writeSession(const QString &path, qint64 *bytes)
{
    QByteArray pattern;
    for (int i = 0; i < 1000; ++i) {
        const QByteArray block = i % 10 == 9 ? QByteArray::fromHex("000102030405060708090a0b0c0d0e0f") : QByteArray();
        const ProtocolData command = TestEvents::record(quint8(i), i % 10 == 9 ? 0xe0 : 0x71, 0x00, block);
        pattern += EventJson::line(EventJson::toJson(TestEvents::send(i * 10, command)));
        pattern += EventJson::line(EventJson::toJson(TestEvents::reply(i * 10 + 5, command, 4.5)));
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(EventJson::line(EventJson::openObject(QStringLiteral("UDP"), QStringLiteral("127.0.0.2:5000"))));
    while (file.size() < kFileBytes) {
        if (file.write(pattern) != pattern.size())
            return false;
    }
    *bytes = file.size();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.jsonl"));
    qint64 bytes = 0;
    if (!dir.isValid() || !writeSession(path, &bytes)) {
        std::printf("bench_sessionopen: cannot write %s\n", qPrintable(path));
        return 1;
    }
    ConsoleWindow window;
    window.show();
    QCoreApplication::processEvents();
    const double peakBefore = peakResidentMegabytes();

    // The ticks of a 1 ms timer on the window's thread while the file is read.
    double longestGapMs = 0;
    int ticks = 0;
    QElapsedTimer tick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGapMs = std::max(longestGapMs, tick.nsecsElapsed() / 1e6);
        tick.restart();
        ++ticks;
    });
    bool shown = false;
    QEventLoop loop;
    QObject::connect(&window, &ConsoleWindow::sessionOpenEnded, [&](bool ok) {
        shown = ok;
        loop.quit();
    });
    QElapsedTimer open;
    open.start();
    tick.start();
    ticker.start();
    window.openSessionInBackground(path);
    loop.exec();
    ticker.stop();
    const double openSeconds = open.elapsed() / 1000.0;
    window.traffic()->flush();
    const int rows = window.traffic()->rowCount();
    const double peakAfter = peakResidentMegabytes();
    if (!shown) {
        std::printf("bench_sessionopen: the session was not opened\n");
        return 1;
    }

    QElapsedTimer sync;
    sync.start();
    QString error;
    const bool syncOk = window.openSession(path, &error);
    const double syncSeconds = sync.elapsed() / 1000.0;

    std::printf("bench_sessionopen: a session of %.1f MB opened from the File menu\n", bytes / 1e6);
    std::printf("in the background  %6.2f s  %6d rows held  longest stall of the window %5.1f ms (%d ticks)\n",
                openSeconds, rows, std::max(0.0, longestGapMs - 1), ticks);
    std::printf("peak memory        %6.1f MB before the open, %6.1f MB after%s\n", peakBefore, peakAfter,
                peakAfter < 0 ? " (not told here)" : "");
    std::printf("in the window's thread (the old way) %6.2f s, the window stopped throughout%s\n", syncSeconds,
                syncOk ? "" : " (failed)");
    return 0;
}
