#include "answerfilter.h"

#include "datagramcodec.h"
#include "framecodec.h"

void AnswerFilter::setDevice(const QString &ip)
{
    // Parsed once per change: the text is compared for every datagram.
    if (ip == m_deviceText)
        return;
    m_deviceText = ip;
    m_device = QHostAddress(ip);
}

void AnswerFilter::broadcastLeft(const ProtocolData &command, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_broadcastLock);
    m_awaitingAnswers = true;
    m_answersUntil = now + 2 * std::chrono::milliseconds(qMax(0, command.iTimeoutMs));
    m_broadcastSn = command.bySN;
    m_broadcastCmd = command.byCmd;
    m_broadcastSubCmd = command.bySubCmd;
}

bool AnswerFilter::admits(const QHostAddress &sender, const QString &heldSender, const QByteArray &datagram,
                          Clock::time_point now)
{
    if (!m_device.isNull() && sender.isEqual(m_device, QHostAddress::ConvertV4MappedToIPv4))
        return true;
    if (!heldSender.isEmpty() && DatagramCodec::senderText(sender) == heldSender)
        return true;
    if (answersBroadcast(datagram, now))
        return true;
    ++m_refused;
    return false;
}

bool AnswerFilter::awaitingAnswers(Clock::time_point now) const
{
    std::lock_guard<std::mutex> lock(m_broadcastLock);
    return m_awaitingAnswers && now <= m_answersUntil;
}

bool AnswerFilter::answersBroadcast(const QByteArray &datagram, Clock::time_point now) const
{
    // Decoded without the debug lines of DatagramCodec::decode: a flood of noise
    // would otherwise write one each.
    if (datagram.size() != DatagramCodec::kReplySize || datagram.at(0) != '[' || datagram.at(1) != 'R')
        return false;
    ProtocolData reply;
    if (!FrameCodec::decodeStandardFrame(datagram, &reply))
        return false;
    std::lock_guard<std::mutex> lock(m_broadcastLock);
    return m_awaitingAnswers && now <= m_answersUntil && reply.bySN == m_broadcastSn
        && reply.byCmd == m_broadcastCmd && reply.bySubCmd == m_broadcastSubCmd;
}
