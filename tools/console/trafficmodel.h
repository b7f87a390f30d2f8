#ifndef TRAFFICMODEL_H
#define TRAFFICMODEL_H

#include "consoleevent.h"
#include "trafficbuffer.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTimer>
#include <QVector>

// Every event of the session, one row each, oldest first, in a bounded buffer.
// Events are taken at once and shown in batches: a timer inserts what came since
// the last batch with one insertion, after removing the oldest rows beyond the
// buffer as one block, so a view never redraws for each of hundreds of events a
// second.
class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        TimeColumn,
        SnColumn,
        KindColumn,
        CmdColumn,
        SubColumn,
        P1Column,
        P2Column,
        P3Column,
        BlockColumn,
        RoundTripColumn,
        OutcomeColumn,
        TextColumn,
        ColumnCount
    };
    enum Role {
        KindRole = Qt::UserRole + 1, // int(HostEvent::Kind)
        CommandRole,                 // cmd << 8 | sub; -1 for an event without a record
        OutcomeRole,                 // int(Outcome)
    };
    // What one event says about its command, and the colour it is shown in.
    enum class Outcome {
        Sent,
        SentAgain,
        Resending,
        Answered,
        Unmatched, // a reply of a serial number no command of the run has
        Dropped,
        GivenUp,
        Unaccounted,
        SendFailed,
        MediumGone,
        MediumBack,
        Info,
        AnsweredBroadcast, // one more device answered a broadcast it still awaited
    };

    static constexpr int kBatchIntervalMs = 50;

    explicit TrafficModel(QObject *parent = nullptr, int capacity = TrafficBuffer::kDefaultCapacity,
                          qint64 byteBudget = TrafficBuffer::kDefaultByteBudget);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const ConsoleEvent &event(int row) const { return m_buffer.at(row); }
    // The rows shown, for saving them.
    const TrafficBuffer &events() const { return m_buffer; }
    // Events taken and not shown yet.
    int pendingCount() const { return m_pending.size(); }
    // Events that left the buffer, or never reached it, for its bound.
    qint64 droppedCount() const { return m_buffer.droppedCount() + m_droppedUnshown; }

    // A kind as the window names it everywhere (the table, the Kinds filter); the
    // session file keeps the names of hostcli's JSON lines.
    static QString kindName(HostEvent::Kind kind);
    static Outcome outcomeOf(const ConsoleEvent &event);
    static QColor colourOf(Outcome outcome);
    // An outcome as a person picks it in a filter, and as the table shows it when
    // the event adds nothing ("given up" there says after how many sends). A switch
    // without a default: an outcome added to the enum fails to build until named;
    // empty past the last one.
    static QString outcomeName(Outcome outcome);
    // "answered", "given up after 2 sends"
    static QString outcomeText(const ConsoleEvent &event);

public slots:
    // Shown with the next batch.
    void append(const ConsoleEvent &event);
    // Shows what is pending now.
    void flush();
    // Shows these events instead (a session read from a file); pending events go.
    void replace(TrafficBuffer events);
    void clear();

signals:
    // A batch is in the rows.
    void flushed();

private:
    TrafficBuffer m_buffer;
    QVector<ConsoleEvent> m_pending;
    qint64 m_droppedUnshown = 0;
    QTimer m_batchTimer;
};

#endif // TRAFFICMODEL_H
