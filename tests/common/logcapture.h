#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QStringList>

// Collects the debug log while it lives (from every thread) and hands the lines
// on to the previous handler, so a failing test still shows them.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    int count(const QString &line) const;
    void clear();
};

// Drops the debug log while it lives and passes everything else on. For suites
// where the libraries narrate every datagram (blocks of 30,000 bytes included)
// and the checks explain a failure better.
class QuietDebugLog
{
public:
    QuietDebugLog();
    ~QuietDebugLog();
    QuietDebugLog(const QuietDebugLog &) = delete;
    QuietDebugLog &operator=(const QuietDebugLog &) = delete;
};

#endif // LOGCAPTURE_H
