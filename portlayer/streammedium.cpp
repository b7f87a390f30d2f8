#include "streammedium.h"
#include "streammedium_p.h"

#include "framecodec.h"

StreamParser::Settings StreamMediumPrivate::parserSettings(const StreamMedium::Settings &settings,
                                                           StreamMedium *self, StreamMediumPrivate *d)
{
    StreamParser::Settings s;
    s.runFlag = &self->m_parserRun;
    s.exitFlag = &self->m_parserExited;
    s.awaitBlocks = settings.awaitBlocks;
    s.blockWaitMs = settings.blockWaitMs;
    s.debugPrefix = settings.debugPrefix;
    s.logCategory = settings.logCategory;
    const unsigned char replySource = settings.replySource;
    s.fillReply = [self, d, replySource](ProtocolData &reply) {
        reply.strSource = d->replySourceText;
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

StreamMediumPrivate::StreamMediumPrivate(const StreamMedium::Settings &settings, StreamMedium *medium)
    : logCategory(settings.logCategory)
    , parser(parserSettings(settings, medium, this))
{
}

StreamMedium::StreamMedium(const Settings &settings)
    : d(std::make_unique<StreamMediumPrivate>(settings, this))
{
}

StreamMedium::~StreamMedium() = default;

void StreamMedium::setReplySourceText(const QString &text)
{
    d->replySourceText = text;
}

void StreamMedium::runFlagChanged()
{
    d->parser.wakeUp();
}

void StreamMedium::sendCommand(void *parameters, const std::function<void(const QByteArray &)> &write,
                               const QString &logPrefix)
{
    if (!parameters)
        return;
    const ProtocolData command = *static_cast<const ProtocolData *>(parameters);
    const QByteArray bytes = FrameCodec::produceCmds(command);
    // Before the write: the answer may come in before the write call returns.
    if (d->blockWait.endsWait(command.bySN))
        d->parser.commandSent();
    write(bytes);
    qCDebug(d->logCategory).noquote() << logPrefix + QString::fromLatin1(bytes.left(FrameCodec::kTextFrameSize));
}

void StreamMedium::appendBuffData(QByteArray data)
{
    d->parser.append(data);
}

QByteArray StreamMedium::getBuffData(unsigned short n)
{
    return d->parser.peek(n);
}

QByteArray StreamMedium::takeBuffData(unsigned short n)
{
    return d->parser.take(n);
}

void StreamMedium::clearBuffData()
{
    d->parser.clear();
}

int StreamMedium::buffSize()
{
    return d->parser.size();
}

bool StreamMedium::isFindStdCmdPreFlag(QByteArray snapshot)
{
    return d->parser.resyncStep(snapshot);
}

bool StreamMedium::checkCMD(QByteArray frame)
{
    return d->parser.takeFrame(frame);
}

bool StreamMedium::getArrayData(QByteArray frame, ProtocolData *out)
{
    return d->parser.decodeFrame(frame, out);
}

bool StreamMedium::checkBlock(ProtocolData reply, unsigned short length)
{
    return d->parser.takeBlock(reply, length);
}

void StreamMedium::commandSent()
{
    d->parser.commandSent();
}

void StreamMedium::addToReceivedQueue(ProtocolData reply)
{
    ReplyHandOff::queue(reply);
}

void StreamMedium::ThreadDealDataFunc()
{
    d->parser.run();
}

void StreamMedium::dealOnePass()
{
    d->parser.dealOnePass();
}

bool StreamMedium::startParserThread()
{
    return d->parser.startParserThread();
}

void StreamMedium::stopParserThread()
{
    d->parser.stopParserThread();
}
