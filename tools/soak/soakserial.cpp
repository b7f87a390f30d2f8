// The serial medium of a run: the simulated device behind a pseudo-terminal and the
// factory's serial transport on its slave. The disturbance hangs the line up, as a
// pulled adapter does, and after a while a new line comes up under a new name, which
// the host opens.

#include "soakmedia.h"

#include "portinterface.h"
#include "portserial.h"
#include "ptydevice.h"

#include <QTimer>

namespace {

class SerialMedium : public SoakMedium
{
public:
    ~SerialMedium() override { close(); }

    Kind kind() const override { return Kind::Serial; }

    SoakPlan plan() const override
    {
        SoakPlan p;
        p.mix = {
            {0x42, 0x00, 0, 4},  // no rule
            {0x76, 0x01, 0, 1},  // refused for p1 32 to 35
            {0x71, 0x05, 0, 1},  // refused for p1 above 31
            {0xE1, 0x00, 0, 2},  // 22-byte block after the reply
            {0x79, 0x01, 0, 1},  // 16-byte block
            {0x8E, 0x27, 0, 1},  // 5-byte block
            {0xE0, 0x01, 40, 1}, // the command carries 40 bytes
        };
        // A byte stream takes an answer byte by byte, too, and may lose a byte of a
        // block on the way.
        p.rates = SoakPlan::commonRates() << SimDevice::FaultRate{SimFault::ByteByByte, 0.01}
                                          << SimDevice::FaultRate{SimFault::ShortBlock, 0.02};
        return p;
    }

    SimProfile profile() const override { return SimProfile::serial(); }

    SoakLedger::Effect effect(const SimDevice::Exchange &e) const override
    {
        switch (e.fault) {
        case SimFault::Silent:
        case SimFault::WrongHeaderChecksum:
            return {false, 0};
        case SimFault::WrongBlockChecksum:
        case SimFault::ShortBlock:
            // The parser drops a reply whose block fails.
            return {e.reply.block.isEmpty(), 0};
        default:
            return {true, 0};
        }
    }

    bool open(const std::function<void(SimDevice &)> &configure, QString *error) override
    {
        m_configure = configure;
        m_port.reset(static_cast<PortSerial *>(PortInterface::creatCoreObjInstance(ConnSerial)));
        return startLine(error);
    }

    PortBase *port() const override { return m_port.get(); }

    void disturb() override
    {
        m_taken += m_line->device().takeExchanges();
        m_line->hangUp();
        const QString oldName = m_line->portName();
        QTimer::singleShot(plan().downMs, this, [this, oldName]() {
            // The transport closes the port itself once it sees the line gone.
            m_note = QStringLiteral("line %1 hung up; %2; reopened on ")
                         .arg(oldName, m_port->m_com->isOpen() ? QStringLiteral("the port was still open")
                                                               : QStringLiteral("the transport had closed the port"));
            m_taken += m_line->device().takeExchanges();
            m_line.reset();
            QString error;
            const bool ok = startLine(&error);
            m_note += ok ? m_line->portName() : error;
            emit back(ok, error);
        });
    }

    QString disturbanceNote() const override { return m_note; }

    QList<SimDevice::Exchange> takeExchanges() override
    {
        QList<SimDevice::Exchange> taken;
        taken.swap(m_taken);
        if (m_line)
            taken += m_line->device().takeExchanges();
        return taken;
    }

    void close() override
    {
        if (m_port)
            m_port->closeSerialPort();
        m_port.reset();
        m_line.reset();
    }

private:
    bool startLine(QString *error)
    {
        m_line = std::make_unique<PtyDevice>();
        m_configure(m_line->device());
        if (!m_line->start(error))
            return false;
        if (m_port->openSerialPort(m_line->portName(), QSerialPort::Baud115200, QSerialPort::OneStop,
                                   QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8))
            return true;
        *error = QStringLiteral("cannot open ") + m_line->portName();
        return false;
    }

    std::function<void(SimDevice &)> m_configure;
    std::unique_ptr<PortSerial> m_port;
    std::unique_ptr<PtyDevice> m_line;
    QList<SimDevice::Exchange> m_taken;
    QString m_note;
};

} // namespace

std::unique_ptr<SoakMedium> makeSerialMedium()
{
    return std::make_unique<SerialMedium>();
}
