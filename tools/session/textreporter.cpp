#include "commandtext.h"
#include "framecodec.h"
#include "textreporter.h"

#include <QStringList>
#include <QTextStream>

namespace {

QString milliseconds(double ms)
{
    return QString::number(ms, 'f', ms < 10 ? 2 : 1) + QStringLiteral(" ms");
}

QString labelled(const HostEvent &e)
{
    return e.label.isEmpty() ? QString() : QStringLiteral("   ") + e.label;
}

} // namespace

TextReporter::TextReporter(QTextStream *out)
    : m_out(out)
{
}

QString TextReporter::pieces(const QList<int> &sizes)
{
    if (sizes.count(sizes.value(0)) == sizes.size())
        return QString::number(sizes.value(0));
    QStringList parts;
    for (int size : sizes)
        parts << QString::number(size);
    return parts.join(QStringLiteral(" + "));
}

void TextReporter::opened(const QString &, const QString &description)
{
    *m_out << description << Qt::endl;
}

void TextReporter::event(const HostEvent &e)
{
    const ProtocolData &r = e.record;
    QString line;
    switch (e.kind) {
    case HostEvent::Kind::Send:
        line = QStringLiteral("-> SN %1  %2").arg(r.bySN, -3).arg(QString::fromLatin1(e.bytes.left(FrameCodec::kTextFrameSize)));
        if (!r.baData.isEmpty())
            line += QStringLiteral(" + block %1 bytes").arg(r.baData.size());
        // How the medium cut it, where that says something: several datagrams, reports.
        if (e.pieces.size() > 1 || e.unit == QLatin1String("report"))
            line += QStringLiteral(", as %1 %2%3 of %4 bytes")
                        .arg(e.pieces.size())
                        .arg(e.unit, e.pieces.size() == 1 ? QString() : QStringLiteral("s"), pieces(e.pieces));
        line += labelled(e);
        if (e.resend)
            line += QStringLiteral(" (sent again)");
        break;
    case HostEvent::Kind::Resend:
        line = QStringLiteral("!! resend (signalInitCore)  SN %1").arg(r.bySN) + labelled(e);
        break;
    case HostEvent::Kind::Reply:
    case HostEvent::Kind::Drop:
        line = QStringLiteral("%1 SN %2  %3  block %4 bytes")
                   .arg(e.kind == HostEvent::Kind::Reply ? QStringLiteral("<-") : QStringLiteral("xx"))
                   .arg(r.bySN, -3)
                   .arg(CommandText::fields(r))
                   .arg(r.baData.size());
        if (!r.strSource.isEmpty())
            line += QStringLiteral("  from ") + r.strSource;
        if (e.roundTripMs >= 0)
            line += QStringLiteral("  ") + milliseconds(e.roundTripMs);
        if (e.kind == HostEvent::Kind::Drop)
            line += QStringLiteral("  dropped by the reply rules");
        if (e.answersBroadcast)
            line += QStringLiteral("  answered the broadcast") + labelled(e);
        else
            line += e.matched ? labelled(e) : QStringLiteral("   (no open command has this serial number)");
        break;
    case HostEvent::Kind::GiveUp:
        line = QStringLiteral("!! gave up (signalSendTimeOut)  SN %1 after %2 sends").arg(r.bySN).arg(e.sends)
               + labelled(e);
        break;
    case HostEvent::Kind::Unaccounted:
        line = e.text.isEmpty() ? QStringLiteral("!! SN %1 ended without a reply of its own").arg(r.bySN)
                                : QStringLiteral("!! SN %1 ended without its reply: %2").arg(r.bySN).arg(e.text);
        line += labelled(e);
        break;
    case HostEvent::Kind::Medium:
    case HostEvent::Kind::Note:
        line = QStringLiteral("!! ") + e.text;
        break;
    case HostEvent::Kind::SendFailed:
        line = QStringLiteral("!! send failed: %1  SN %2").arg(e.text).arg(r.bySN) + labelled(e);
        break;
    case HostEvent::Kind::Wire:
        line = QStringLiteral("%1 wire %2 %3 bytes: %4")
                   .arg(e.received ? QStringLiteral("<<") : QStringLiteral(">>"),
                        e.received ? QStringLiteral("from ") + e.text : QStringLiteral("to ") + e.text)
                   .arg(e.bytes.size())
                   .arg(QString::fromLatin1(e.bytes.toHex(' ')));
        break;
    }
    *m_out << line << Qt::endl;
}

void TextReporter::summary(const QString &medium, const RunSummary &s, int exitCode)
{
    *m_out << "== " << medium << " summary: " << s.sent << " sent, " << s.answered << " answered, " << s.dropped
           << " dropped by the reply rules, " << s.resent << " resent, " << s.givenUp << " given up";
    if (s.unaccounted > 0)
        *m_out << ", " << s.unaccounted << " without a reply of their own";
    if (s.sendFailures > 0)
        *m_out << ", " << s.sendFailures << (s.sendFailures == 1 ? " send" : " sends") << " failed";
    if (s.roundTrips.count() > 0) {
        *m_out << "; round trip median " << milliseconds(s.roundTrips.percentile(0.5) / 1000.0)
               << ", 99th percentile " << milliseconds(s.roundTrips.percentile(0.99) / 1000.0);
    }
    if (s.unmatchedReplies > 0)
        *m_out << "; " << s.unmatchedReplies << (s.unmatchedReplies == 1 ? " reply" : " replies")
               << " matched no command";
    if (s.broadcastAnswers > 0)
        *m_out << "; " << s.broadcastAnswers << " more " << (s.broadcastAnswers == 1 ? "answer" : "answers")
               << " to a broadcast";
    *m_out << Qt::endl;
    if (!s.stoppedEarly.isEmpty())
        *m_out << "== stopped early: " << s.stoppedEarly << Qt::endl;
    else if (s.commands == 1)
        *m_out << "== the command " << (exitCode == 0 ? "ended" : "did not end") << " as planned" << Qt::endl;
    else if (exitCode == 0)
        *m_out << "== all " << s.commands << " commands ended as planned" << Qt::endl;
    else
        *m_out << "== " << s.notAsPlanned << " of " << s.commands << " commands did not end as planned" << Qt::endl;
}

void TextReporter::devicesFound(const QStringList &addresses)
{
    *m_out << "== " << addresses.size() << (addresses.size() == 1 ? " device" : " devices") << " answered";
    if (!addresses.isEmpty())
        *m_out << ": " << addresses.join(QStringLiteral(", "));
    *m_out << Qt::endl;
}
