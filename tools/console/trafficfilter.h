#ifndef TRAFFICFILTER_H
#define TRAFFICFILTER_H

#include "consoleevent.h"
#include "eventquery.h"

#include <QSortFilterProxyModel>

// The traffic rows a person asked to see: of the kinds ticked, and of one command
// (and sub-command) when one is given. Reads the kind and command roles of a
// TrafficModel. A change of what is shown rebuilds the rows at once (invalidate,
// not invalidateFilter): over 100,000 rows, a filter that keeps every tenth would
// otherwise announce 10,000 removals one by one, seconds of work for the view.
class TrafficFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit TrafficFilter(QObject *parent = nullptr);

    void setKindShown(HostEvent::Kind kind, bool shown);
    bool kindShown(HostEvent::Kind kind) const;

    // "e1" (every sub-command) or "e1:05", hexadecimal with or without "0x"; empty
    // shows every command. False, and the filter unchanged, for other text.
    bool setCommandFilter(const QString &text);

    // The search, outcome, source and time range besides.
    void setQuery(const EventQuery &query);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    // A bit a kind shown.
    static_assert(kEventKindCount <= 32, "one bit a kind");
    quint32 m_kinds;
    int m_cmd = -1; // -1: any
    int m_sub = -1;
    EventQuery m_query;
};

#endif // TRAFFICFILTER_H
