#include "trafficfilter.h"

#include "hexnumber.h"
#include "trafficmodel.h"

#include <QRegularExpression>

TrafficFilter::TrafficFilter(QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_kinds((1u << kEventKindCount) - 1)
{
}

void TrafficFilter::setKindShown(HostEvent::Kind kind, bool shown)
{
    const quint32 bit = 1u << int(kind);
    const quint32 kinds = shown ? m_kinds | bit : m_kinds & ~bit;
    if (kinds == m_kinds)
        return;
    m_kinds = kinds;
    invalidate();
}

bool TrafficFilter::kindShown(HostEvent::Kind kind) const
{
    return m_kinds & (1u << int(kind));
}

bool TrafficFilter::setCommandFilter(const QString &text)
{
    int cmd = -1;
    int sub = -1;
    const QStringList parts = text.trimmed().split(QRegularExpression(QStringLiteral("[:/]")));
    if (!text.trimmed().isEmpty()) {
        unsigned char value = 0;
        if (parts.size() > 2 || !HexNumber::parseByte(parts.at(0).trimmed(), &value))
            return false;
        cmd = value;
        if (parts.size() == 2) {
            if (!HexNumber::parseByte(parts.at(1).trimmed(), &value))
                return false;
            sub = value;
        }
    }
    if (cmd != m_cmd || sub != m_sub) {
        m_cmd = cmd;
        m_sub = sub;
        invalidate();
    }
    return true;
}

void TrafficFilter::setQuery(const EventQuery &query)
{
    m_query = query;
    invalidate();
}

bool TrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    if (!(m_kinds & (1u << index.data(TrafficModel::KindRole).toInt())))
        return false;
    if (m_cmd >= 0) {
        const int command = index.data(TrafficModel::CommandRole).toInt();
        if (command < 0 || (command >> 8) != m_cmd || (m_sub >= 0 && (command & 0xFF) != m_sub))
            return false;
    }
    if (m_query.isEmpty())
        return true;
    // The event itself, not text made of it for each of 100,000 rows.
    const auto *traffic = qobject_cast<const TrafficModel *>(sourceModel());
    return !traffic || m_query.accepts(traffic->event(sourceRow));
}
