#include "soakledger.h"

#include "hexnumber.h"
#include "percentile.h"
#include "simfaultnames.h"
#include "simrecord.h"

#include <QHash>

#include <algorithm>
#include <utility>

namespace {

constexpr std::chrono::seconds kAnswerWaitsAtMost{1};

QString faultName(SimFault f)
{
    for (int i = 0; i < SimFaultNames::kCount; ++i) {
        if (SimFaultNames::kEntries[i].fault == f)
            return QLatin1String(SimFaultNames::kEntries[i].name);
    }
    return QStringLiteral("answered");
}

const char *outcomeName(SoakLedger::Outcome o)
{
    switch (o) {
    case SoakLedger::Outcome::Answered:
        return "answered";
    case SoakLedger::Outcome::DroppedByRules:
        return "dropped by the rules";
    case SoakLedger::Outcome::GivenUp:
        return "given up";
    case SoakLedger::Outcome::ReleasedByUnusableReply:
        return "released by an unusable reply";
    case SoakLedger::Outcome::ReleasedByAnotherReply:
        return "released by another command's reply";
    case SoakLedger::Outcome::Lost:
        return "LOST";
    case SoakLedger::Outcome::NotReleased:
        return "NOT RELEASED";
    }
    return "?";
}

} // namespace

SoakLedger::SoakLedger(int commands, SimProfile profile, bool blocksReachHost,
                       std::function<Effect(const SimDevice::Exchange &)> effect)
    : m_profile(std::move(profile))
    , m_blocksReachHost(blocksReachHost)
    , m_effect(std::move(effect))
    , m_commands(size_t(qMax(commands, 0)))
    , m_lastActivity(Clock::now())
{
    std::fill(std::begin(m_indexOfSn), std::end(m_indexOfSn), -1);
    m_disturbances.reserve(4);
}

SoakLedger::Digest SoakLedger::digest(const SimFrame &r)
{
    Digest d;
    d.sn = r.sn;
    d.cmd = r.cmd;
    d.sub = r.sub;
    d.p1 = r.p1;
    d.p2 = r.p2;
    d.p3 = r.p3;
    d.blockHash = qHash(r.block);
    d.blockSize = r.block.size();
    return d;
}

SoakLedger::Digest SoakLedger::digest(const ProtocolData &reply)
{
    return digest(SimRecord::frameOf(reply));
}

void SoakLedger::stampToken(ProtocolData *command, int index)
{
    const quint16 token = tokenFor(index);
    if (command->baData.size() >= 2) {
        command->baData[0] = char(token & 0xFF);
        command->baData[1] = char(token >> 8);
    } else {
        command->byParam2 = quint8(token & 0xFF);
        command->byParam3 = quint8(token >> 8);
    }
}

void SoakLedger::released(const ProtocolData &command, Clock::time_point at)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastActivity = at;
    const int index = int(SimDevice::tokenOf(SimRecord::frameOf(command))) - 1;
    if (index < 0 || index >= int(m_commands.size())) {
        ++m_unknownAtDevice;
        return;
    }
    Command &c = m_commands[size_t(index)];
    c.released = true;
    c.sn = command.bySN;
    c.cmd = command.byCmd;
    c.sub = command.bySubCmd;
    c.releasedAt = at;
    m_indexOfSn[command.bySN] = index;
    m_inFlight = index;
    ++m_released;
}

void SoakLedger::resent(Clock::time_point at)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastActivity = at;
    if (m_inFlight >= 0)
        ++m_commands[size_t(m_inFlight)].resends;
}

void SoakLedger::gaveUp(Clock::time_point at)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastActivity = at;
    if (m_inFlight < 0)
        return;
    Command &c = m_commands[size_t(m_inFlight)];
    c.givenUp = true;
    c.givenUpAt = at;
}

int SoakLedger::ownerLocked(const ProtocolData &reply) const
{
    quint16 token = 0;
    if (SimDevice::echoedToken(SimRecord::frameOf(reply), m_profile, &token) && token != 0) {
        const int index = int(token) - 1;
        if (index < int(m_commands.size()) && m_commands[size_t(index)].released)
            return index;
        return -1;
    }
    // No token reached the host (a block the medium does not hand on): the command
    // released last with this serial number, if it is of the same kind.
    const int index = m_indexOfSn[reply.bySN];
    if (index < 0)
        return -1;
    const Command &c = m_commands[size_t(index)];
    return c.cmd == reply.byCmd && c.sub == reply.bySubCmd ? index : -1;
}

void SoakLedger::accepted(const ProtocolData &reply, Clock::time_point at)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastActivity = at;
    const int index = ownerLocked(reply);
    if (index < 0) {
        ++m_unmatched;
        return;
    }
    Command &c = m_commands[size_t(index)];
    if (c.acceptedCount == 0)
        c.firstAnswerAt = at;
    c.lastAnswerAt = at;
    if (c.givenUp)
        ++c.acceptedAfterGiveUp;
    ++c.acceptedCount;
    if (c.accepted.size() < 2)
        c.accepted.append(digest(reply));
}

void SoakLedger::dropped(const ProtocolData &reply, Clock::time_point at)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastActivity = at;
    const int index = ownerLocked(reply);
    if (index < 0) {
        ++m_unmatched;
        return;
    }
    ++m_commands[size_t(index)].dropped;
}

void SoakLedger::disturbed(Clock::time_point from, Clock::time_point to)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_disturbances.emplace_back(from, to);
}

void SoakLedger::deviceTook(const QList<SimDevice::Exchange> &exchanges)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const SimDevice::Exchange &e : exchanges) {
        const int index = int(SimDevice::tokenOf(e.command)) - 1;
        if (index < 0 || index >= int(m_commands.size())) {
            ++m_unknownAtDevice;
            continue;
        }
        Command &c = m_commands[size_t(index)];
        ++c.taken;
        if (!c.released || e.command.sn != c.sn || e.command.cmd != c.cmd || e.command.sub != c.sub)
            c.wrongSerial = true;
        if (c.taken4.size() < 4)
            c.taken4.append({e.fault, e.at});
        const Effect effect = m_effect(e);
        if (effect.reply) {
            ++c.replyAnswers;
            c.lastReplyAnswerAt = e.at;
            if (c.answers.size() < 2)
                c.answers.append(digest(e.reply));
        } else if (effect.unusable > 0) {
            ++c.unusableAnswers;
        }
        c.unusableUnits += effect.unusable;
    }
}

int SoakLedger::releasedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_released;
}

SoakLedger::Clock::time_point SoakLedger::lastActivity() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastActivity;
}

SoakLedger::Outcome SoakLedger::outcomeLocked(int index) const
{
    const Command &c = m_commands[size_t(index)];
    if (!c.released)
        return Outcome::NotReleased;
    if (c.acceptedCount > 0)
        return Outcome::Answered;
    if (c.givenUp)
        return Outcome::GivenUp;
    if (c.dropped > 0)
        return Outcome::DroppedByRules;
    if (c.unusableAnswers > 0)
        return Outcome::ReleasedByUnusableReply;
    if (c.replyAnswers > 0) {
        // A reply the device wrote did not come: only a disturbance of the medium may
        // have swallowed it, on the way or waiting to be read when it began. (Answers
        // wait behind the delays of those before them, well under a second.)
        bool swallowed = false;
        for (const auto &d : m_disturbances) {
            swallowed = swallowed
                || (c.lastReplyAnswerAt <= d.second && c.lastReplyAnswerAt + kAnswerWaitsAtMost >= d.first);
        }
        if (!swallowed)
            return Outcome::Lost;
    }
    return Outcome::ReleasedByAnotherReply;
}

SoakLedger::Outcome SoakLedger::outcome(int index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return outcomeLocked(index);
}

QString SoakLedger::trace(int index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return index >= 0 && index < int(m_commands.size()) ? traceLocked(index) : QString();
}

QString SoakLedger::traceLocked(int index) const
{
    const Command &c = m_commands[size_t(index)];
    // Times in milliseconds from the release.
    auto since = [&c](Clock::time_point t) {
        return QString::number(std::chrono::duration<double, std::milli>(t - c.releasedAt).count(), 'f', 0);
    };
    QStringList taken;
    for (const auto &t : c.taken4)
        taken << QStringLiteral("%1 at %2").arg(faultName(t.first), since(t.second));
    QStringList host;
    host << QStringLiteral("sent %1").arg(c.released ? 1 + c.resends : 0);
    if (c.acceptedCount > 0)
        host << QStringLiteral("accepted %1 (first at %2, last at %3)")
                    .arg(c.acceptedCount)
                    .arg(since(c.firstAnswerAt), since(c.lastAnswerAt));
    if (c.dropped > 0)
        host << QStringLiteral("refused %1").arg(c.dropped);
    if (c.givenUp)
        host << QStringLiteral("given up at %1").arg(since(c.givenUpAt));
    QString line = QStringLiteral("command %1 (%2/%3, sn %4): %5; host: %6; device: %7")
                       .arg(index)
                       .arg(HexNumber::byteText(c.cmd), HexNumber::byteText(c.sub))
                       .arg(c.sn)
                       .arg(QLatin1String(outcomeName(outcomeLocked(index))), host.join(QLatin1String(", ")),
                            taken.isEmpty() ? QStringLiteral("took nothing") : taken.join(QLatin1String(", ")));
    if (c.replyAnswers > 0 && c.acceptedCount == 0 && c.dropped == 0 && !c.givenUp)
        line += QStringLiteral("; its reply went with the disturbance");
    return line;
}

SoakLedger::Counts SoakLedger::finish(QStringList *detail, int maxDetail) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Counts n;
    n.commands = int(m_commands.size());
    n.unmatchedReplies = m_unmatched;
    n.wrongSerialAtDevice = m_unknownAtDevice;
    std::vector<double> rtt;
    rtt.reserve(m_commands.size());
    auto note = [&](int index, const QString &why) {
        if (detail && detail->size() < maxDetail)
            detail->append(why + QStringLiteral(": ") + traceLocked(index));
    };

    for (int i = 0; i < int(m_commands.size()); ++i) {
        const Command &c = m_commands[size_t(i)];
        const Outcome o = outcomeLocked(i);
        switch (o) {
        case Outcome::Answered:
            ++n.answered;
            rtt.push_back(std::chrono::duration<double, std::milli>(c.firstAnswerAt - c.releasedAt).count());
            break;
        case Outcome::DroppedByRules:
            ++n.droppedByRules;
            break;
        case Outcome::GivenUp:
            ++n.givenUp;
            break;
        case Outcome::ReleasedByUnusableReply:
            ++n.releasedByUnusableReply;
            break;
        case Outcome::ReleasedByAnotherReply:
            ++n.releasedByAnotherReply;
            note(i, QStringLiteral("released early"));
            break;
        case Outcome::Lost:
            ++n.lost;
            note(i, QStringLiteral("FAULT lost"));
            break;
        case Outcome::NotReleased:
            ++n.notReleased;
            note(i, QStringLiteral("FAULT still queued"));
            break;
        }

        n.resent += c.resends > 0 ? 1 : 0;
        if (c.acceptedCount > 1) {
            ++n.answeredTwice;
            note(i, QStringLiteral("answered twice"));
        }
        if (c.acceptedAfterGiveUp > 0) {
            ++n.answeredAfterGiveUp;
            note(i, QStringLiteral("answered after the give-up"));
        }
        if (c.givenUp && c.resends != 1) {
            ++n.givenUpWithoutOneResend;
            note(i, QStringLiteral("FAULT given up without exactly one resend"));
        }
        if (c.resends > 1 || (c.released && c.taken > 1 + c.resends)) {
            ++n.sentTooOften;
            note(i, QStringLiteral("FAULT sent too often"));
        }
        if (c.wrongSerial) {
            ++n.wrongSerialAtDevice;
            note(i, QStringLiteral("FAULT device took it with another serial number"));
        }
        for (const Digest &got : c.accepted) {
            bool belongs = false;
            for (const Digest &sent : c.answers) {
                Digest expected = sent;
                if (!m_blocksReachHost) {
                    expected.blockHash = got.blockHash;
                    expected.blockSize = got.blockSize;
                }
                belongs = belongs || got == expected;
            }
            if (!belongs) {
                ++n.wrongContent;
                note(i, QStringLiteral("FAULT reply content is not what the device answered"));
            }
        }
        // Each command needs one reply, give-up or unusable datagram to let the next
        // go; whatever it got beyond that may let a later command go early.
        const int setters = c.acceptedCount + c.dropped + (c.givenUp ? 1 : 0) + c.unusableUnits;
        n.surplusReplies += qMax(0, setters - 1);
    }
    n.surplusReplies += m_unmatched;
    if (n.releasedByAnotherReply > n.surplusReplies)
        n.releasesUnexplained = n.releasedByAnotherReply - n.surplusReplies;

    // 0, as the table shows it, without a round trip.
    n.rttMedianMs = rtt.empty() ? 0 : Percentile::of(rtt, 0.5);
    n.rttP99Ms = rtt.empty() ? 0 : Percentile::of(rtt, 0.99);
    return n;
}
