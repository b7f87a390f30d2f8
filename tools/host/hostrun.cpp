#include "hostrun.h"

#include "datagramcodec.h"
#include "hidreports.h"
#include "portbase.h"
#include "portinterface.h"
#include "reporter.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QSerialPort>

namespace {

QString usbIds(unsigned short vendorId, unsigned short productId)
{
    return QStringLiteral("%1:%2").arg(vendorId, 4, 16, QLatin1Char('0')).arg(productId, 4, 16, QLatin1Char('0'));
}

// The transport says only that the open failed; a port of our own says why.
QString serialOpenError(const QString &name)
{
    QSerialPort probe(name);
    if (probe.open(QIODevice::ReadWrite)) {
        probe.close();
        return QStringLiteral("the transport refused it");
    }
    return probe.errorString();
}

// An IPv4 address as text, or the first IPv4 address the name resolves to.
bool resolveIPv4(const QString &host, QString *address, QString *error)
{
    QHostAddress literal;
    if (literal.setAddress(host)) {
        if (literal.protocol() != QAbstractSocket::IPv4Protocol) {
            *error = QStringLiteral("%1 is not an IPv4 address").arg(host);
            return false;
        }
        *address = literal.toString();
        return true;
    }
    const QHostInfo info = QHostInfo::fromName(host);
    for (const QHostAddress &a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            *address = a.toString();
            return true;
        }
    }
    *error = info.error() != QHostInfo::NoError
                 ? QStringLiteral("cannot resolve %1: %2").arg(host, info.errorString())
                 : QStringLiteral("%1 has no IPv4 address").arg(host);
    return false;
}

} // namespace

HostRun::HostRun(const HostOptions &options, Reporter *reporter)
    : m_options(options)
    , m_reporter(reporter)
{
}

HostRun::~HostRun()
{
    close();
}

QString HostRun::mediumName() const
{
    return HostCommandLine::mediumName(m_options.medium);
}

PortBase *HostRun::port() const
{
    return m_port;
}

const RunSummary &HostRun::summary() const
{
    return m_summary;
}

QStringList HostRun::sources() const
{
    return m_sources;
}

bool HostRun::open(QString *error)
{
    close();
    const HostOptions &o = m_options;
    QString deviceIP;
    if (o.medium == HostOptions::Medium::Udp && !resolveIPv4(o.udpHost, &deviceIP, error))
        return false;

    const ConnType type = o.medium == HostOptions::Medium::Serial ? ConnSerial
                          : o.medium == HostOptions::Medium::Usb  ? ConnUSB
                                                                  : ConnUDP;
    m_port = PortInterface::creatCoreObj(type);
    if (!m_port) {
        *error = QStringLiteral("this build has no %1 transport").arg(mediumName());
        return false;
    }

    QString description;
    switch (o.medium) {
    case HostOptions::Medium::Serial:
        if (!m_port->openSerialPort(o.portName, o.serial.baudRate, o.serial.stopBits, o.serial.parity,
                                    o.serial.flowControl, o.serial.dataBits)) {
            *error = QStringLiteral("cannot open serial port %1: %2").arg(o.portName, serialOpenError(o.portName));
            close();
            return false;
        }
        description = QStringLiteral("opened %1 at %2 through PortInterface::creatCoreObj(ConnSerial)")
                          .arg(o.portName, o.serial.describe());
        break;
    case HostOptions::Medium::Udp:
        m_port->setDeviceIP(deviceIP);
        m_port->setPort(o.udpPort);
        description = QStringLiteral("sending to %1:%2 through PortInterface::creatCoreObj(ConnUDP)")
                          .arg(deviceIP == o.udpHost ? deviceIP : QStringLiteral("%1 (%2)").arg(o.udpHost, deviceIP))
                          .arg(o.udpPort);
        break;
    case HostOptions::Medium::Broadcast:
        m_port->setPort(o.udpPort);
        description = QStringLiteral("broadcasting to port %1 through PortInterface::creatCoreObj(ConnUDP)")
                          .arg(o.udpPort);
        break;
    case HostOptions::Medium::Usb:
        // The watcher reports the device going and coming back; the host opens it again
        // itself. The transport emits a signalUSBChanged of its own, which hides the one
        // PortBase declares: connect by name, which finds the transport's.
        connect(m_port, SIGNAL(signalUSBChanged(bool)), this, SLOT(onUsbChanged(bool)), Qt::QueuedConnection);
        if (!m_port->openUSB(o.vendorId, o.productId)) {
            *error = QStringLiteral("no USB HID device %1 could be opened (is it plugged in, and may this user "
                                    "open it?)")
                         .arg(usbIds(o.vendorId, o.productId));
            close();
            return false;
        }
        description = QStringLiteral("opened USB device %1 through PortInterface::creatCoreObj(ConnUSB)")
                          .arg(usbIds(o.vendorId, o.productId));
        break;
    }
    m_reporter->opened(mediumName(), description);
    return true;
}

void HostRun::onUsbChanged(bool present)
{
    if (!m_port)
        return;
    QString text = present ? QStringLiteral("device attached again (signalUSBChanged(true))")
                           : QStringLiteral("device removed, port closed (signalUSBChanged(false))");
    if (present) {
        const bool reopened = m_port->openUSB(m_options.vendorId, m_options.productId);
        text += reopened ? QStringLiteral(", reopened") : QStringLiteral(", but it cannot be opened");
    }
    if (m_session) {
        m_session->reportMedium(present, text);
    } else {
        HostEvent e;
        e.kind = HostEvent::Kind::Medium;
        e.present = present;
        e.text = text;
        m_reporter->event(e);
    }
}

HostSession::Cutting HostRun::cutting() const
{
    HostSession::Cutting c;
    if (m_options.medium == HostOptions::Medium::Udp) {
        // Unicast commands leave in pieces of at most 540 bytes, as the transport cuts them.
        c.unit = QStringLiteral("datagram");
        c.sizes = [](const QByteArray &bytes) {
            QList<int> sizes;
            DatagramCodec::writeInPieces(bytes, DatagramCodec::kSplitSize, [&sizes](const QByteArray &piece) {
                sizes << piece.size();
                return qint64(piece.size());
            });
            return sizes;
        };
    } else if (m_options.medium == HostOptions::Medium::Usb) {
        // 65-byte output reports: report ID 0 and 64 bytes of the sequence each.
        c.unit = QStringLiteral("report");
        c.sizes = [](const QByteArray &bytes) {
            QList<int> sizes;
            for (const HidReports::Piece &piece : HidReports::plain(bytes))
                sizes << HidReports::report(piece.payload).size();
            return sizes;
        };
    } else if (m_options.medium == HostOptions::Medium::Broadcast) {
        c.unit = QStringLiteral("datagram");
        c.sizes = [](const QByteArray &bytes) { return QList<int>{bytes.size()}; };
    } else {
        c.sizes = [](const QByteArray &bytes) { return QList<int>{bytes.size()}; };
    }
    return c;
}

int HostRun::run(CommandSource *source)
{
    HostSession session(m_port, source, m_reporter);
    session.setCutting(cutting());
    session.setDeadlineMs(m_options.deadlineS * 1000);
    session.setGiveUpLimit(m_options.giveUpLimit);
    session.setErrorLog(!m_options.errorLogDir.isEmpty());
    // Every device at the port answers a broadcast and the first answer ends the
    // command: listen a timeout longer for the others.
    if (m_options.medium == HostOptions::Medium::Broadcast)
        session.setListenAfterMs(m_options.defaults.timeoutMs);

    QEventLoop loop;
    int exitCode = -1;
    connect(&session, &HostSession::finished, &loop, [&](int code) {
        exitCode = code;
        loop.quit();
    });
    m_session = &session;
    session.start();
    if (exitCode < 0)
        loop.exec();
    session.stop();
    m_session = nullptr;
    m_summary = session.summary();
    m_sources = session.sources();
    return exitCode;
}

void HostRun::abort(const QString &reason)
{
    if (m_session)
        m_session->abort(reason);
}

void HostRun::close()
{
    if (!m_port)
        return;
    disconnect(m_port, nullptr, this, nullptr);
    m_port->closeSerialPort();
    m_port->closeUSB();
    delete PortInterface::iCORE;
    PortInterface::iCORE = nullptr;
    m_port = nullptr;
}
