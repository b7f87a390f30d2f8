// The accounting of a run, on scripted records: what the dispatcher told the host
// and what the device took, and how each command ends.

#include "soakledger.h"
#include "simrecord.h"

#include <QtTest>

namespace {

using Clock = SoakLedger::Clock;

constexpr int kCommands = 3;

// The effect of an answer as on UDP: a wrong header checksum makes a datagram that
// is no reply.
SoakLedger::Effect udpLike(const SimDevice::Exchange &e)
{
    switch (e.fault) {
    case SimFault::Silent:
        return {false, 0};
    case SimFault::WrongHeaderChecksum:
        return {false, e.units};
    default:
        return {true, 0};
    }
}

// Plays a script of host and device events on a ledger of three commands, 10 ms
// apart. Each word is one event:
//   R<i>[e]   command i released (serial number i + 1; "e": an 0xE1/0x00 read)
//   S, G      the command in flight resent, given up
//   T<i>[:f]  the device took command i and answered with fault f (silent, refused,
//             badsum); T<i>@<sn> took it with serial number sn
//   A<i>      the host accepted the device's reply to i; X<i>: with a changed p1;
//             W<i>: with the token of i but the serial number of i + 1; U: a reply
//             whose token belongs to no command
//   D<i>[-]   the receive worker refused i's reply ("-": its block did not come, so
//             it carries no token)
//   Z         the medium disturbed for a moment
class Script
{
public:
    Script()
        : m_ledger(kCommands, SimProfile::serial(), true, udpLike)
    {
    }

    void play(const QStringList &words)
    {
        for (const QString &w : words) {
            m_now += std::chrono::milliseconds(10);
            const int i = w.size() > 1 && w.at(1).isDigit() ? w.mid(1, 1).toInt() : -1;
            switch (w.at(0).toLatin1()) {
            case 'R':
                m_kind[i] = w.endsWith(QLatin1Char('e')) ? 0xE1 : 0x42;
                m_ledger.released(command(i), m_now);
                break;
            case 'S':
                m_ledger.resent(m_now);
                break;
            case 'G':
                m_ledger.gaveUp(m_now);
                break;
            case 'T':
                m_ledger.deviceTook({exchange(i, w)});
                break;
            case 'A':
                m_ledger.accepted(reply(i), m_now);
                break;
            case 'X': {
                ProtocolData r = reply(i);
                r.byParam1 = 0x05;
                m_ledger.accepted(r, m_now);
                break;
            }
            case 'W': {
                ProtocolData r = reply(i);
                r.bySN = quint8(i + 2);
                m_ledger.accepted(r, m_now);
                break;
            }
            case 'U': {
                ProtocolData r = reply(0);
                r.byParam2 = 99;
                m_ledger.accepted(r, m_now);
                break;
            }
            case 'D': {
                ProtocolData r = reply(i);
                if (w.endsWith(QLatin1Char('-')))
                    r.baData.clear();
                m_ledger.dropped(r, m_now);
                break;
            }
            case 'Z':
                m_ledger.disturbed(m_now, m_now + std::chrono::milliseconds(5));
                break;
            default:
                QFAIL(qPrintable(QStringLiteral("no such event: ") + w));
            }
        }
    }

    SoakLedger &ledger() { return m_ledger; }

private:
    SimFrame frame(int i, quint8 sn) const
    {
        SimFrame f;
        f.head = 0x01;
        f.sn = sn;
        f.cmd = m_kind[i];
        f.p2 = quint8(SoakLedger::tokenFor(i) & 0xFF);
        f.p3 = quint8(SoakLedger::tokenFor(i) >> 8);
        return f;
    }

    ProtocolData command(int i) const
    {
        return SimRecord::recordOf(frame(i, quint8(i + 1)));
    }

    ProtocolData reply(int i) const
    {
        return SimRecord::recordOf(SimDevice::replyFor(frame(i, quint8(i + 1))));
    }

    SimDevice::Exchange exchange(int i, const QString &word) const
    {
        const int at = word.indexOf(QLatin1Char('@'));
        SimDevice::Exchange e;
        e.command = frame(i, at > 0 ? quint8(word.mid(at + 1).toInt()) : quint8(i + 1));
        e.reply = SimDevice::replyFor(e.command);
        e.units = 1;
        e.at = m_now;
        const QString fault = word.section(QLatin1Char(':'), 1);
        if (fault == QLatin1String("silent"))
            e.fault = SimFault::Silent;
        else if (fault == QLatin1String("badsum"))
            e.fault = SimFault::WrongHeaderChecksum;
        else if (fault == QLatin1String("refused"))
            e.fault = SimFault::RefusedByRules;
        return e;
    }

    SoakLedger m_ledger;
    Clock::time_point m_now = Clock::now();
    quint8 m_kind[kCommands] = {0x42, 0x42, 0x42};
};

QString outcomeText(SoakLedger::Outcome o)
{
    switch (o) {
    case SoakLedger::Outcome::Answered:
        return QStringLiteral("answered");
    case SoakLedger::Outcome::DroppedByRules:
        return QStringLiteral("dropped");
    case SoakLedger::Outcome::GivenUp:
        return QStringLiteral("given-up");
    case SoakLedger::Outcome::ReleasedByUnusableReply:
        return QStringLiteral("unusable");
    case SoakLedger::Outcome::ReleasedByAnotherReply:
        return QStringLiteral("early");
    case SoakLedger::Outcome::Lost:
        return QStringLiteral("LOST");
    case SoakLedger::Outcome::NotReleased:
        return QStringLiteral("queued");
    }
    return QString();
}

// The counts beyond the outcomes that are not zero, as name=value.
QString remarks(const SoakLedger::Counts &n)
{
    const QList<QPair<const char *, int>> all = {
        {"twice", n.answeredTwice},
        {"after-give-up", n.answeredAfterGiveUp},
        {"wrong-content", n.wrongContent},
        {"unmatched", n.unmatchedReplies},
        {"sent-too-often", n.sentTooOften},
        {"wrong-serial", n.wrongSerialAtDevice},
        {"give-up-without-resend", n.givenUpWithoutOneResend},
        {"unexplained", n.releasesUnexplained},
    };
    QStringList out;
    for (const auto &r : all) {
        if (r.second)
            out << QStringLiteral("%1=%2").arg(QLatin1String(r.first)).arg(r.second);
    }
    return out.join(QLatin1Char(' '));
}

} // namespace

class TestSoakLedger : public QObject
{
    Q_OBJECT

private slots:
    void accounts_data();
    void accounts();
    void roundTripFromReleaseToFirstReply();
    void quietCountsFromTheMaking();
};

void TestSoakLedger::accounts_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("outcomes"); // of commands 0, 1 and 2
    QTest::addColumn<QString>("remarks");

    QTest::newRow("all answered") << "R0 T0 A0 R1 T1 A1 R2 T2 A2" << "answered answered answered" << "";
    QTest::newRow("late reply meets the resend's")
        << "R0 T0 S T0 A0 A0 R1 T1 A1 R2 T2 A2" << "answered answered answered" << "twice=1";
    QTest::newRow("given up after one resend")
        << "R0 T0:silent S T0:silent G R1 T1 A1 R2 T2 A2" << "given-up answered answered" << "";
    QTest::newRow("answered after the give-up")
        << "R0 T0:silent S T0 G A0 R1 T1 A1 R2 T2 A2" << "answered answered answered" << "after-give-up=1";
    QTest::newRow("given up without its resend")
        << "R0 T0:silent G R1 T1 A1 R2 T2 A2" << "given-up answered answered" << "give-up-without-resend=1";
    QTest::newRow("refused by the rules") << "R0 T0:refused D0 R1 T1 A1 R2 T2 A2" << "dropped answered answered"
                                          << "";
    QTest::newRow("refused, found by serial number")
        << "R0e T0:refused D0- R1 T1 A1 R2 T2 A2" << "dropped answered answered" << "";
    QTest::newRow("released by a datagram that is no reply")
        << "R0 T0:badsum R1 T1 A1 R2 T2 A2" << "unusable answered answered" << "";
    // The second reply to 0 lets 2 go before 1 has its answer, which never comes.
    QTest::newRow("released by another command's surplus reply")
        << "R0 T0 S T0 A0 R1 T1:silent A0 R2 T2 A2" << "answered early answered" << "twice=1";
    QTest::newRow("released early with no surplus to explain it")
        << "R0 T0 A0 R1 T1:silent R2 T2 A2" << "answered early answered" << "unexplained=1";
    QTest::newRow("reply written, never came") << "R0 T0 R1 T1 A1 R2 T2 A2" << "LOST answered answered" << "";
    QTest::newRow("reply swallowed by a disturbance")
        << "R0 T0 Z R1 T1 A1 R2 T2 A2" << "early answered answered" << "unexplained=1";
    QTest::newRow("still queued") << "R0 T0 A0" << "answered queued queued" << "";
    QTest::newRow("reply content changed") << "R0 T0 X0 R1 T1 A1 R2 T2 A2" << "answered answered answered"
                                           << "wrong-content=1";
    QTest::newRow("token of one, serial number of another")
        << "R0 T0 W0 R1 T1 A1 R2 T2 A2" << "answered answered answered" << "wrong-content=1";
    QTest::newRow("reply of no command") << "R0 T0 A0 U R1 T1 A1 R2 T2 A2" << "answered answered answered"
                                         << "unmatched=1";
    QTest::newRow("taken twice, sent once") << "R0 T0 T0 A0 R1 T1 A1 R2 T2 A2" << "answered answered answered"
                                            << "sent-too-often=1";
    QTest::newRow("taken with another serial number")
        << "R0 T0@7 A0 R1 T1 A1 R2 T2 A2" << "answered answered answered"
        << "wrong-content=1 wrong-serial=1";
}

void TestSoakLedger::accounts()
{
    QFETCH(QString, script);
    QFETCH(QString, outcomes);
    QFETCH(QString, remarks);

    Script s;
    s.play(script.split(QLatin1Char(' ')));
    QStringList got;
    for (int i = 0; i < kCommands; ++i)
        got << outcomeText(s.ledger().outcome(i));
    QCOMPARE(got.join(QLatin1Char(' ')), outcomes);

    const SoakLedger::Counts n = s.ledger().finish();
    QCOMPARE(n.outcomes(), kCommands);
    QCOMPARE(::remarks(n), remarks);
}

void TestSoakLedger::roundTripFromReleaseToFirstReply()
{
    // Events are 10 ms apart: 0 and 2 are answered 20 ms after their release (0 once
    // more later), 1 only after its resend, 40 ms after its release.
    Script s;
    s.play({"R0", "T0", "A0", "A0", "R1", "T1", "S", "T1", "A1", "R2", "T2", "A2"});
    const SoakLedger::Counts n = s.ledger().finish();
    QCOMPARE(n.answered, 3);
    QCOMPARE(n.rttMedianMs, 20.0);
    QCOMPARE(n.rttP99Ms, 40.0);
}

void TestSoakLedger::quietCountsFromTheMaking()
{
    // A run that has not released its first command yet is not stuck.
    const SoakLedger ledger(kCommands, SimProfile::serial(), true, udpLike);
    QVERIFY(Clock::now() - ledger.lastActivity() < std::chrono::seconds(5));
}

QTEST_GUILESS_MAIN(TestSoakLedger)
#include "tst_soakledger.moc"
