#ifndef COUNTERSVIEW_H
#define COUNTERSVIEW_H

#include "trafficcounters.h"

#include <QWidget>

class QLabel;

// The session's counters, one figure each, refreshed when told.
class CountersView : public QWidget
{
    Q_OBJECT

public:
    explicit CountersView(QWidget *parent = nullptr);

    void setCounters(const TrafficCounters &counters);
    // "sent 12, answered 11, ..." as shown.
    QString text() const;

private:
    enum { Sent, Answered, Dropped, Resent, GivenUp, SendFailed, FigureCount };
    QLabel *m_figures[FigureCount];
};

#endif // COUNTERSVIEW_H
