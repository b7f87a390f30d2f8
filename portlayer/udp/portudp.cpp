#include "portudp.h"
#include "portudp_p.h"

#include "datagramcodec.h"
#include "framecodec.h"
#include "portlog.h"
#include "replyhandoff.h"
#include "sendersieve.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <utility>

std::mutex PortUDP::stdCMDlock;

namespace {

// An empty or unparsable address text gives a null address, which Qt sends to the
// unspecified address; Linux delivers that to this machine, and the send would
// look successful. Neither that nor an explicit 0.0.0.0 or :: names a device.
bool namesADevice(const QHostAddress &address)
{
    return !address.isNull() && address != QHostAddress(QHostAddress::AnyIPv4)
        && address != QHostAddress(QHostAddress::AnyIPv6);
}

} // namespace

PortUDP::PortUDP()
    : m_udpSocket(nullptr)
    , m_port(0)
    , d(std::make_unique<PortUDPPrivate>())
{
    initUdp();
    std::lock_guard<std::mutex> lock(stdCMDlock);
    m_deviceIP = QString::fromLatin1(kDefaultDeviceIP);
}

PortUDP::~PortUDP()
{
    disconnect(this, &PortUDP::signalReInitUdp, this, &PortUDP::reInitUdp);
    if (m_udpSocket) {
        disconnect(m_udpSocket, &QUdpSocket::readyRead, this, &PortUDP::readPendingDatagrams);
        discardPending();
        m_udpSocket->close();
    }
    {
        std::lock_guard<std::mutex> lock(stdCMDlock);
        m_blockCmdBuff.clear();
        m_stdCmdBuff.clear();
        d->heldSender.clear();
        m_lastDatagram.clear();
        m_deviceIP.clear();
    }
    delete m_udpSocket;
    m_udpSocket = nullptr;
    // m_cmdDealModule goes next, and its destructor waits for the joins and
    // queueings still running.
}

void PortUDP::setDeviceIP(QString ip)
{
    std::lock_guard<std::mutex> lock(stdCMDlock);
    m_deviceIP = ip;
}

void PortUDP::setPort(int port)
{
    std::lock_guard<std::mutex> lock(stdCMDlock);
    m_port = port;
}

void PortUDP::clearQueue()
{
    CmdDealModule *dispatcher = &m_cmdDealModule;
    startDetached([dispatcher]() { dispatcher->clearQueue(); });
}

bool PortUDP::openSerialPort(QString, QSerialPort::BaudRate, QSerialPort::StopBits, QSerialPort::Parity,
                             QSerialPort::FlowControl, QSerialPort::DataBits)
{
    return false;
}

void PortUDP::closeSerialPort()
{
}

bool PortUDP::openUSB(unsigned short, unsigned short)
{
    return false;
}

void PortUDP::closeUSB()
{
}

void PortUDP::setDeviceType(ModulelEnum::DeviceType type)
{
    m_deviceType = type;
}

void PortUDP::initUdp()
{
    m_udpSocket = new QUdpSocket;
    // Bound here rather than by the first send, as the system would: Qt applies
    // socket options only to a socket that exists, and it creates it at bind, so
    // an unbound socket would silently keep the system's default buffer.
    if (!m_udpSocket->bind(QHostAddress(QHostAddress::Any), 0))
        qCDebug(lcPortUdp) << "UDP bind failed:" << m_udpSocket->errorString();
    m_udpSocket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBufferSize);
    connect(m_udpSocket, &QUdpSocket::readyRead, this, &PortUDP::readPendingDatagrams);
    // Queued, so that a rebuild never runs inside the send that asked for it; unique,
    // so that every rebuild leaves exactly one such connection.
    connect(this, &PortUDP::signalReInitUdp, this, &PortUDP::reInitUdp,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
}

void PortUDP::senToUipro(void *)
{
}

QString PortUDP::autoRec(QString text)
{
    if (text.size() >= 2)
        return text;
    return QString(2 - text.size(), QLatin1Char('0')) + text;
}

unsigned short PortUDP::combineTwoByte(unsigned char low, unsigned char high) const
{
    return FrameCodec::combineTwoByte(low, high);
}

QByteArray PortUDP::changeData(QByteArray bytes)
{
    return FrameCodec::changeData(bytes);
}

ProtocolData PortUDP::getArrayData(QByteArray datagram)
{
    return DatagramCodec::decode(datagram);
}

void PortUDP::addToReceivedQueue(ProtocolData reply)
{
    queueIfEnabled(reply, bEnabled);
}

void PortUDP::combineSTDCMDandBloackCMD(QByteArray block, QByteArray held)
{
    // Called directly, the held reply's sender is not known.
    ProtocolData reply;
    if (!joined(block, held, QString(), &reply)) {
        setRetFlagStatus(true);
        return;
    }
    addToReceivedQueue(reply);
}

QByteArray PortUDP::produceCmds(ProtocolData command)
{
    return FrameCodec::produceCmds(command);
}

void PortUDP::sendUdpData(QByteArray data)
{
    QString ip;
    int port;
    {
        std::lock_guard<std::mutex> lock(stdCMDlock);
        ip = m_deviceIP;
        port = m_port;
    }
    const QHostAddress address(ip);
    const bool refused = !namesADevice(address);
    const quint16 udpPort = static_cast<quint16>(port);
    const qint64 total = DatagramCodec::writeInPieces(data, DatagramCodec::kSplitSize, [&](const QByteArray &piece) {
        return refused ? qint64(-1) : m_udpSocket->writeDatagram(piece, address, udpPort);
    });
    if (total == data.size()) {
        qCDebug(lcPortUdp) << "Send successful";
    } else if (total == -1) {
        qCDebug(lcPortUdp) << "Send failed";
        reportSendFailed(refused ? QStringLiteral("no device address \"%1\"").arg(ip)
                                 : m_udpSocket->errorString());
    } else {
        qCDebug(lcPortUdp) << "Send unknown";
        // A piece after the first was refused: the device has part of the command.
        // The rebuild is queued; the report comes last, as a host may send again
        // from its slot.
        const QString reason = m_udpSocket->errorString();
        emit signalReInitUdp();
        reportSendFailed(reason);
    }
}

void PortUDP::sendUdpDataBroadcast(QByteArray data)
{
    int port;
    {
        std::lock_guard<std::mutex> lock(stdCMDlock);
        port = m_port;
    }
    const qint64 written = m_udpSocket->writeDatagram(data, QHostAddress::Broadcast, static_cast<quint16>(port));
    if (written == data.size()) {
        qCDebug(lcPortUdp) << "Send Broadcast successful";
    } else if (written == -1) {
        qCDebug(lcPortUdp) << "Send Broadcast failed";
        reportSendFailed(m_udpSocket->errorString());
    } else {
        qCDebug(lcPortUdp) << "Send Broadcast unknown";
        const QString reason = m_udpSocket->errorString();
        emit signalReInitUdp();
        reportSendFailed(reason);
    }
}

void PortUDP::setRetFlagStatus(bool status)
{
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::bRetFlag = status;
}

void PortUDP::reInitUdp()
{
    // Keeps the device address: a host sets it once, when it opens, and a socket
    // rebuilt after one refused piece would leave every later command nowhere to go.
    rebuildSocket(true);
}

void PortUDP::reInitUdpKOVA()
{
    rebuildSocket(false);
}

void PortUDP::readPendingDatagrams()
{
    // Qt re-arms the socket's notification with each datagram read, so what this
    // pass leaves brings the next one.
    QElapsedTimer clock;
    clock.start();
    QString device;
    QString heldSender;
    {
        std::lock_guard<std::mutex> lock(stdCMDlock);
        device = m_deviceIP;
        heldSender = d->heldSender;
    }
    d->answerFilter.setDevice(device);
    for (int taken = 0; taken < kMaxDatagramsPerPass && clock.elapsed() < kPassBudgetMs && m_udpSocket
         && m_udpSocket->hasPendingDatagrams();
         ++taken) {
        const QNetworkDatagram datagram = m_udpSocket->receiveDatagram();
        if (!datagram.isValid())
            break;
        const QByteArray bytes = datagram.data();
        if (!d->answerFilter.admits(datagram.senderAddress(), heldSender, bytes, AnswerFilter::Clock::now())) {
            noteRefused();
            continue;
        }
        handleDatagram(bytes, datagram.senderAddress());
        std::lock_guard<std::mutex> lock(stdCMDlock);
        heldSender = d->heldSender;
    }
}

quint64 PortUDP::refusedDatagrams() const
{
    return d->answerFilter.refused();
}

quint64 PortUDP::leftoverDatagrams() const
{
    return d->leftoverDrops;
}

quint64 PortUDP::droppedBySystem() const
{
    std::lock_guard<std::mutex> lock(stdCMDlock);
    return d->droppedByOldSockets + (m_udpSocket ? SenderSieve::dropped(m_udpSocket->socketDescriptor()) : 0);
}

void PortUDP::sieveToDevice()
{
    // A flood from other hosts would fill the socket's buffer before this thread
    // refuses it, and the device's replies would be dropped with it. Left open while
    // a broadcast's answers may still come; the next unicast closes it.
    if (d->answerFilter.awaitingAnswers(AnswerFilter::Clock::now()))
        return;
    std::lock_guard<std::mutex> lock(stdCMDlock);
    const QHostAddress device(m_deviceIP);
    if (!m_udpSocket || !namesADevice(device) || device.isEqual(d->sievedFor, QHostAddress::ConvertV4MappedToIPv4))
        return;
    if (SenderSieve::admitOnly(m_udpSocket->socketDescriptor(), device))
        d->sievedFor = device;
}

void PortUDP::openSieve()
{
    std::lock_guard<std::mutex> lock(stdCMDlock);
    if (m_udpSocket && !d->sievedFor.isNull() && SenderSieve::admitAll(m_udpSocket->socketDescriptor()))
        d->sievedFor.clear();
}

void PortUDP::noteRefused()
{
    // At most a line a second: the refusals of a flood would drown the log.
    if (d->refusalLog.isValid() && d->refusalLog.elapsed() < 1000)
        return;
    qCDebug(lcPortUdp) << "Datagrams from other senders than the device refused:" << d->answerFilter.refused();
    d->refusalLog.start();
}

void PortUDP::sendDatatoDevice(void *parameters)
{
    if (!parameters)
        return;
    const ProtocolData command = *static_cast<const ProtocolData *>(parameters);
    if ((command.bySendMode == 0 || command.bySendMode == 1) && d->blockWait.endsWait(command.bySN))
        endIncompleteHold();
    switch (command.bySendMode) {
    case 0: {
        const QByteArray datagram = produceCmds(command);
        sieveToDevice();
        sendUdpData(datagram);
        qCDebug(lcPortUdp).noquote() << QStringLiteral("Send data:") + DatagramCodec::logText(datagram);
        break;
    }
    case 1: {
        const QByteArray datagram = produceCmds(command);
        // Before it leaves: the first answers may be read before the send returns.
        d->answerFilter.broadcastLeft(command, AnswerFilter::Clock::now());
        openSieve();
        sendUdpDataBroadcast(datagram);
        qCDebug(lcPortUdp).noquote() << QStringLiteral("Send data:") + DatagramCodec::logText(datagram);
        break;
    }
    default:
        qCDebug(lcPortUdp) << "Send data abnormal";
        break;
    }
}

void PortUDP::processInfoDisplayonUI(void *)
{
}

void PortUDP::endIncompleteHold()
{
    // A block still incomplete when the next command (or the resend) leaves will
    // not come in full: a datagram was lost, or the device cut it short. Whatever
    // arrives from now on belongs to the command leaving; joined with the held
    // reply it would complete that reply with bytes of another answer.
    std::lock_guard<std::mutex> lock(stdCMDlock);
    if (!m_stdCmdBuff.isEmpty()) {
        // The rest of its block may still be on its way; it is no answer to the
        // command leaving, and taken for datagrams that are no reply it would
        // release the commands after it.
        const ProtocolData held = DatagramCodec::decode(m_stdCmdBuff);
        const int expected = qMax<int>(DatagramCodec::fixedBlockSize(held), DatagramCodec::announcedLength(held));
        d->leftoverSender = d->heldSender;
        d->leftoverBytes = qMax(0, expected - m_blockCmdBuff.size());
    }
    m_stdCmdBuff.clear();
    d->heldSender.clear();
    m_blockCmdBuff.clear();
}

void PortUDP::handleDatagram(const QByteArray &datagram, const QHostAddress &sender)
{
    m_lastDatagram = datagram;
    const QString ip = DatagramCodec::senderText(sender);
    qCDebug(lcPortUdp).noquote() << QStringLiteral("Recv data:") + DatagramCodec::logText(datagram);
    qCDebug(lcPortUdp).noquote() << QStringLiteral("host ip:") + ip;

    ProtocolData reply = getArrayData(m_lastDatagram);
    reply.strLabel = ip;
    reply.strSource = ip;
    reply.byReplySource = 0;
    reply.iDeviceType = m_deviceType.load();

    if (!DatagramCodec::isNotReply(reply)) {
        std::lock_guard<std::mutex> lock(stdCMDlock);
        if (ip == d->leftoverSender)
            d->leftoverBytes = 0; // its sender has moved on
    }

    switch (DatagramCodec::classify(reply)) {
    case DatagramCodec::Intake::QueueNow:
        if (bEnabled)
            d->handOff.deliverNow(reply);
        break;
    case DatagramCodec::Intake::Hold: {
        std::lock_guard<std::mutex> lock(stdCMDlock);
        m_stdCmdBuff = m_lastDatagram;
        d->heldSender = ip;
        // The bytes gathered so far belong to the reply this one replaces (a resend's
        // second answer, say); joined with this one they would be a corrupted block.
        m_blockCmdBuff.clear();
        break;
    }
    case DatagramCodec::Intake::General:
        if (DatagramCodec::isNotReply(reply))
            takeBlockBytes(ip);
        else if (bEnabled)
            d->handOff.post(reply);
        break;
    }
}

void PortUDP::rebuildSocket(bool drainPending)
{
    if (m_udpSocket) {
        disconnect(m_udpSocket, &QUdpSocket::readyRead, this, &PortUDP::readPendingDatagrams);
        if (drainPending)
            discardPending();
        {
            std::lock_guard<std::mutex> lock(stdCMDlock);
            d->droppedByOldSockets += SenderSieve::dropped(m_udpSocket->socketDescriptor());
        }
        m_udpSocket->close();
    }
    {
        std::lock_guard<std::mutex> lock(stdCMDlock);
        m_blockCmdBuff.clear();
        m_lastDatagram.clear();
        m_stdCmdBuff.clear();
        d->heldSender.clear();
        // The new socket takes datagrams from anyone until the next unicast.
        d->sievedFor.clear();
    }
    delete m_udpSocket;
    m_udpSocket = nullptr;
    initUdp();
}

void PortUDP::discardPending()
{
    while (m_udpSocket->hasPendingDatagrams()) {
        if (!m_udpSocket->receiveDatagram().isValid())
            break;
    }
}

void PortUDP::takeBlockBytes(const QString &sender)
{
    if (m_stdCmdBuff.isEmpty() || sender != d->heldSender) {
        {
            std::lock_guard<std::mutex> lock(stdCMDlock);
            if (sender == d->leftoverSender && m_lastDatagram.size() <= d->leftoverBytes) {
                // The rest of a block whose wait a departing command ended.
                d->leftoverBytes -= m_lastDatagram.size();
                ++d->leftoverDrops;
                return;
            }
            d->leftoverBytes = 0;
        }
        // Nothing held for this sender: the dispatcher need not wait for the
        // watchdog, in line with the replies before.
        d->handOff.postRelease();
        return;
    }
    const qint16 announced = DatagramCodec::announcedLength(getArrayData(m_stdCmdBuff));
    // The buffer is emptied whenever it reaches the announced length, so it never
    // holds more than that length plus one datagram.
    m_blockCmdBuff.append(m_lastDatagram);
    if (announced > m_blockCmdBuff.size())
        return;

    ProtocolData reply;
    if (!joined(m_blockCmdBuff, m_stdCmdBuff, sender, &reply))
        d->handOff.postRelease();
    else if (bEnabled)
        d->handOff.post(reply);
    std::lock_guard<std::mutex> lock(stdCMDlock);
    m_stdCmdBuff.clear();
    d->heldSender.clear();
    m_blockCmdBuff.clear();
}

void PortUDP::startDetached(std::function<void()> job)
{
    m_cmdDealModule.runDetached(std::move(job));
}

void PortUDP::queueIfEnabled(const ProtocolData &reply, bool enabled)
{
    if (enabled)
        ReplyHandOff::queue(reply);
}

bool PortUDP::joined(const QByteArray &block, const QByteArray &held, const QString &sender, ProtocolData *reply) const
{
    // Nothing to hand over when false, but the dispatcher need not wait for the watchdog.
    if (!DatagramCodec::join(block, held, reply))
        return false;
    reply->strLabel = sender;
    reply->strSource = sender;
    reply->byReplySource = 0;
    reply->iDeviceType = m_deviceType.load();
    return true;
}
