#include "streammedium.h"

#include "framecodec.h"


StreamParser::Settings StreamMedium::parserSettings(const Settings &settings, StreamMedium *self)
{
    StreamParser::Settings s;
    s.runFlag = &self->m_parserRun;
    s.exitFlag = &self->m_parserExited;
    s.awaitBlocks = settings.awaitBlocks;
    s.blockWaitMs = settings.blockWaitMs;
    s.debugPrefix = settings.debugPrefix;
    s.logCategory = settings.logCategory;
    const unsigned char replySource = settings.replySource;
    s.fillReply = [self, replySource](ProtocolData &reply) {
        reply.strSource = self->m_replySourceText;
        reply.byReplySource = replySource;
        reply.iDeviceType = self->m_deviceType.load();
    };
    if (settings.blockRepliesKeepSource) {
        s.fillBlockReply = [self, replySource](ProtocolData &reply) {
            reply.byReplySource = replySource;
            reply.iDeviceType = self->m_deviceType.load();
        };
    }
    return s;
}

StreamMedium::StreamMedium(const Settings &settings)
    : m_logCategory(settings.logCategory)
    , m_parser(parserSettings(settings, this))
{
}

StreamMedium::~StreamMedium() = default;

void StreamMedium::setReplySourceText(const QString &text)
{
    m_replySourceText = text;
}

void StreamMedium::runFlagChanged()
{
    m_parser.wakeUp();
}

void StreamMedium::sendCommand(void *parameters, const std::function<void(const QByteArray &)> &write,
                               const QString &logPrefix)
{
    if (!parameters)
        return;
    const ProtocolData command = *static_cast<const ProtocolData *>(parameters);
    const QByteArray bytes = FrameCodec::produceCmds(command);
    // Before the write: the answer may come in before the write call returns.
    if (m_blockWait.endsWait(command.bySN))
        m_parser.commandSent();
    write(bytes);
    qCDebug(m_logCategory).noquote() << logPrefix + QString::fromLatin1(bytes.left(FrameCodec::kTextFrameSize));
}

void StreamMedium::appendBuffData(QByteArray data)
{
    m_parser.appendBuffData(data);
}

QByteArray StreamMedium::getBuffData(unsigned short n)
{
    return m_parser.getBuffData(n);
}

QByteArray StreamMedium::takeBuffData(unsigned short n)
{
    return m_parser.takeBuffData(n);
}

void StreamMedium::clearBuffData()
{
    m_parser.clearBuffData();
}

int StreamMedium::buffSize()
{
    return m_parser.buffSize();
}

bool StreamMedium::isFindStdCmdPreFlag(QByteArray snapshot)
{
    return m_parser.isFindStdCmdPreFlag(snapshot);
}

bool StreamMedium::checkCMD(QByteArray frame)
{
    return m_parser.checkCMD(frame);
}

bool StreamMedium::getArrayData(QByteArray frame, ProtocolData *out)
{
    return m_parser.getArrayData(frame, out);
}

bool StreamMedium::checkBlock(ProtocolData reply, unsigned short length)
{
    return m_parser.checkBlock(reply, length);
}

void StreamMedium::commandSent()
{
    m_parser.commandSent();
}

void StreamMedium::addToReceivedQueue(ProtocolData reply)
{
    StreamParser::addToReceivedQueue(reply);
}

void StreamMedium::ThreadDealDataFunc()
{
    m_parser.ThreadDealDataFunc();
}

void StreamMedium::dealOnePass()
{
    m_parser.dealOnePass();
}

bool StreamMedium::startParserThread()
{
    return m_parser.startParserThread();
}

void StreamMedium::stopParserThread()
{
    m_parser.stopParserThread();
}
