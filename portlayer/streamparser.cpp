#include "streamparser.h"

#include "cmddealmodule.h"
#include "framecodec.h"
#include "replyhandoff.h"

#include <QDebug>

#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

std::atomic<int> s_runningParserThreads{0};

void sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

StreamParser::StreamParser(Settings settings)
    : m_settings(std::move(settings))
{
}

StreamParser::~StreamParser()
{
    // Last resort: the derived transport has stopped the thread already, but a
    // joinable std::thread must not be destroyed.
    stopParserThread();
}

void StreamParser::appendBuffData(QByteArray data)
{
    int dropped = 0;
    {
        std::lock_guard<std::mutex> locker(m_buffMutex);
        const int buffered = m_buffData.size() - m_buffHead;
        dropped = qMax(0, buffered + data.size() - kMaxBuffered);
        // The oldest go first, from the buffer and then from the front of data.
        const int fromBuffer = qMin(dropped, buffered);
        consumeLocked(fromBuffer);
        const int fromData = dropped - fromBuffer;
        m_buffData.append(data.constData() + fromData, data.size() - fromData);
    }
    if (dropped > 0)
        qDebug().noquote() << m_settings.debugPrefix + QStringLiteral("::appendBuffData buffer full, dropped")
                           << dropped << "oldest bytes";
}

QByteArray StreamParser::copyLocked(int offset, int n) const
{
    // Never a shared view of the buffer (as mid() gives for the whole of it): the
    // storage would then be freed by whichever thread lets go last, the reader's
    // or the parser's, and that hand-over is counted inside Qt, out of the
    // sanitizers' sight.
    const int available = m_buffData.size() - m_buffHead - offset;
    return QByteArray(m_buffData.constData() + m_buffHead + offset, qBound(0, n, qMax(0, available)));
}

QByteArray StreamParser::getBuffData(unsigned short n)
{
    std::lock_guard<std::mutex> locker(m_buffMutex);
    return copyLocked(0, n);
}

QByteArray StreamParser::takeBuffData(unsigned short n)
{
    std::lock_guard<std::mutex> locker(m_buffMutex);
    const QByteArray taken = copyLocked(0, n);
    consumeLocked(taken.size());
    return taken;
}

void StreamParser::clearBuffData()
{
    std::lock_guard<std::mutex> locker(m_buffMutex);
    consumeLocked(m_buffData.size() - m_buffHead);
}

int StreamParser::buffSize()
{
    std::lock_guard<std::mutex> locker(m_buffMutex);
    return m_buffData.size() - m_buffHead;
}

void StreamParser::consumeLocked(int n)
{
    m_buffHead += n;
    m_buffPos += quint64(n);
    if (m_buffHead >= m_buffData.size()) {
        m_buffData.clear();
        m_buffHead = 0;
    } else if (m_buffHead >= kPeekSize && m_buffHead >= m_buffData.size() - m_buffHead) {
        m_buffData.remove(0, m_buffHead);
        m_buffHead = 0;
    }
}

quint64 StreamParser::headPosition()
{
    std::lock_guard<std::mutex> locker(m_buffMutex);
    return m_buffPos;
}

QByteArray StreamParser::peekAt(quint64 pos, int n, bool *gone)
{
    std::lock_guard<std::mutex> locker(m_buffMutex);
    *gone = pos < m_buffPos;
    if (*gone)
        return QByteArray();
    const quint64 offset = pos - m_buffPos;
    const int available = m_buffData.size() - m_buffHead;
    if (offset >= quint64(available))
        return QByteArray();
    return copyLocked(int(offset), n);
}

void StreamParser::consumeTo(quint64 pos)
{
    std::lock_guard<std::mutex> locker(m_buffMutex);
    if (pos <= m_buffPos)
        return;
    consumeLocked(int(qMin<quint64>(pos - m_buffPos, quint64(m_buffData.size() - m_buffHead))));
}

QByteArray StreamParser::skipToReplyStart(quint64 *pos)
{
    constexpr int kFrame = FrameCodec::kTextFrameSize;
    std::lock_guard<std::mutex> locker(m_buffMutex);
    const int n = m_buffData.size() - m_buffHead;
    if (n < kFrame)
        return QByteArray();
    const char *data = m_buffData.constData() + m_buffHead;
    // The same bytes go as by one resynchronisation step after another; a "[" whose
    // following bytes have not arrived yet is kept.
    int i = 0;
    for (;;) {
        const void *hit = std::memchr(data + i, '[', size_t(n - i));
        if (!hit) {
            i = n;
            break;
        }
        i = int(static_cast<const char *>(hit) - data);
        if (i + 1 >= n)
            break;
        if (data[i + 1] == 'R' && (i + kFrame - 1 >= n || data[i + kFrame - 1] == ']'))
            break;
        ++i;
    }
    consumeLocked(i);
    *pos = m_buffPos;
    if (n - i < kFrame)
        return QByteArray();
    return copyLocked(0, kPeekSize);
}

bool StreamParser::isFindStdCmdPreFlag(QByteArray snapshot)
{
    const int p = snapshot.indexOf('[');
    if (p < 0) {
        takeBuffData(static_cast<unsigned short>(snapshot.size()));
        return false;
    }
    takeBuffData(static_cast<unsigned short>(p));
    const QByteArray head = getBuffData(kPeekSize);
    if (head.size() < 2)
        return false;
    if (head.at(1) == 'R')
        return true;
    takeBuffData(1);
    return false;
}

bool StreamParser::checkCMD(QByteArray frame)
{
    return checkFrameAt(frame, headPosition());
}

bool StreamParser::checkFrameAt(const QByteArray &frame, quint64 pos)
{
    if (frame.size() < FrameCodec::kTextFrameSize)
        return false;
    const QByteArray text = frame.left(FrameCodec::kTextFrameSize);
    ProtocolData reply;
    if (!getArrayData(text, &reply)) {
        // Search again just behind this "[".
        consumeTo(pos + 1);
        return false;
    }
    consumeTo(pos + FrameCodec::kTextFrameSize);
    const QString line = QStringLiteral("Recv data:") + QString::fromLatin1(text);

    if (m_settings.awaitBlocks && FrameCodec::isBlockAnnouncing(reply)) {
        const bool ok = checkBlockAt(reply, FrameCodec::combineTwoByte(reply.byParam2, reply.byParam3),
                                     pos + FrameCodec::kTextFrameSize);
        if (ok)
            qDebug().noquote() << line;
        else
            qDebug().noquote() << line << "CheckBlock default:";
        return ok;
    }

    qDebug().noquote() << line;
    if (m_settings.fillReply)
        m_settings.fillReply(reply);
    queueDetached(reply);
    return true;
}

bool StreamParser::getArrayData(QByteArray frame, ProtocolData *out)
{
    if (FrameCodec::decodeStandardFrame(frame, out))
        return true;
    qDebug().noquote() << m_settings.debugPrefix + QStringLiteral("::getArrayData   dataStr==")
                              + QString::fromLatin1(frame.mid(2, 16));
    return false;
}

bool StreamParser::checkBlock(ProtocolData reply, unsigned short length)
{
    return checkBlockAt(reply, length, headPosition());
}

bool StreamParser::checkBlockAt(ProtocolData reply, unsigned short length, quint64 pos)
{
    if (length == 0) {
        fillBlockReply(reply);
        reply.baData = QByteArray();
        addToReceivedQueue(reply);
        return true;
    }

    // A command went out after the reply frame had come and before all its block had.
    auto askedAgain = [this, pos, length]() {
        const qint64 sentAt = m_sentAtPos.load();
        return sentAt >= 0 && quint64(sentAt) >= pos && quint64(sentAt) < pos + length;
    };
    QByteArray block;
    for (int attempt = 0; attempt < m_settings.blockTries && !m_stopRequested && !askedAgain(); ++attempt) {
        bool gone = false;
        block = peekAt(pos, length, &gone);
        // Dropped from a full buffer while we waited: it can never complete.
        if (gone || block.size() == length)
            break;
        sleepMs(m_settings.blockIntervalMs);
    }
    if (block.size() != length || askedAgain())
        return false;

    consumeTo(pos + length);
    if (!FrameCodec::blockChecksumHolds(block))
        return false;

    fillBlockReply(reply);
    reply.baData = block;
    addToReceivedQueue(reply);
    return true;
}

void StreamParser::commandSent()
{
    std::lock_guard<std::mutex> locker(m_buffMutex);
    m_sentAtPos = qint64(m_buffPos) + (m_buffData.size() - m_buffHead);
}

void StreamParser::addToReceivedQueue(ProtocolData reply)
{
    ReplyHandOff::queue(reply);
}

void StreamParser::fillBlockReply(ProtocolData &reply) const
{
    if (m_settings.fillBlockReply)
        m_settings.fillBlockReply(reply);
    else if (m_settings.fillReply)
        m_settings.fillReply(reply);
}

int StreamParser::pendingQueueThreads()
{
    return ReplyHandOff::pendingThreads();
}

int StreamParser::runningParserThreads()
{
    return s_runningParserThreads.load();
}

void StreamParser::queueDetached(const ProtocolData &reply)
{
    ReplyHandOff::queueDetached(reply);
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
    try {
        m_thread = std::thread([this]() {
            ThreadDealDataFunc();
            s_runningParserThreads.fetch_sub(1);
        });
    } catch (const std::system_error &) {
        s_runningParserThreads.fetch_sub(1);
        if (m_settings.exitFlag)
            m_settings.exitFlag->store(true);
        return false;
    }
    return true;
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
    m_thread.join();
    m_stopRequested = false;
}

void StreamParser::ThreadDealDataFunc()
{
    std::atomic<bool> *const exitFlag = m_settings.exitFlag;
    if (exitFlag)
        exitFlag->store(false);
    while (keepRunning()) {
        sleepMs(m_settings.passSleepMs);
        dealOnePass();
    }
    if (exitFlag)
        exitFlag->store(true);
}

void StreamParser::dealOnePass()
{
    while (!m_stopRequested && dealOneStep()) {
    }
}

bool StreamParser::dealOneStep()
{
    quint64 pos = 0;
    const QByteArray snapshot = skipToReplyStart(&pos);
    if (snapshot.size() < FrameCodec::kTextFrameSize)
        return false;
    // The snapshot opens with "[R" and has "]" at offset 18: checkFrameAt consumes
    // the frame, or its "[" when the checksum fails.
    checkFrameAt(snapshot, pos);
    return true;
}
