#ifndef SOAKLEDGER_H
#define SOAKLEDGER_H

#include "protocoldata.h"
#include "simdevice.h"

#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

// How each command of a run ended, worked out from two records: what the host was
// told (releases, resends, give-ups, the replies the receive worker accepted or
// dropped) and what the device took and answered. Commands are numbered in the
// order they were queued; the token a command carries is its number plus one.
//
// The dispatcher matches nothing: any reply it queues, and on UDP any datagram
// that is no reply, lets the next command go. The ledger matches each reply to its
// command by the echoed token and the serial number, and checks that its content is
// what the device answered to that command.
//
// Every intake may come from any thread.
class SoakLedger
{
public:
    using Clock = std::chrono::steady_clock;

    enum class Outcome {
        Answered,                // a reply with its token, serial number and content reached the host
        DroppedByRules,          // its reply reached the receive worker, which refused it
        GivenUp,                 // not answered after one resend
        ReleasedByUnusableReply, // UDP: a datagram of its answer that is no reply let the next command go
        ReleasedByAnotherReply,  // a surplus reply of another command let the next one go first
        Lost,                    // none of these: a fault
        NotReleased,             // still queued when the run ended: a fault
    };

    // What one answer of the device does on the medium, given its fault and reply.
    struct Effect
    {
        // A reply reaches the receive worker (which accepts or refuses it).
        bool reply = false;
        // Datagrams of the answer that are no reply (UDP); each may let a command go.
        int unusable = 0;
    };

    struct Counts
    {
        int commands = 0;
        int answered = 0;
        int droppedByRules = 0;
        int givenUp = 0;
        int releasedByUnusableReply = 0;
        int releasedByAnotherReply = 0;
        int lost = 0;
        int notReleased = 0;

        // What the design allows, on lines of their own.
        int resent = 0;              // commands sent twice
        int answeredTwice = 0;       // a late reply to the first send and one to the resend
        int answeredAfterGiveUp = 0; // counted among the answered
        int surplusReplies = 0;      // replies and unusable datagrams beyond one per command

        // Faults.
        int wrongContent = 0;           // accepted replies whose content is not what the device answered to their command
        int unmatchedReplies = 0;       // replies that belong to no command
        int sentTooOften = 0;           // the device took a command more often than it was sent
        int wrongSerialAtDevice = 0;    // the device took a command with another serial number
        int givenUpWithoutOneResend = 0;
        int releasesUnexplained = 0;    // releases more than the replies, give-ups and unusable datagrams

        // Round trip, release to the first accepted reply.
        double rttMedianMs = 0;
        double rttP99Ms = 0;

        int outcomes() const
        {
            return answered + droppedByRules + givenUp + releasedByUnusableReply + releasedByAnotherReply + lost
                + notReleased;
        }
        int faults() const
        {
            return lost + notReleased + wrongContent + unmatchedReplies + sentTooOften + wrongSerialAtDevice
                + givenUpWithoutOneResend + releasesUnexplained;
        }
    };

    // profile: the device's medium; blocksReachHost: false where the transport never
    // hands a reply's block on (USB); effect: what an answer does on the medium.
    SoakLedger(int commands, SimProfile profile, bool blocksReachHost,
               std::function<Effect(const SimDevice::Exchange &)> effect);

    static quint16 tokenFor(int index) { return quint16(index + 1); }

    // The host's record, as the dispatcher reports it.
    // A command as the send worker released it, serial number stamped.
    void released(const ProtocolData &command, Clock::time_point at);
    void resent(Clock::time_point at);
    void gaveUp(Clock::time_point at);
    void accepted(const ProtocolData &reply, Clock::time_point at);
    void dropped(const ProtocolData &reply, Clock::time_point at);
    // The host's record of a disturbance of the medium, from its start to the time the
    // medium is back.
    void disturbed(Clock::time_point from, Clock::time_point to);

    // The device's record; exchanges in the order the device took them.
    void deviceTook(const QList<SimDevice::Exchange> &exchanges);

    int releasedCount() const;
    // The latest release, resend, give-up or reply; before any, the ledger's making.
    Clock::time_point lastActivity() const;
    // A command as the host queues it: number index, its token in place.
    static void stampToken(ProtocolData *command, int index);

    // Works out every outcome; detail gets one line per command that ended in a fault
    // or in one of the lines the design allows, to trace it (at most maxDetail).
    Counts finish(QStringList *detail = nullptr, int maxDetail = 50) const;
    Outcome outcome(int index) const;
    // One line on what happened to a command.
    QString trace(int index) const;

private:
    // A reply in a few bytes: its header and a digest of its block.
    struct Digest
    {
        quint8 sn = 0, cmd = 0, sub = 0, p1 = 0, p2 = 0, p3 = 0;
        uint blockHash = 0;
        int blockSize = 0;
        bool operator==(const Digest &o) const
        {
            return sn == o.sn && cmd == o.cmd && sub == o.sub && p1 == o.p1 && p2 == o.p2 && p3 == o.p3
                && blockHash == o.blockHash && blockSize == o.blockSize;
        }
    };

    struct Command
    {
        bool released = false;
        quint8 sn = 0;
        quint8 cmd = 0, sub = 0;
        Clock::time_point releasedAt;
        Clock::time_point firstAnswerAt;
        Clock::time_point lastAnswerAt;
        Clock::time_point givenUpAt;
        int resends = 0;
        bool givenUp = false;
        QVarLengthArray<Digest, 2> accepted;
        int acceptedCount = 0;
        int acceptedAfterGiveUp = 0;
        int dropped = 0;
        // The device's side.
        int taken = 0;
        bool wrongSerial = false;
        QVarLengthArray<Digest, 2> answers;
        int replyAnswers = 0;
        Clock::time_point lastReplyAnswerAt;
        int unusableAnswers = 0;
        int unusableUnits = 0;
        // The device's answers, in order (at most the first four): fault and time.
        QVarLengthArray<std::pair<SimFault, Clock::time_point>, 4> taken4;
    };

    static Digest digest(const ProtocolData &reply);
    static Digest digest(const SimFrame &reply);
    // The command a reply belongs to, or -1: by its token where it carries one, else by
    // its serial number among the commands released last; locked.
    int ownerLocked(const ProtocolData &reply) const;
    Outcome outcomeLocked(int index) const;
    QString traceLocked(int index) const;

    const SimProfile m_profile;
    const bool m_blocksReachHost;
    const std::function<Effect(const SimDevice::Exchange &)> m_effect;
    mutable std::mutex m_mutex;
    std::vector<Command> m_commands;
    // The command each serial number was last stamped on.
    int m_indexOfSn[256];
    int m_inFlight = -1;
    int m_released = 0;
    int m_unmatched = 0;
    int m_unknownAtDevice = 0;
    Clock::time_point m_lastActivity;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> m_disturbances;
};

#endif // SOAKLEDGER_H
