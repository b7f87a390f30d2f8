#include "trafficmodel.h"

#include "eventtime.h"
#include "hexnumber.h"

#include <algorithm>
#include <utility>

namespace {

QString kindText(const ConsoleEvent &e)
{
    if (e.kind() == HostEvent::Kind::Send && e.host.resend)
        return QStringLiteral("send again");
    return TrafficModel::kindName(e.kind());
}

QString textOf(const ConsoleEvent &e)
{
    // The bytes as they were, with where they came from or went.
    if (e.kind() == HostEvent::Kind::Wire)
        return QStringLiteral("%1 %2: %3")
            .arg(e.host.received ? QStringLiteral("in from") : QStringLiteral("out to"), e.host.text,
                 QString::fromLatin1(e.host.bytes.toHex(' ')));
    if (!e.host.hasRecord())
        return e.host.text;
    // The medium's reason is what a failed send is about.
    if (e.kind() == HostEvent::Kind::SendFailed)
        return e.host.label.isEmpty() ? e.host.text : QStringLiteral("%1: %2").arg(e.host.label, e.host.text);
    const QString &source = e.host.record.strSource;
    const bool reply = e.kind() == HostEvent::Kind::Reply || e.kind() == HostEvent::Kind::Drop;
    if (reply && !source.isEmpty())
        return e.host.label.isEmpty() ? QStringLiteral("from %1").arg(source)
                                      : QStringLiteral("%1 (from %2)").arg(e.host.label, source);
    return e.host.label;
}

QVariant display(const ConsoleEvent &e, int column)
{
    const ProtocolData &r = e.host.record;
    const bool record = e.host.hasRecord();
    switch (column) {
    case TrafficModel::TimeColumn:
        // The clock when the event has one; the seconds since the start stay in
        // the tooltip (and alone for a line of an older hostcli).
        return e.host.wallMs > 0 ? EventTime::clock(e.host.wallMs) : EventTime::sinceStart(e.host.timeMs);
    case TrafficModel::SnColumn:
        return record ? QVariant(int(r.bySN)) : QVariant();
    case TrafficModel::KindColumn:
        return kindText(e);
    case TrafficModel::CmdColumn:
        return record ? HexNumber::byteText(r.byCmd) : QString();
    case TrafficModel::SubColumn:
        return record ? HexNumber::byteText(r.bySubCmd) : QString();
    case TrafficModel::P1Column:
        return record ? HexNumber::byteText(r.byParam1) : QString();
    case TrafficModel::P2Column:
        return record ? HexNumber::byteText(r.byParam2) : QString();
    case TrafficModel::P3Column:
        return record ? HexNumber::byteText(r.byParam3) : QString();
    case TrafficModel::BlockColumn:
        return record ? QVariant(e.extent.blockLength) : QVariant();
    case TrafficModel::RoundTripColumn:
        return e.kind() == HostEvent::Kind::Reply && e.host.roundTripMs >= 0
            ? QString::number(e.host.roundTripMs, 'f', 2) + QStringLiteral(" ms")
            : QString();
    case TrafficModel::OutcomeColumn:
        return TrafficModel::outcomeText(e);
    case TrafficModel::TextColumn:
        return textOf(e);
    }
    return QVariant();
}

} // namespace

TrafficModel::TrafficModel(QObject *parent, int capacity, qint64 byteBudget)
    : QAbstractTableModel(parent)
    , m_buffer(capacity, byteBudget)
{
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(kBatchIntervalMs);
    connect(&m_batchTimer, &QTimer::timeout, this, &TrafficModel::flush);
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_buffer.size();
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TrafficModel::kindName(HostEvent::Kind kind)
{
    switch (kind) {
    case HostEvent::Kind::Send:
        return QStringLiteral("send");
    case HostEvent::Kind::Resend:
        return QStringLiteral("resend");
    case HostEvent::Kind::Reply:
        return QStringLiteral("reply");
    case HostEvent::Kind::Drop:
        return QStringLiteral("reply dropped");
    case HostEvent::Kind::GiveUp:
        return QStringLiteral("give-up");
    case HostEvent::Kind::Unaccounted:
        return QStringLiteral("unaccounted");
    case HostEvent::Kind::Medium:
        return QStringLiteral("medium");
    case HostEvent::Kind::Note:
        return QStringLiteral("note");
    case HostEvent::Kind::SendFailed:
        return QStringLiteral("send failed");
    case HostEvent::Kind::Wire:
        return QStringLiteral("wire");
    }
    return QString();
}

TrafficModel::Outcome TrafficModel::outcomeOf(const ConsoleEvent &e)
{
    switch (e.kind()) {
    case HostEvent::Kind::Send:
        return e.host.resend ? Outcome::SentAgain : Outcome::Sent;
    case HostEvent::Kind::Resend:
        return Outcome::Resending;
    case HostEvent::Kind::Reply:
        if (e.host.answersBroadcast)
            return Outcome::AnsweredBroadcast;
        return e.host.matched ? Outcome::Answered : Outcome::Unmatched;
    case HostEvent::Kind::Drop:
        return Outcome::Dropped;
    case HostEvent::Kind::GiveUp:
        return Outcome::GivenUp;
    case HostEvent::Kind::Unaccounted:
        return Outcome::Unaccounted;
    case HostEvent::Kind::SendFailed:
        return Outcome::SendFailed;
    case HostEvent::Kind::Medium:
        return e.host.present ? Outcome::MediumBack : Outcome::MediumGone;
    case HostEvent::Kind::Note:
    case HostEvent::Kind::Wire:
        break;
    }
    return Outcome::Info;
}

QColor TrafficModel::colourOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Answered:
    case Outcome::AnsweredBroadcast:
    case Outcome::MediumBack:
        return QColor(0x1b, 0x7f, 0x3a);
    case Outcome::Dropped:
    case Outcome::Unmatched:
    case Outcome::Unaccounted:
        return QColor(0xb3, 0x6b, 0x00);
    case Outcome::GivenUp:
    case Outcome::SendFailed:
        return QColor(0xc0, 0x1c, 0x28);
    case Outcome::Resending:
    case Outcome::SentAgain:
        return QColor(0x1c, 0x5f, 0xb8);
    case Outcome::MediumGone:
        return QColor(0x80, 0x80, 0x80);
    case Outcome::Sent:
    case Outcome::Info:
        break;
    }
    return QColor();
}

QString TrafficModel::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Sent:
        return QStringLiteral("sent");
    case Outcome::SentAgain:
        return QStringLiteral("sent again");
    case Outcome::Resending:
        return QStringLiteral("no reply: resending");
    case Outcome::Answered:
        return QStringLiteral("answered");
    case Outcome::Unmatched:
        return QStringLiteral("no command of this serial number");
    case Outcome::Dropped:
        return QStringLiteral("dropped by the reply rules");
    case Outcome::GivenUp:
        return QStringLiteral("given up");
    case Outcome::Unaccounted:
        return QStringLiteral("ended without its reply");
    case Outcome::SendFailed:
        return QStringLiteral("did not reach the medium");
    case Outcome::MediumGone:
        return QStringLiteral("device gone");
    case Outcome::MediumBack:
        return QStringLiteral("device back");
    case Outcome::Info:
        return QStringLiteral("notes and wire");
    case Outcome::AnsweredBroadcast:
        return QStringLiteral("answered the broadcast");
    }
    return QString();
}

QString TrafficModel::outcomeText(const ConsoleEvent &e)
{
    // A broadcast reaches every device: each of its sends says so.
    const bool broadcast = e.host.record.bySendMode == 1;
    const Outcome outcome = outcomeOf(e);
    switch (outcome) {
    case Outcome::Sent:
        return broadcast ? QStringLiteral("sent to every device") : outcomeName(outcome);
    case Outcome::SentAgain:
        return broadcast ? QStringLiteral("sent again to every device") : outcomeName(outcome);
    case Outcome::GivenUp:
        return QStringLiteral("given up after %1 sends").arg(e.host.sends);
    case Outcome::Unaccounted:
        // The run stopped before the reply came: the reason is the row's end.
        return e.host.text.isEmpty() ? outcomeName(outcome) : e.host.text;
    case Outcome::Info:
        // A note or the wire says what it is in its text.
        return QString();
    default:
        return outcomeName(outcome);
    }
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_buffer.size())
        return QVariant();
    const ConsoleEvent &e = m_buffer.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return display(e, index.column());
    case Qt::ToolTipRole:
        if (index.column() == TimeColumn)
            return e.host.wallMs > 0 ? QStringLiteral("%1, %2 s since the start")
                                           .arg(EventTime::dateAndClock(e.host.wallMs), EventTime::sinceStart(e.host.timeMs))
                                     : QStringLiteral("%1 s since the start").arg(EventTime::sinceStart(e.host.timeMs));
        return index.column() == TextColumn ? display(e, TextColumn) : QVariant();
    case Qt::ForegroundRole: {
        const QColor colour = colourOf(outcomeOf(e));
        return index.column() == OutcomeColumn && colour.isValid() ? QVariant(colour) : QVariant();
    }
    case Qt::TextAlignmentRole:
        return index.column() == TimeColumn || index.column() == SnColumn || index.column() == BlockColumn
                || index.column() == RoundTripColumn
            ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
            : QVariant();
    case KindRole:
        return int(e.kind());
    case CommandRole:
        return e.host.hasRecord() ? int(e.host.record.byCmd) << 8 | int(e.host.record.bySubCmd) : -1;
    case OutcomeRole:
        return int(outcomeOf(e));
    }
    return QVariant();
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const kTitles[ColumnCount] = {
        "Time", "SN", "Kind", "Cmd", "Sub", "P1", "P2", "P3", "Block", "Round trip", "Outcome", "Label / text",
    };
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

void TrafficModel::append(const ConsoleEvent &event)
{
    // Without an event loop to flush them, pending events would grow without
    // bound; beyond two buffers' worth only the newest buffer's worth can be shown.
    if (m_pending.size() >= 2 * m_buffer.capacity()) {
        const int surplus = m_pending.size() - m_buffer.capacity();
        m_pending.remove(0, surplus);
        m_droppedUnshown += surplus;
    }
    m_pending.append(event);
    if (!m_batchTimer.isActive())
        m_batchTimer.start();
}

void TrafficModel::flush()
{
    m_batchTimer.stop();
    if (m_pending.isEmpty())
        return;
    const int count = std::min(m_pending.size(), m_buffer.capacity());
    const int first = m_pending.size() - count;
    const int overflow = m_buffer.size() + count - m_buffer.capacity();
    if (overflow > 0) {
        beginRemoveRows(QModelIndex(), 0, overflow - 1);
        m_buffer.dropOldest(overflow);
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), m_buffer.size(), m_buffer.size() + count - 1);
    for (int i = first; i < m_pending.size(); ++i)
        m_buffer.append(m_pending.at(i));
    endInsertRows();
    m_droppedUnshown += first;
    m_pending.clear();
    emit flushed();
}

void TrafficModel::replace(TrafficBuffer events)
{
    beginResetModel();
    m_batchTimer.stop();
    m_pending.clear();
    m_buffer = std::move(events);
    m_droppedUnshown = 0;
    endResetModel();
}

void TrafficModel::clear()
{
    beginResetModel();
    m_batchTimer.stop();
    m_pending.clear();
    m_buffer.clear();
    m_droppedUnshown = 0;
    endResetModel();
}
