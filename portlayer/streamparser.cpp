#include "streamparser.h"

#include "framecodec.h"
#include "replyhandoff.h"
#include "threadstart.h"

#include <chrono>
#include <utility>

namespace {

std::atomic<int> s_runningParserThreads{0};

ReassemblyBuffer::Clock::time_point after(int ms)
{
    return ReassemblyBuffer::Clock::now() + std::chrono::milliseconds(ms);
}

} // namespace

StreamParser::StreamParser(Settings settings)
    : m_settings(std::move(settings))
{
}

StreamParser::~StreamParser()
{
    // Before the buffer and the settings the thread reads go.
    stopParserThread();
}

void StreamParser::append(QByteArray data)
{
    const int dropped = m_buffer.append(data);
    if (dropped > 0)
        qCDebug(m_settings.logCategory).noquote() << m_settings.debugPrefix + QStringLiteral("::appendBuffData buffer full, dropped")
                           << dropped << "oldest bytes";
}

QByteArray StreamParser::peek(unsigned short n)
{
    return m_buffer.peek(n);
}

QByteArray StreamParser::take(unsigned short n)
{
    return m_buffer.take(n);
}

void StreamParser::clear()
{
    m_buffer.clear();
}

int StreamParser::size()
{
    return m_buffer.size();
}

bool StreamParser::resyncStep(QByteArray snapshot)
{
    return m_buffer.resyncStep(snapshot.size()) == ReassemblyBuffer::Resync::ReplyStart;
}

bool StreamParser::takeFrame(QByteArray frame)
{
    return checkFrameAt(frame, m_buffer.head());
}

bool StreamParser::checkFrameAt(const QByteArray &frame, quint64 pos)
{
    if (frame.size() < FrameCodec::kTextFrameSize)
        return false;
    const QByteArray text = frame.left(FrameCodec::kTextFrameSize);
    ProtocolData reply;
    if (!decodeFrame(text, &reply)) {
        // Search again just behind this "[".
        m_buffer.consumeTo(pos + 1);
        return false;
    }
    const QString line = QStringLiteral("Recv data:") + QString::fromLatin1(text);

    if (m_settings.awaitBlocks && FrameCodec::isBlockAnnouncing(reply)) {
        m_buffer.consumeTo(pos + FrameCodec::kTextFrameSize);
        const bool ok = checkBlockAt(reply, FrameCodec::combineTwoByte(reply.byParam2, reply.byParam3),
                                     pos + FrameCodec::kTextFrameSize);
        if (ok)
            qCDebug(m_settings.logCategory).noquote() << line;
        else
            qCDebug(m_settings.logCategory).noquote() << line << "CheckBlock default:";
        return ok;
    }

    qCDebug(m_settings.logCategory).noquote() << line;
    if (m_settings.fillReply)
        m_settings.fillReply(reply);
    // Handed over before its bytes leave the buffer: whoever waits for the parser
    // sees either the bytes or the reply on its way, never neither.
    m_handOff.post(reply);
    m_buffer.consumeTo(pos + FrameCodec::kTextFrameSize);
    return true;
}

bool StreamParser::decodeFrame(QByteArray frame, ProtocolData *out)
{
    if (FrameCodec::decodeStandardFrame(frame, out))
        return true;
    qCDebug(m_settings.logCategory).noquote() << m_settings.debugPrefix + QStringLiteral("::getArrayData   dataStr==")
                              + QString::fromLatin1(frame.mid(2, 16));
    return false;
}

bool StreamParser::takeBlock(ProtocolData reply, unsigned short length)
{
    return checkBlockAt(reply, length, m_buffer.head());
}

bool StreamParser::checkBlockAt(ProtocolData reply, unsigned short length, quint64 pos)
{
    if (length == 0) {
        fillBlockReply(reply);
        reply.baData = QByteArray();
        m_handOff.post(reply);
        return true;
    }

    // A command went out after the reply frame had come and before all its block had.
    auto askedAgain = [this, pos, length]() {
        const qint64 sentAt = m_sentAtPos.load();
        return sentAt >= 0 && quint64(sentAt) >= pos && quint64(sentAt) < pos + length;
    };
    // The wait is one deadline on the clock, however often bytes come meanwhile.
    const auto deadline = after(m_settings.blockWaitMs);
    QByteArray block;
    for (;;) {
        const ReassemblyBuffer::Mark mark = m_buffer.mark();
        if (m_stopRequested || askedAgain())
            return false;
        bool gone = false;
        block = m_buffer.peekAt(pos, length, &gone);
        // Dropped from a full buffer while we waited: it can never complete.
        if (gone)
            return false;
        if (block.size() == length)
            break;
        if (ReassemblyBuffer::Clock::now() >= deadline)
            return false;
        m_buffer.waitPast(mark, deadline);
    }

    const bool holds = FrameCodec::blockChecksumHolds(block);
    if (holds) {
        fillBlockReply(reply);
        reply.baData = block;
        m_handOff.post(reply);
    }
    m_buffer.consumeTo(pos + length);
    return holds;
}

void StreamParser::commandSent()
{
    m_sentAtPos = qint64(m_buffer.mark().end);
    m_buffer.wake();
}

void StreamParser::wakeUp()
{
    m_buffer.wake();
}

void StreamParser::fillBlockReply(ProtocolData &reply) const
{
    if (m_settings.fillBlockReply)
        m_settings.fillBlockReply(reply);
    else if (m_settings.fillReply)
        m_settings.fillReply(reply);
}

int StreamParser::runningParserThreads()
{
    return s_runningParserThreads.load();
}

bool StreamParser::keepRunning() const
{
    return !m_stopRequested && m_settings.runFlag && m_settings.runFlag->load();
}

bool StreamParser::startParserThread()
{
    std::lock_guard<std::mutex> lock(m_threadMutex);
    joinParserThreadLocked();
    if (m_thread.joinable())
        return false; // called from the parser thread itself
    // Cleared here as well as by the thread: a caller that looks right after the
    // start must not mistake the previous thread's "ended" for this one's.
    if (m_settings.exitFlag)
        m_settings.exitFlag->store(false);
    // Counted before the thread exists and until after it has left the object, so
    // the count is exact whenever a start or stop has returned.
    s_runningParserThreads.fetch_add(1);
    const bool started = ThreadStart::start(m_thread, [this]() {
        run();
        s_runningParserThreads.fetch_sub(1);
    });
    if (!started) {
        s_runningParserThreads.fetch_sub(1);
        if (m_settings.exitFlag)
            m_settings.exitFlag->store(true);
    }
    return started;
}

void StreamParser::stopParserThread()
{
    std::lock_guard<std::mutex> lock(m_threadMutex);
    joinParserThreadLocked();
}

void StreamParser::joinParserThreadLocked()
{
    if (!m_thread.joinable())
        return;
    // The thread cannot wait for itself; it ends by its run flag instead.
    if (m_thread.get_id() == std::this_thread::get_id())
        return;
    m_stopRequested = true;
    m_buffer.wake();
    m_thread.join();
    m_stopRequested = false;
}

void StreamParser::run()
{
    std::atomic<bool> *const exitFlag = m_settings.exitFlag;
    if (exitFlag)
        exitFlag->store(false);
    while (keepRunning()) {
        // Taken before the pass: bytes that come during it wake the wait at once.
        const ReassemblyBuffer::Mark mark = m_buffer.mark();
        dealOnePass();
        if (!keepRunning())
            break;
        m_buffer.waitPast(mark, after(kIdleWaitMs));
    }
    if (exitFlag)
        exitFlag->store(true);
}

void StreamParser::dealOnePass()
{
    constexpr int kFrame = FrameCodec::kTextFrameSize;
    // Nothing is looked at before a frame's worth has come.
    while (!m_stopRequested && m_buffer.size() >= kFrame) {
        // Resynchronise: what cannot start a reply frame goes, step by step, a "[R"
        // without "]" where the frame would end included.
        const ReassemblyBuffer::Resync found = m_buffer.resyncStep(kPeekSize, kFrame - 1, true);
        quint64 pos = 0;
        const QByteArray frame = m_buffer.peekHead(kFrame, &pos);
        if (found != ReassemblyBuffer::Resync::ReplyStart || frame.size() < kFrame)
            return;
        // Bytes dropped from a full buffer since the step moved the head: look again.
        if (frame.at(0) != '[' || frame.at(1) != 'R' || frame.at(kFrame - 1) != ']')
            continue;
        // "[R" and "]" 17 bytes on: checkFrameAt consumes the frame, or its "[" when
        // the checksum fails.
        checkFrameAt(frame, pos);
    }
}
