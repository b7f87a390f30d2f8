// The USB medium of a run: the simulated device on the simulated HID bus and the
// factory's USB transport. The disturbance unplugs the device; the transport's
// hot-plug watcher closes the port and says so (signalUSBChanged false). A while
// later the device is plugged in again, the watcher says so (true), and the host
// opens the port anew.

#include "soakmedia.h"

#include "portinterface.h"
#include "portusb.h"
#include "simhidbus.h"
#include "usbdevice.h"

#include <QTimer>

namespace {

constexpr quint16 kVendor = 0x4c56;
constexpr quint16 kProduct = 0x50a4;
// How long the host waits for each hot-plug notice.
constexpr int kNoticeWaitMs = 5000;

class UsbMedium : public SoakMedium
{
public:
    ~UsbMedium() override { close(); }

    Kind kind() const override { return Kind::Usb; }

    SoakPlan plan() const override
    {
        SoakPlan p;
        p.mix = {
            {0x42, 0x00, 0, 4},   // no rule
            {0x76, 0x01, 0, 1},   // refused for p1 32 to 35
            {0x71, 0x05, 0, 1},   // refused for p1 above 31
            // The transport never waits for a block, and the rules want one: every
            // 0xE1 reply is refused, as designed.
            {0xE1, 0x00, 0, 1},
            {0xE0, 0x01, 100, 1}, // the command takes two output reports
        };
        p.rates = SoakPlan::commonRates();
        // The host reads and parses each report as it comes: an answer in three
        // pieces, 20 ms apart, takes about 40 ms; the rest is room for a loaded machine.
        p.timeoutMs = 200;
        return p;
    }

    SimProfile profile() const override { return SimProfile::usb(); }

    bool blocksReachHost() const override { return false; }

    SoakLedger::Effect effect(const SimDevice::Exchange &e) const override
    {
        switch (e.fault) {
        case SimFault::Silent:
        case SimFault::WrongHeaderChecksum:
            return {false, 0};
        default:
            // Blocks are skipped, whatever their checksum: the reply frame goes on.
            return {true, 0};
        }
    }

    bool open(const std::function<void(SimDevice &)> &configure, QString *error) override
    {
        // A fresh bus and a watcher that knows no ids, as in a new process.
        SimHidBus::instance().reset();
        if (!PortUSB::resetWatchState()) {
            *error = QStringLiteral("another USB transport is alive in this process");
            return false;
        }
        m_device = std::make_unique<UsbDevice>(kVendor, kProduct);
        configure(m_device->device());
        if (!m_device->start(error))
            return false;
        m_port.reset(static_cast<PortUSB *>(PortInterface::creatCoreObjInstance(ConnUSB)));
        // The watcher tells on a thread of its own.
        connect(m_port.get(), &PortUSB::signalUSBChanged, this, &UsbMedium::changed, Qt::QueuedConnection);
        if (m_port->openUSB(kVendor, kProduct))
            return true;
        *error = QStringLiteral("cannot open the device on the bus");
        return false;
    }

    PortBase *port() const override { return m_port.get(); }

    void disturb() override
    {
        m_notices.clear();
        m_device->hangUp();
        m_waiting = Waiting::Gone;
        QTimer::singleShot(kNoticeWaitMs, this, [this, step = ++m_step]() {
            if (step == m_step && m_waiting != Waiting::Nothing)
                finish(false, QStringLiteral("no hot-plug notice within %1 ms").arg(kNoticeWaitMs));
        });
    }

    QString disturbanceNote() const override
    {
        QStringList seen;
        for (bool present : m_notices)
            seen << (present ? QStringLiteral("true") : QStringLiteral("false"));
        return QStringLiteral("device unplugged and plugged in %1 ms later; signalUSBChanged %2; the host "
                              "reopened the port%3")
            .arg(plan().downMs)
            .arg(seen.join(QLatin1String(" then ")), m_closedByWatcher ? QString()
                                                                        : QStringLiteral(" (still open before)"));
    }

    QList<SimDevice::Exchange> takeExchanges() override
    {
        if (!m_device)
            return {};
        // The bus records every report written to the device; the device's own
        // record says the same, so the bus's is let go, not counted as the host's
        // memory.
        if (const int id = m_device->busId())
            SimHidBus::instance().takeOutputReports(id);
        return m_device->device().takeExchanges();
    }

    void close() override
    {
        m_port.reset();
        m_device.reset();
    }

private:
    enum class Waiting { Nothing, Gone, Back };

    void changed(bool present)
    {
        m_notices.append(present);
        if (m_waiting == Waiting::Gone && !present) {
            m_closedByWatcher = !m_port->m_bUSBOpen;
            m_waiting = Waiting::Nothing;
            QTimer::singleShot(plan().downMs, this, [this]() {
                m_waiting = Waiting::Back;
                if (!m_device->plugIn())
                    finish(false, QStringLiteral("the device could not be plugged in again"));
            });
        } else if (m_waiting == Waiting::Back && present) {
            const bool ok = m_port->openUSB(kVendor, kProduct);
            finish(ok, ok ? QString() : QStringLiteral("cannot open the device again"));
        }
    }

    void finish(bool ok, const QString &error)
    {
        m_waiting = Waiting::Nothing;
        ++m_step;
        emit back(ok, error);
    }

    std::unique_ptr<UsbDevice> m_device;
    std::unique_ptr<PortUSB> m_port;
    Waiting m_waiting = Waiting::Nothing;
    int m_step = 0;
    QList<bool> m_notices;
    bool m_closedByWatcher = false;
};

} // namespace

std::unique_ptr<SoakMedium> makeUsbMedium()
{
    return std::make_unique<UsbMedium>();
}
