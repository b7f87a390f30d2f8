#include "framecodec.h"
#include "reporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

QString hex(unsigned char b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
}

// The fields every event about one record carries.
QJsonObject recordObject(const char *name, const HostEvent &e)
{
    const ProtocolData &r = e.record;
    return QJsonObject{
        {QStringLiteral("event"), QString::fromLatin1(name)},
        {QStringLiteral("timeMs"), e.timeMs},
        {QStringLiteral("sn"), int(r.bySN)},
        {QStringLiteral("cmd"), hex(r.byCmd)},
        {QStringLiteral("sub"), hex(r.bySubCmd)},
        {QStringLiteral("p1"), hex(r.byParam1)},
        {QStringLiteral("p2"), hex(r.byParam2)},
        {QStringLiteral("p3"), hex(r.byParam3)},
        {QStringLiteral("block"), r.baData.size()},
        {QStringLiteral("label"), e.label},
        {QStringLiteral("line"), e.line},
    };
}

} // namespace

JsonReporter::JsonReporter(QTextStream *out)
    : m_out(out)
{
}

void JsonReporter::opened(const QString &medium, const QString &description)
{
    const QJsonObject o{{QStringLiteral("event"), QStringLiteral("open")},
                        {QStringLiteral("medium"), medium},
                        {QStringLiteral("description"), description}};
    *m_out << QJsonDocument(o).toJson(QJsonDocument::Compact) << Qt::endl;
}

void JsonReporter::event(const HostEvent &e)
{
    QJsonObject o;
    switch (e.kind) {
    case HostEvent::Kind::Send: {
        o = recordObject("send", e);
        QJsonArray pieces;
        for (int size : e.pieces)
            pieces.append(size);
        o.insert(QStringLiteral("frame"), QString::fromLatin1(e.bytes.left(FrameCodec::kTextFrameSize)));
        o.insert(QStringLiteral("bytes"), e.bytes.size());
        o.insert(QStringLiteral("pieces"), pieces);
        o.insert(QStringLiteral("unit"), e.unit);
        o.insert(QStringLiteral("resend"), e.resend);
        break;
    }
    case HostEvent::Kind::Resend:
        o = recordObject("resend", e);
        break;
    case HostEvent::Kind::Reply:
    case HostEvent::Kind::Drop:
        o = recordObject(e.kind == HostEvent::Kind::Reply ? "reply" : "drop", e);
        o.insert(QStringLiteral("source"), e.record.strSource);
        o.insert(QStringLiteral("matched"), e.matched);
        o.insert(QStringLiteral("roundTripMs"), e.roundTripMs >= 0 ? QJsonValue(e.roundTripMs) : QJsonValue());
        break;
    case HostEvent::Kind::GiveUp:
        o = recordObject("giveup", e);
        o.insert(QStringLiteral("sends"), e.sends);
        break;
    case HostEvent::Kind::Unaccounted:
        o = recordObject("unaccounted", e);
        break;
    case HostEvent::Kind::Medium:
        o = QJsonObject{{QStringLiteral("event"), QStringLiteral("medium")},
                        {QStringLiteral("timeMs"), e.timeMs},
                        {QStringLiteral("present"), e.present},
                        {QStringLiteral("text"), e.text}};
        break;
    case HostEvent::Kind::Note:
        o = QJsonObject{{QStringLiteral("event"), QStringLiteral("note")},
                        {QStringLiteral("timeMs"), e.timeMs},
                        {QStringLiteral("text"), e.text}};
        break;
    case HostEvent::Kind::SendFailed:
        o = recordObject("sendfailed", e);
        o.insert(QStringLiteral("reason"), e.text);
        break;
    }
    *m_out << QJsonDocument(o).toJson(QJsonDocument::Compact) << Qt::endl;
}

void JsonReporter::summary(const QString &medium, const RunSummary &s, int exitCode)
{
    auto ms = [&s](double share) {
        return s.roundTrips.count() > 0 ? QJsonValue(s.roundTrips.percentile(share) / 1000.0) : QJsonValue();
    };
    const QJsonObject o{
        {QStringLiteral("event"), QStringLiteral("summary")},
        {QStringLiteral("medium"), medium},
        {QStringLiteral("commands"), s.commands},
        {QStringLiteral("sent"), s.sent},
        {QStringLiteral("answered"), s.answered},
        {QStringLiteral("dropped"), s.dropped},
        {QStringLiteral("resent"), s.resent},
        {QStringLiteral("givenUp"), s.givenUp},
        {QStringLiteral("unaccounted"), s.unaccounted},
        {QStringLiteral("notAsPlanned"), s.notAsPlanned},
        {QStringLiteral("sendFailures"), s.sendFailures},
        {QStringLiteral("unmatchedReplies"), s.unmatchedReplies},
        {QStringLiteral("roundTripMedianMs"), ms(0.5)},
        {QStringLiteral("roundTripP99Ms"), ms(0.99)},
        {QStringLiteral("stoppedEarly"), s.stoppedEarly},
        {QStringLiteral("exitCode"), exitCode},
    };
    *m_out << QJsonDocument(o).toJson(QJsonDocument::Compact) << Qt::endl;
}

void JsonReporter::devicesFound(const QStringList &addresses)
{
    const QJsonObject o{{QStringLiteral("event"), QStringLiteral("devices")},
                        {QStringLiteral("addresses"), QJsonArray::fromStringList(addresses)}};
    *m_out << QJsonDocument(o).toJson(QJsonDocument::Compact) << Qt::endl;
}
