#include "logcapture.h"

#include <QtGlobal>

#include <mutex>

namespace {

std::mutex s_mutex;
QStringList s_lines;
QtMessageHandler s_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_lines.append(message);
    }
    if (s_previous)
        s_previous(type, context, message);
}

QtMessageHandler s_beforeQuiet = nullptr;

void dropDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && s_beforeQuiet)
        s_beforeQuiet(type, context, message);
}

} // namespace

LogCapture::LogCapture()
{
    clear();
    s_previous = qInstallMessageHandler(capture);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(s_previous);
}

QStringList LogCapture::lines() const
{
    std::lock_guard<std::mutex> lock(s_mutex);
    return s_lines;
}

int LogCapture::count(const QString &line) const
{
    return lines().count(line);
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(s_mutex);
    s_lines.clear();
}

QuietDebugLog::QuietDebugLog()
{
    s_beforeQuiet = qInstallMessageHandler(dropDebug);
}

QuietDebugLog::~QuietDebugLog()
{
    qInstallMessageHandler(s_beforeQuiet);
}
