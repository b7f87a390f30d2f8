#include "soakreport.h"

#include <QJsonArray>
#include <QTextStream>

#include <functional>

namespace {

// A line of the table: its label, and how it reads a report.
struct Row
{
    const char *label;
    std::function<QString(const SoakReport &)> value;
};

QString number(int n)
{
    return QString::number(n);
}

QString ms(double v)
{
    return QString::number(v, 'f', 1);
}

QString mib(qint64 kb)
{
    return kb > 0 ? QString::number(double(kb) / 1024.0, 'f', 1) : QStringLiteral("-");
}

const QList<Row> &rows()
{
    using R = const SoakReport &;
    static const QList<Row> table = {
        {"commands", [](R r) { return number(r.counts.commands); }},
        {"answered", [](R r) { return number(r.counts.answered); }},
        {"  of them answered twice (late reply + resend's)", [](R r) { return number(r.counts.answeredTwice); }},
        {"  of them answered after the give-up", [](R r) { return number(r.counts.answeredAfterGiveUp); }},
        {"dropped by the reply rules", [](R r) { return number(r.counts.droppedByRules); }},
        {"given up after one resend", [](R r) { return number(r.counts.givenUp); }},
        {"released by an unusable reply", [](R r) { return number(r.counts.releasedByUnusableReply); }},
        {"released by another command's surplus reply", [](R r) { return number(r.counts.releasedByAnotherReply); }},
        {"resent once", [](R r) { return number(r.counts.resent); }},
        {"lost", [](R r) { return number(r.counts.lost); }},
        {"never released", [](R r) { return number(r.counts.notReleased); }},
        {"replies with content of another command", [](R r) { return number(r.counts.wrongContent + r.counts.unmatchedReplies); }},
        {"sent more often than released + resent", [](R r) { return number(r.counts.sentTooOften); }},
        {"taken by the device with a wrong serial number", [](R r) { return number(r.counts.wrongSerialAtDevice); }},
        {"given up without exactly one resend", [](R r) { return number(r.counts.givenUpWithoutOneResend); }},
        {"releases nothing explains", [](R r) { return number(r.counts.releasesUnexplained); }},
        {"commands still queued at the end", [](R r) { return number(r.queuedAtEnd); }},
        {"round trip median (ms)", [](R r) { return ms(r.counts.rttMedianMs); }},
        {"round trip 99th percentile (ms)", [](R r) { return ms(r.counts.rttP99Ms); }},
        {"resident memory at command 1,000 (MiB)", [](R r) { return mib(r.rssFirstKb); }},
        {"resident memory at the end (MiB)", [](R r) { return mib(r.rssLastKb); }},
        {"disturbance (hang-up, unplug, socket rebuilt)", [](R r) { return QString(r.disturbed ? "done" : "none"); }},
        {"longest stall of the host's thread (ms)", [](R r) { return number(r.longestStallMs); }},
        {"longest wait of a reply for the queue (ms)", [](R r) { return QString::number(r.longestHandOffUs / 1000.0, 'f', 1); }},
        {"run time (s)", [](R r) { return QString::number(r.seconds, 'f', 0); }},
        {"faults", [](R r) { return number(r.faults()); }},
    };
    return table;
}

} // namespace

QStringList SoakReport::faultLines() const
{
    QStringList lines;
    if (!error.isEmpty())
        lines << QStringLiteral("run failed: ") + error;
    if (!completed)
        lines << QStringLiteral("the run did not end: the queue did not drain before the deadline");
    if (queuedAtEnd || repliesQueuedAtEnd || inFlightAtEnd)
        lines << QStringLiteral("left at the end: %1 commands queued, %2 replies queued%3")
                     .arg(queuedAtEnd)
                     .arg(repliesQueuedAtEnd)
                     .arg(inFlightAtEnd ? QStringLiteral(", one in flight") : QString());
    if (counts.outcomes() != counts.commands)
        lines << QStringLiteral("%1 outcomes for %2 commands").arg(counts.outcomes()).arg(counts.commands);
    if (counts.faults())
        lines << QStringLiteral("%1 commands or replies went wrong").arg(counts.faults());
    return lines;
}

int SoakReport::faults() const
{
    return faultLines().size();
}

QJsonObject SoakReport::toJson() const
{
    const SoakLedger::Counts &c = counts;
    return {
        {"medium", medium},
        {"commands", c.commands},
        {"answered", c.answered},
        {"droppedByRules", c.droppedByRules},
        {"givenUp", c.givenUp},
        {"releasedByUnusableReply", c.releasedByUnusableReply},
        {"releasedByAnotherReply", c.releasedByAnotherReply},
        {"lost", c.lost},
        {"notReleased", c.notReleased},
        {"resent", c.resent},
        {"answeredTwice", c.answeredTwice},
        {"answeredAfterGiveUp", c.answeredAfterGiveUp},
        {"surplusReplies", c.surplusReplies},
        {"wrongContent", c.wrongContent},
        {"unmatchedReplies", c.unmatchedReplies},
        {"sentTooOften", c.sentTooOften},
        {"wrongSerialAtDevice", c.wrongSerialAtDevice},
        {"givenUpWithoutOneResend", c.givenUpWithoutOneResend},
        {"releasesUnexplained", c.releasesUnexplained},
        {"rttMedianMs", c.rttMedianMs},
        {"rttP99Ms", c.rttP99Ms},
        {"completed", completed},
        {"queuedAtEnd", queuedAtEnd},
        {"repliesQueuedAtEnd", repliesQueuedAtEnd},
        {"inFlightAtEnd", inFlightAtEnd},
        {"disturbed", disturbed},
        {"seconds", seconds},
        {"longestStallMs", longestStallMs},
        {"longestHandOffUs", double(longestHandOffUs)},
        {"rssFirstKb", double(rssFirstKb)},
        {"rssLastKb", double(rssLastKb)},
        {"error", error},
        {"detail", QJsonArray::fromStringList(detail)},
    };
}

SoakReport SoakReport::fromJson(const QJsonObject &o)
{
    SoakReport r;
    SoakLedger::Counts &c = r.counts;
    r.medium = o.value("medium").toString();
    c.commands = o.value("commands").toInt();
    c.answered = o.value("answered").toInt();
    c.droppedByRules = o.value("droppedByRules").toInt();
    c.givenUp = o.value("givenUp").toInt();
    c.releasedByUnusableReply = o.value("releasedByUnusableReply").toInt();
    c.releasedByAnotherReply = o.value("releasedByAnotherReply").toInt();
    c.lost = o.value("lost").toInt();
    c.notReleased = o.value("notReleased").toInt();
    c.resent = o.value("resent").toInt();
    c.answeredTwice = o.value("answeredTwice").toInt();
    c.answeredAfterGiveUp = o.value("answeredAfterGiveUp").toInt();
    c.surplusReplies = o.value("surplusReplies").toInt();
    c.wrongContent = o.value("wrongContent").toInt();
    c.unmatchedReplies = o.value("unmatchedReplies").toInt();
    c.sentTooOften = o.value("sentTooOften").toInt();
    c.wrongSerialAtDevice = o.value("wrongSerialAtDevice").toInt();
    c.givenUpWithoutOneResend = o.value("givenUpWithoutOneResend").toInt();
    c.releasesUnexplained = o.value("releasesUnexplained").toInt();
    c.rttMedianMs = o.value("rttMedianMs").toDouble();
    c.rttP99Ms = o.value("rttP99Ms").toDouble();
    r.completed = o.value("completed").toBool();
    r.queuedAtEnd = o.value("queuedAtEnd").toInt();
    r.repliesQueuedAtEnd = o.value("repliesQueuedAtEnd").toInt();
    r.inFlightAtEnd = o.value("inFlightAtEnd").toBool();
    r.disturbed = o.value("disturbed").toBool();
    r.seconds = o.value("seconds").toDouble();
    r.longestStallMs = o.value("longestStallMs").toInt();
    r.longestHandOffUs = qint64(o.value("longestHandOffUs").toDouble());
    r.rssFirstKb = qint64(o.value("rssFirstKb").toDouble());
    r.rssLastKb = qint64(o.value("rssLastKb").toDouble());
    r.error = o.value("error").toString();
    for (const QJsonValue &v : o.value("detail").toArray())
        r.detail.append(v.toString());
    return r;
}

QString soakTable(const QList<SoakReport> &reports)
{
    int labelWidth = 0;
    for (const Row &row : rows())
        labelWidth = qMax(labelWidth, int(qstrlen(row.label)));
    constexpr int kColumn = 10;

    QString out;
    QTextStream s(&out);
    s << QString(labelWidth, QLatin1Char(' '));
    for (const SoakReport &r : reports)
        s << r.medium.rightJustified(kColumn);
    s << '\n';
    for (const Row &row : rows()) {
        s << QString::fromLatin1(row.label).leftJustified(labelWidth);
        for (const SoakReport &r : reports)
            s << row.value(r).rightJustified(kColumn);
        s << '\n';
    }
    return out;
}
