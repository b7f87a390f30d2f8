// hostcli: an example host. It drives a device through the serial, UDP or USB
// transport the way a control application does: factory, open (or address), the
// dispatcher's two workers on threads of their own, the signal connections, and
// commands from the command line or a script, each followed to its end.

#include "hostlog.h"
#include "hostoptions.h"
#include "hostrun.h"
#include "interruptnotifier.h"
#include "jsonreporter.h"
#include "mediumtraits.h"
#include "scriptinput.h"
#include "scriptreader.h"
#include "textreporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QTextStream>

#include <algorithm>
#include <memory>

namespace {

// By address, so the list reads the same however the answers raced.
QStringList sortedAddresses(QStringList addresses)
{
    std::sort(addresses.begin(), addresses.end(), [](const QString &a, const QString &b) {
        const quint32 ia = QHostAddress(a).toIPv4Address();
        const quint32 ib = QHostAddress(b).toIPv4Address();
        return ia != ib ? ia < ib : a < b;
    });
    return addresses;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hostcli"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    HostOptions options;
    QString message;
    const HostCommandLine::Result read = HostCommandLine::parse(app.arguments().mid(1), &options, &message);
    if (read != HostCommandLine::Result::Run)
        return ToolCommandLine::finish(read, message);

    // A script is read twice: once whole, so that a bad line stops the run before
    // anything is sent, then again as the run goes, so that it is never held whole.
    std::unique_ptr<CommandSource> source;
    ScriptInput script;
    if (!options.scriptPath.isEmpty()) {
        if (!script.open(options.scriptPath, &message)) {
            err << "hostcli: --script: " << message << Qt::endl;
            return 2;
        }
        const qint64 commands = ScriptReader::check(script.device(), script.name(), options.defaults, &message);
        if (commands < 0) {
            err << "hostcli: " << message << Qt::endl;
            return 2;
        }
        if (commands == 0) {
            err << "hostcli: " << script.name() << ": no commands in it" << Qt::endl;
            return 2;
        }
        if (!script.device()->seek(0)) {
            err << "hostcli: --script: cannot read " << script.name() << " again" << Qt::endl;
            return 2;
        }
        source = std::make_unique<ScriptReader>(script.device(), script.name(), options.defaults);
    } else {
        source = std::make_unique<ListSource>(options.commands);
    }

    const QString errorLogDir =
        options.errorLogDir.isEmpty() ? QString() : QFileInfo(options.errorLogDir).absoluteFilePath();
    if (!errorLogDir.isEmpty() && !QDir().mkpath(errorLogDir)) {
        err << "hostcli: --errorlog: cannot make the directory " << options.errorLogDir << Qt::endl;
        return 2;
    }

    HostLog::install(options.showLog);

    std::unique_ptr<Reporter> reporter;
    if (options.json)
        reporter = std::make_unique<JsonReporter>(&out);
    else
        reporter = std::make_unique<TextReporter>(&out);

    HostRun host(options, reporter.get());
    if (!host.open(&message)) {
        err << "hostcli: " << message << Qt::endl;
        return 1;
    }
    // writeErrorLog writes under the current directory; the medium is open, so a
    // relative port name has been used already.
    if (!errorLogDir.isEmpty() && !QDir::setCurrent(errorLogDir)) {
        err << "hostcli: --errorlog: cannot use the directory " << options.errorLogDir << Qt::endl;
        return 2;
    }
    // Ctrl+C ends the run with the summary of what it did, as ping does.
    InterruptNotifier interrupt;
    QObject::connect(&interrupt, &InterruptNotifier::interrupted, &host,
                     [&host] { host.abort(QStringLiteral("interrupted (Ctrl+C)")); });
    const int exitCode = host.run(source.get());
    reporter->summary(host.mediumName(), host.summary(), exitCode);
    if (mediumTraits(options.medium).listensAfter)
        reporter->devicesFound(sortedAddresses(host.sources()));
    host.close();
    return exitCode;
}
