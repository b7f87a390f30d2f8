// hostdemo: what ./run.sh demo runs. The example host's runs on every medium, each
// against the simulated device embedded in this program, so that nothing needs
// hardware or set-up: a pseudo-terminal for serial, a loopback address for UDP,
// the simulated HID bus for USB (linked into this program, its hidapi functions
// come before the system's). Each medium runs a script (demo/*.txt) and ends with
// its summary; the exit status is 0 only when every command on every medium ended
// as planned.

#include "hostlog.h"
#include "hostrun.h"
#include "ptydevice.h"
#include "textreporter.h"
#include "scriptreader.h"
#include "toolcommandline.h"
#include "udpdevice.h"
#include "usbdevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <functional>

namespace {

// A medium's part of the demonstration fails rather than hang; the three of them
// end within 30 s whatever happens.
constexpr int kSegmentDeadlineS = 9;
constexpr int kAnsweredTimeoutMs = 6000;
// The UDP device sends a block in datagrams of at most this many bytes.
constexpr int kUdpBlockDatagram = 400;
// The USB device's ids, and the command during which it is unplugged.
constexpr quint16 kUsbVendorId = 0x4c56;
constexpr quint16 kUsbProductId = 0x0105;
constexpr quint8 kUnplugDuring = 0x44;
// How long the device stays away once the host has heard it go.
constexpr int kUnpluggedMs = 200;

// Watches the run's events. When the command it waits for leaves, it unplugs the
// device, which is told to leave that send unanswered; once the host has heard the
// device go (signalUSBChanged(false)), it plugs it in again, so that the resend
// reaches the device the host has opened anew. Its notes go to reporter.
class UnplugWhileWaiting
{
public:
    UnplugWhileWaiting(Reporter *reporter, UsbDevice *device, quint8 cmd)
        : m_reporter(reporter)
        , m_device(device)
        , m_cmd(cmd)
    {
        m_taken.setInterval(kLookMs);
        QObject::connect(&m_taken, &QTimer::timeout, [this] {
            for (const SimFrame &f : m_device->device().receivedCommands()) {
                if (f.cmd == m_cmd) {
                    m_taken.stop();
                    note(QStringLiteral("demo: the device is unplugged while it owes the reply"));
                    m_device->hangUp();
                    return;
                }
            }
        });
    }

    // Both notices came: gone, and back.
    bool sawUnplugAndReplug() const
    {
        return m_state == State::Back;
    }

    void seen(const HostEvent &e)
    {
        if (m_state == State::Waiting && e.kind == HostEvent::Kind::Send && e.record.byCmd == m_cmd) {
            m_state = State::Unplugged;
            // The event comes as the command leaves: unplug once the device has taken
            // it (and, told to, left it unanswered), so that it owes the reply.
            m_taken.start();
        } else if (m_state == State::Unplugged && e.kind == HostEvent::Kind::Medium && !e.present) {
            m_state = State::Away;
            QTimer::singleShot(kUnpluggedMs, [this] {
                note(QStringLiteral("demo: the device is plugged in again"));
                m_device->plugIn();
            });
        } else if (m_state == State::Away && e.kind == HostEvent::Kind::Medium && e.present) {
            m_state = State::Back;
        }
    }

private:
    enum class State { Waiting, Unplugged, Away, Back };
    // How often to look whether the device has taken the command.
    static constexpr int kLookMs = 5;

    void note(const QString &text)
    {
        HostEvent e;
        e.kind = HostEvent::Kind::Note;
        e.text = text;
        m_reporter->event(e);
    }

    Reporter *m_reporter;
    UsbDevice *m_device;
    const quint8 m_cmd;
    State m_state = State::Waiting;
    QTimer m_taken;
};

class Demo
{
public:
    explicit Demo(QTextStream *out)
        : m_out(out)
        , m_reporter(out)
    {
    }

    TextReporter *reporter()
    {
        return &m_reporter;
    }

    // Runs one medium's script against a started device (null: one outside this
    // program); false when a command did not end as planned or the medium could not
    // be used. watch sees every event.
    bool segment(const QString &title, const HostOptions &options, const QString &script, SimLink *device,
                 const std::function<void(const HostEvent &)> &watch = nullptr)
    {
        *m_out << Qt::endl << "=== " << title << " ===" << Qt::endl;
        HostRun host(options, &m_reporter);
        if (watch)
            QObject::connect(&host, &HostRun::reported, watch);
        QString error;
        if (!host.open(&error)) {
            *m_out << "!! " << error << Qt::endl;
            return false;
        }
        QFile file(script);
        file.open(QIODevice::ReadOnly);
        ScriptReader commands(&file, script, options.defaults);
        const int exitCode = host.run(&commands);
        host.close();
        m_reporter.summary(host.mediumName(), host.summary(), exitCode);
        if (device) {
            *m_out << "== the device received " << device->device().receivedCommands().size() << " command frames"
                   << Qt::endl;
        }
        m_names << host.mediumName();
        return exitCode == 0;
    }

    QStringList media() const
    {
        return m_names;
    }

private:
    QTextStream *m_out;
    TextReporter m_reporter;
    QStringList m_names;
};

HostOptions demoOptions(HostOptions::Medium medium)
{
    HostOptions o;
    o.medium = medium;
    // An answered command waits for its reply as long as the system's commands do: a
    // loaded machine may stall a reply well past hostcli's default, and a resend
    // would not be the demonstration's.
    o.defaults.timeoutMs = kAnsweredTimeoutMs;
    o.deadlineS = kSegmentDeadlineS;
    o.giveUpLimit = 0;
    return o;
}

// portName: a port that leads to a simulated device outside this program, started
// with the faults the script expects ("simdevice --silent 42:1 --silent 43
// --pieces"); empty for the built-in device on a pseudo-terminal.
bool serialSegment(Demo *demo, QTextStream *out, const QString &portName)
{
    if (!portName.isEmpty()) {
        HostOptions o = demoOptions(HostOptions::Medium::Serial);
        o.portName = portName;
        return demo->segment(QStringLiteral("serial: the simulated device on %1").arg(portName), o,
                             QStringLiteral(":/demo/serial.txt"), nullptr);
    }
    PtyDevice device;
    QString error;
    if (!device.start(&error)) {
        *out << "!! cannot start the simulated device: " << error << Qt::endl;
        return false;
    }
    device.device().setFault(0x42, SimFault::Silent, 1);
    device.device().setFault(0x43, SimFault::Silent);
    device.device().setFault(0x8E, SimFault::Pieces);
    HostOptions o = demoOptions(HostOptions::Medium::Serial);
    o.portName = device.portName();
    return demo->segment(QStringLiteral("serial: the simulated device on the pseudo-terminal %1").arg(o.portName), o,
                         QStringLiteral(":/demo/serial.txt"), &device);
}

bool udpSegment(Demo *demo, QTextStream *out)
{
    // Loopback, never a network: the device's own loopback address, which is the
    // one its replies come from on this system.
    UdpDevice device(UdpDevice::ownLoopbackAddress(), 0, {kUdpBlockDatagram});
    QString error;
    if (!device.start(&error)) {
        *out << "!! cannot start the simulated device: " << error << Qt::endl;
        return false;
    }
    device.device().setFault(0x42, SimFault::Silent, 1);
    device.device().setFault(0x43, SimFault::Silent);
    HostOptions o = demoOptions(HostOptions::Medium::Udp);
    o.udpHost = device.address().toString();
    o.udpPort = device.port();
    const bool ok = demo->segment(QStringLiteral("UDP: the simulated device at %1").arg(device.endpoint()), o,
                                  QStringLiteral(":/demo/udp.txt"), &device);
    // The transport cut the 619-byte command; the device must have joined it whole.
    for (const SimFrame &f : device.device().receivedCommands()) {
        if (f.cmd == 0xE0)
            *out << "== the device joined the 619-byte command: a 19-byte frame and a " << f.block.size()
                 << "-byte block" << Qt::endl;
    }
    return ok;
}

bool usbSegment(Demo *demo, QTextStream *out)
{
    UsbDevice device(kUsbVendorId, kUsbProductId);
    QString error;
    if (!device.start(&error)) {
        *out << "!! cannot start the simulated device: " << error << Qt::endl;
        return false;
    }
    device.device().setFault(0x42, SimFault::Silent, 1);
    device.device().setFault(0x43, SimFault::Silent);
    device.device().setFault(0x77, SimFault::Pieces);
    device.device().setFault(kUnplugDuring, SimFault::Silent, 1);
    HostOptions o = demoOptions(HostOptions::Medium::Usb);
    o.vendorId = kUsbVendorId;
    o.productId = kUsbProductId;
    UnplugWhileWaiting unplug(demo->reporter(), &device, kUnplugDuring);
    const bool ok = demo->segment(
        QStringLiteral("USB: the simulated device %1 on the simulated HID bus").arg(device.endpoint()), o,
        QStringLiteral(":/demo/usb.txt"), &device, [&unplug](const HostEvent &e) { unplug.seen(e); });
    if (!unplug.sawUnplugAndReplug()) {
        *out << "!! the host did not hear the device go and come back" << Qt::endl;
        return false;
    }
    return ok;
}

// "serial, UDP and USB"
QString listed(const QStringList &names)
{
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hostdemo"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The demonstration that ./run.sh demo runs: the example host drives the simulated device built into "
        "this program over a serial line (a pseudo-terminal), over UDP (on a loopback address) "
        "and over USB (on a simulated HID bus inside the program), with no hardware and no set-up. Exit "
        "status: 0 when every command on every medium ended as planned, 1 otherwise, 2 on bad usage."));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Show the libraries' debug log on stderr."));
    parser.addOption(logOption);
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Run the serial part against the simulated device on port NAME instead of the built-in one "
                       "(where there are no pseudo-terminals, as on Windows), started as \"simdevice --silent 42:1 "
                       "--silent 43 --pieces\"."),
        QStringLiteral("NAME"));
    parser.addOption(portOption);
    QString message;
    const ToolCommandLine::Result read =
        ToolCommandLine::parse(&parser, QStringLiteral("hostdemo"), app.arguments().mid(1), &message);
    if (read != ToolCommandLine::Result::Run)
        return ToolCommandLine::finish(read, message);
    Q_INIT_RESOURCE(demo);
    QTextStream out(stdout);
    HostLog::install(parser.isSet(logOption));

    QElapsedTimer clock;
    clock.start();
    Demo demo(&out);
    bool ok = serialSegment(&demo, &out, parser.value(portOption));
    ok = udpSegment(&demo, &out) && ok;
    ok = usbSegment(&demo, &out) && ok;

    out << Qt::endl;
    if (ok)
        out << "== demo: every command on " << listed(demo.media()) << " ended as planned, in "
            << QString::number(clock.elapsed() / 1000.0, 'f', 1) << " s" << Qt::endl;
    else
        out << "== demo: not every command ended as planned (see above)" << Qt::endl;
    return ok ? 0 : 1;
}
