#include "portserial.h"

#include "framecodec.h"
#include "portlog.h"
#include "streammedium_p.h"

#include <QMutexLocker>

#include <mutex>

namespace {

StreamMedium::Settings mediumSettings()
{
    StreamMedium::Settings s;
    s.awaitBlocks = true;
    // A block is awaited 150 tries of 4 ms.
    s.blockWaitMs = 600;
    s.debugPrefix = QStringLiteral("PortSerial");
    s.logCategory = lcPortSerial;
    s.replySource = 1;
    return s;
}

} // namespace

PortSerial::PortSerial()
    : StreamMedium(mediumSettings())
    , m_bDealFlag(m_parserRun)
    , m_bDealThreadExit(m_parserExited)
    , m_com(new QSerialPort)
{
    connect(m_com, &QSerialPort::readyRead, this, &PortSerial::readPendingDatagrams);
    // Errors are watched too: a device that goes away must close the port.
    connect(m_com, &QSerialPort::errorOccurred, this, &PortSerial::handleError);
}

PortSerial::~PortSerial()
{
    // Closing the port may still signal; no slot may run on a transport being destroyed.
    m_com->disconnect(this);
    shutDownPort();
    delete m_com;
    clearBuffData();
}

void PortSerial::setDeviceIP(QString)
{
}

void PortSerial::setPort(int)
{
}

void PortSerial::clearQueue()
{
    // runDetached makes the dispatcher's destructor wait for the thread, so the
    // thread never outlives the member it runs on.
    CmdDealModule *dispatcher = &m_cmdDealModule;
    m_cmdDealModule.runDetached([dispatcher]() { dispatcher->clearQueue(); });
}

bool PortSerial::openSerialPort(QString portName, QSerialPort::BaudRate baudRate,
                                QSerialPort::StopBits stopBits, QSerialPort::Parity parity,
                                QSerialPort::FlowControl flowControl,
                                QSerialPort::DataBits dataBits)
{
    if (m_com->isOpen())
        shutDownPort();

    m_com->setPortName(portName);
    m_com->setBaudRate(baudRate, QSerialPort::AllDirections);
    m_com->setDataBits(dataBits);
    m_com->setParity(parity);
    m_com->setStopBits(stopBits);
    m_com->setFlowControl(flowControl);

    if (!m_com->open(QIODevice::ReadWrite))
        return false;
    if (startParser())
        return true;
    m_com->close();
    return false;
}

void PortSerial::closeSerialPort()
{
    // Also on a closed port, where it costs nothing: no parser may outlive a close.
    shutDownPort();
}

bool PortSerial::openUSB(unsigned short, unsigned short)
{
    return false;
}

void PortSerial::closeUSB()
{
}

void PortSerial::setDeviceType(ModulelEnum::DeviceType type)
{
    m_deviceType = type;
}

void PortSerial::handleError(QSerialPort::SerialPortError error)
{
    if (!m_com->isOpen())
        return;
    // QSerialPort writes from its buffer later; this is where a write fails.
    if (error == QSerialPort::WriteError)
        reportSendFailed(m_com->errorString());
    if (error == QSerialPort::ReadError) {
        if (!readErrorMeansGone())
            return;
    } else if (error != QSerialPort::ResourceError) {
        return;
    }
    shutDownPort();
}

bool PortSerial::readErrorMeansGone()
{
    // On Linux a vanished device (a USB adapter pulled, a pseudo-terminal's master
    // closed) shows as ReadError rather than ResourceError, and QSerialPort keeps its
    // read notifier armed, so the error comes again at once, over and over, without
    // a byte read in between. A single ReadError on a live port is a passing fault
    // and is ignored; the same error again within this time, with nothing read
    // since, means the line is gone.
    constexpr qint64 kRepeatMs = 100;
    const bool repeated = m_bReadErrorPending && m_lastReadError.elapsed() <= kRepeatMs;
    m_bReadErrorPending = true;
    m_lastReadError.start();
    return repeated;
}

void PortSerial::readPendingDatagrams()
{
    while (m_com->bytesAvailable() > 0) {
        const QByteArray data = m_com->readAll();
        m_bReadErrorPending = false;
        if (bEnabled)
            appendBuffData(data);
    }
}

void PortSerial::sendComData(QByteArray data)
{
    if (!m_com->isOpen()) {
        // Nothing is logged, as before, but the host learns the command went nowhere.
        reportSendFailed(QStringLiteral("the serial port is not open"));
        return;
    }
    qCDebug(lcPortSerial) << "m_com->write" << data.size();
    const qint64 written = m_com->write(data);
    if (written == data.size())
        qCDebug(lcPortSerial) << "Send successful";
    else if (written == -1) {
        qCDebug(lcPortSerial) << "Send failed";
        reportSendFailed(m_com->errorString());
    }
}

void PortSerial::sendDatatoDevice(void *parameters)
{
    sendCommand(parameters, [this](const QByteArray &bytes) { sendComData(bytes); }, QStringLiteral("Send data:"));
}

QByteArray PortSerial::produceCmds(ProtocolData command)
{
    return FrameCodec::produceCmds(command);
}

QByteArray PortSerial::changeData(QByteArray bytes)
{
    return FrameCodec::changeData(bytes);
}

void PortSerial::setRetFlagStatus(bool status)
{
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::bRetFlag = status;
}

void PortSerial::setDealFlag(bool on)
{
    {
        QMutexLocker locker(&m_dealMutex);
        m_bDealFlag = on;
    }
    runFlagChanged();
}

unsigned short PortSerial::combineTwoByte(unsigned char low, unsigned char high) const
{
    return FrameCodec::combineTwoByte(low, high);
}

bool PortSerial::startParser()
{
    // No parser may be reading the name while it changes.
    stopParserThread();
    setReplySourceText(m_com->portName());
    setDealFlag(true);
    if (startParserThread())
        return true;
    setDealFlag(false);
    return false;
}

void PortSerial::stopParser()
{
    // Waits for the thread even when the flag is already false: the host may have
    // cleared it while the parser still waits for a block.
    setDealFlag(false);
    stopParserThread();
}

void PortSerial::shutDownPort()
{
    // Closing the port can report an error of its own, which re-enters handleError.
    if (m_bShuttingDown)
        return;
    m_bShuttingDown = true;
    // The parser goes first whenever the port closes, for whatever reason: then a
    // later open starts exactly one parser, and none outlives the transport.
    stopParser();
    if (m_com->isOpen())
        m_com->close();
    clearBuffData();
    m_bReadErrorPending = false;
    m_bShuttingDown = false;
}
