#include "hostlog.h"

#include <QString>
#include <QTextStream>
#include <QtGlobal>

#include <atomic>

namespace HostLog {

namespace {

std::atomic<bool> g_showDebug{false};

void filter(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && !g_showDebug)
        return;
    QTextStream(stderr) << "   log: " << message << Qt::endl;
}

} // namespace

void install(bool showDebug)
{
    g_showDebug = showDebug;
    qInstallMessageHandler(filter);
}

} // namespace HostLog
