#include "simdevice.h"

#include "hexnumber.h"

#include <utility>

namespace {

constexpr int kFrameSize = 19;

// The shape of a reply where the zero reply (p1 = p2 = p3 = 0, no block) would be
// refused or would say too little: p2 for the commands that bound it, the length
// of the block for the replies that carry one on some medium. The first row that
// matches counts; every other command is answered with the zero reply.
struct ReplyShape
{
    quint8 cmd;
    quint8 subFirst;
    quint8 subLast;
    quint8 p2;
    quint16 blockLength;
    // The block is as long as the command asks (its p2/p3); blockLength when it asks nothing.
    bool lengthAsAsked;
};

constexpr ReplyShape kReplyShapes[] = {
    {0x71, 0x00, 0x01, 1, 0, false},
    {0x71, 0x03, 0x03, 1, 0, false},
    {0x69, 0x09, 0x09, 0, 129, false},
    {0x77, 0x23, 0x23, 0, 129, false},
    {0x79, 0x00, 0xFF, 0, 16, false},
    {0x8B, 0x05, 0x05, 0, 145, false},
    {0x8B, 0x09, 0x09, 0, 129, false},
    {0x8E, 0x27, 0x27, 0, 5, false},
    {0xE1, 0x00, 0x00, 0, 22, false},
    {0xE1, 0x03, 0x03, 0, 65, false},
    {0xE1, 0x04, 0x04, 0, 33, false},
    {0xE1, 0x05, 0x05, 0, 257, false},
    {0xE1, 0x06, 0x06, 0, 22, false},
    {0xE1, 0x07, 0x07, 0, 11, false},
    {0xE1, 0x08, 0x08, 0, 1362, false},
    {0xE1, 0x09, 0x0A, 0, 29, false},
    {0xE1, 0x0B, 0x0B, 0, 11, false},
    {0xE1, 0x0D, 0x0D, 0, 33, false},
    {0xE1, 0x0E, 0x0E, 0, 10, false},
    {0xE1, 0x0F, 0x0F, 0, 28, false},
    {0xE1, 0x11, 0x12, 0, 17, false},
    {0xE1, 0x14, 0x14, 0, 33, false},
    {0xE1, 0x16, 0x16, 0, 257, false},
    {0xE1, 0x17, 0x17, 0, 65, false},
    {0xE1, 0x18, 0x18, 0, 28, false},
    {0xE1, 0x19, 0x19, 0, 8, false},
    {0xE1, 0x1A, 0x1A, 0, 65, false},
    // 0xF1 reads as many bytes as asked; 0x40 asking nothing is answered at once.
    {0xF1, 0x40, 0x40, 0, 0, true},
    {0xF1, 0x00, 0xFF, 0, 32, true},
};

// A first parameter the plausibility check refuses for a reply with this command
// code: 0x76 is refused only from 32 to 35; every other code that is checked
// allows at most 63, some 255 as well.
quint8 refusedParam1(quint8 cmd)
{
    return cmd == 0x76 ? 0x21 : 0xFE;
}

const ReplyShape *shapeFor(const SimFrame &command)
{
    for (const ReplyShape &shape : kReplyShapes) {
        if (shape.cmd == command.cmd && command.sub >= shape.subFirst && command.sub <= shape.subLast)
            return &shape;
    }
    return nullptr;
}

// Whether p2 and p3 of the reply mean nothing of their own, so that they may carry
// the token: no row, or a row that neither bounds p2 nor makes them a length.
bool paramsAreFree(const ReplyShape *shape)
{
    return !shape || (shape->p2 == 0 && shape->blockLength == 0 && !shape->lengthAsAsked);
}

QByteArray encodeFrame(char direction, const SimFrame &f, quint8 checksum, bool upperCase)
{
    const char *digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    const quint8 bytes[8] = {f.head, f.sn, f.cmd, f.sub, f.p1, f.p2, f.p3, checksum};
    QByteArray out;
    out.reserve(kFrameSize);
    out.append('[');
    out.append(direction);
    for (quint8 b : bytes) {
        out.append(digits[b >> 4]);
        out.append(digits[b & 0x0F]);
    }
    out.append(']');
    return out;
}

} // namespace

QSet<quint8> SimDevice::defaultBlockCommands()
{
    return {0xE0};
}

SimDevice::SimDevice(SimProfile profile)
    : m_profile(std::move(profile))
    , m_blockCommands(defaultBlockCommands())
{
}

const SimProfile &SimDevice::profile() const
{
    return m_profile;
}

QList<SimWrite> SimDevice::feed(const QByteArray &fromHost)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_buffer.append(m_profile.commandBytes(fromHost));
    QList<SimWrite> writes;
    SimFrame command;
    while (cutCommand(&command)) {
        Exchange e;
        e.command = command;
        e.command.block = QByteArray(command.block.constData(), command.block.size());
        e.fault = m_answersLeft == 0 ? SimFault::Silent : takeFault(command.cmd);
        if (m_answersLeft > 0)
            --m_answersLeft;
        e.at = std::chrono::steady_clock::now();
        const QList<SimWrite> answered = answer(command, e.fault, &e.reply);
        e.units = answered.size();
        writes += answered;
        m_received.push_back(std::move(e));
        if (m_received.size() > size_t(kMaxRecorded))
            m_received.pop_front();
    }
    return writes;
}

bool SimDevice::cutCommand(SimFrame *command)
{
    for (;;) {
        if (m_awaitingBlock) {
            const auto waited = std::chrono::steady_clock::now() - m_pendingSince;
            if (waited > std::chrono::milliseconds(kBlockWaitMs)) {
                // What came of the block is scanned as if it were noise.
                m_awaitingBlock = false;
                continue;
            }
            const int need = m_pending.length();
            if (m_buffer.size() < need)
                return false;
            m_pending.block = m_buffer.left(need);
            m_buffer.remove(0, need);
            m_awaitingBlock = false;
            *command = m_pending;
            return true;
        }

        const int start = m_buffer.indexOf('[');
        if (start < 0) {
            m_buffer.clear();
            return false;
        }
        m_buffer.remove(0, start);
        if (m_buffer.size() < 2)
            return false;
        if (m_buffer.at(1) != 'A') {
            m_buffer.remove(0, 1);
            continue;
        }
        if (m_buffer.size() < kFrameSize)
            return false;

        quint8 bytes[8];
        bool valid = m_buffer.at(kFrameSize - 1) == ']';
        for (int i = 0; valid && i < 8; ++i) {
            const int high = HexNumber::digitValue(m_buffer.at(2 + 2 * i));
            const int low = HexNumber::digitValue(m_buffer.at(3 + 2 * i));
            valid = high >= 0 && low >= 0;
            bytes[i] = quint8(high << 4 | low);
        }
        SimFrame frame;
        if (valid) {
            frame.head = bytes[0];
            frame.sn = bytes[1];
            frame.cmd = bytes[2];
            frame.sub = bytes[3];
            frame.p1 = bytes[4];
            frame.p2 = bytes[5];
            frame.p3 = bytes[6];
            valid = frame.checksum() == bytes[7];
        }
        if (!valid) {
            // Search again just behind this "[", as the host does with replies.
            m_buffer.remove(0, 1);
            continue;
        }
        m_buffer.remove(0, kFrameSize);

        if (m_blockCommands.contains(frame.cmd) && frame.length() > 0) {
            m_pending = frame;
            m_pendingSince = std::chrono::steady_clock::now();
            m_awaitingBlock = true;
            continue;
        }
        *command = frame;
        return true;
    }
}

SimFault SimDevice::takeFault(quint8 cmd)
{
    auto it = m_faults.find(cmd);
    if (it == m_faults.end()) {
        if (!m_rates.isEmpty()) {
            double draw = std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
            for (const FaultRate &r : m_rates) {
                if (draw < r.rate)
                    return r.fault;
                draw -= r.rate;
            }
        }
        return m_faultForAll;
    }
    const SimFault fault = it->fault;
    if (it->remaining > 0 && --it->remaining == 0)
        m_faults.erase(it);
    return fault;
}

QList<SimWrite> SimDevice::answer(const SimFrame &command, SimFault fault, SimFrame *answered) const
{
    if (fault == SimFault::Silent)
        return {};

    SimFrame reply = replyFor(command, m_profile);
    if (fault == SimFault::RefusedByRules)
        reply.p1 = refusedParam1(reply.cmd);
    SimAnswer a;
    a.fault = fault;
    a.commandFrame = encodeFrame('A', command, command.checksum(), false);
    if (fault == SimFault::WrongHeaderChecksum)
        a.replyFrame = encodeFrame('R', reply, quint8(reply.checksum() + 1), false);
    else
        a.replyFrame = replyFrame(reply, fault == SimFault::UpperCaseDigits);

    a.block = reply.block;
    if (!a.block.isEmpty()) {
        if (fault == SimFault::WrongBlockChecksum)
            a.block[a.block.size() - 1] = char(a.block.at(a.block.size() - 1) + 1);
        else if (fault == SimFault::ShortBlock)
            a.block.chop(1);
    }
    // The record goes to whoever takes it, on another thread, while the writes
    // still hold the answer's bytes: it gets storage of its own, so that neither
    // side frees what the other reads.
    *answered = reply;
    answered->block = QByteArray(a.block.constData(), a.block.size());

    QList<SimWrite> writes = m_profile.writeAnswer(a);
    if (fault == SimFault::Delayed && !writes.isEmpty())
        writes.first().delayMs += m_delayMs;
    return writes;
}

void SimDevice::setFault(quint8 cmd, SimFault fault, int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fault == SimFault::None || times == 0)
        m_faults.remove(cmd);
    else
        m_faults.insert(cmd, {fault, times < 0 ? -1 : times});
}

void SimDevice::setFaultForAll(SimFault fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faultForAll = fault;
}

void SimDevice::setFaultRates(const QList<FaultRate> &rates, quint32 seed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rates = rates;
    m_random.seed(seed);
}

void SimDevice::setDelayMs(int ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delayMs = qMax(0, ms);
}

void SimDevice::setAnswerLimit(qint64 commands)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answersLeft = commands;
}

void SimDevice::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
    m_faultForAll = SimFault::None;
    m_rates.clear();
}

void SimDevice::setBlockCommands(const QSet<quint8> &cmds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blockCommands = cmds;
}

QList<SimFrame> SimDevice::receivedCommands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<SimFrame> commands;
    commands.reserve(int(m_received.size()));
    for (const Exchange &e : m_received)
        commands.append(e.command);
    return commands;
}

void SimDevice::clearReceived()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.clear();
}

QList<SimFrame> SimDevice::takeReceived()
{
    QList<SimFrame> commands;
    for (const Exchange &e : takeExchanges())
        commands.append(e.command);
    return commands;
}

QList<SimDevice::Exchange> SimDevice::takeExchanges()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<Exchange> taken(m_received.begin(), m_received.end());
    m_received.clear();
    return taken;
}

quint16 SimDevice::tokenOf(const SimFrame &command)
{
    if (command.block.size() >= 2)
        return quint16(quint8(command.block.at(0)) | quint8(command.block.at(1)) << 8);
    return command.length();
}

QByteArray SimDevice::replyFrame(const SimFrame &f, bool upperCase)
{
    return encodeFrame('R', f, f.checksum(), upperCase);
}

QByteArray SimDevice::commandFrame(const SimFrame &f)
{
    return encodeFrame('A', f, f.checksum(), false) + f.block;
}

bool SimDevice::echoedToken(const SimFrame &reply, const SimProfile &profile, quint16 *token)
{
    if (profile.carriesBlock(reply)) {
        if (reply.block.size() < 3)
            return false;
        *token = quint16(quint8(reply.block.at(0)) | quint8(reply.block.at(1)) << 8);
        return true;
    }
    if (!paramsAreFree(shapeFor(reply)))
        return false;
    *token = reply.length();
    return true;
}

SimFrame SimDevice::replyFor(const SimFrame &command, const SimProfile &profile)
{
    SimFrame reply;
    reply.head = command.head;
    reply.sn = command.sn;
    reply.cmd = command.cmd;
    reply.sub = command.sub;
    const ReplyShape *shape = shapeFor(command);
    if (shape) {
        reply.p2 = shape->p2;
        quint16 length = shape->blockLength;
        if (shape->lengthAsAsked && command.length() > 0)
            length = command.length();
        if (length > 0) {
            reply.p2 = quint8(length & 0xFF);
            reply.p3 = quint8(length >> 8);
            // Where no block follows, announcing a length would be a lie.
            if (!profile.carriesBlock(reply))
                reply.p2 = reply.p3 = 0;
        }
    }

    const quint16 token = tokenOf(command);
    if (profile.carriesBlock(reply)) {
        QByteArray block = checkedBlock(reply.length(), quint8(command.sn ^ command.sub));
        const int n = block.size();
        if (n >= 3) {
            const quint8 sum = quint8(quint8(block.at(n - 1)) - quint8(block.at(0)) - quint8(block.at(1))
                                      + quint8(token & 0xFF) + quint8(token >> 8));
            block[0] = char(token & 0xFF);
            block[1] = char(token >> 8);
            block[n - 1] = char(sum);
        }
        reply.block = block;
    } else if (paramsAreFree(shape)) {
        reply.p2 = quint8(token & 0xFF);
        reply.p3 = quint8(token >> 8);
    }
    return reply;
}

QByteArray SimDevice::checkedBlock(int n, quint8 seed)
{
    QByteArray block;
    if (n <= 0)
        return block;
    block.reserve(n);
    quint8 sum = 0;
    for (int i = 0; i < n - 1; ++i) {
        const quint8 b = quint8(seed + 7 * i);
        block.append(char(b));
        sum = quint8(sum + b);
    }
    block.append(char(sum));
    return block;
}
