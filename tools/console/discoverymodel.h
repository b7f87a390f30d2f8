#ifndef DISCOVERYMODEL_H
#define DISCOVERYMODEL_H

#include "hostevent.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QVector>

// The devices that answered a broadcast, one row per address, the latest answer in
// it, as the answers come. Any host on the network may answer, so the rows are
// bounded; answers from further addresses are counted, not shown.
class DiscoveryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        AddressColumn,
        ReplyColumn,
        BlockColumn,
        RoundTripColumn,
        AnswersColumn,
        LastSeenColumn, // the wall-clock time of the latest answer
        ColumnCount
    };
    // What a column sorts by: numbers as numbers (an address by its value, so that
    // .9 comes before .10; the reply by its bytes in order; times as times).
    static constexpr int SortRole = Qt::UserRole + 1;
    static constexpr int kMaxDevices = 1024;

    explicit DiscoveryModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    QString addressAt(int row) const;
    // Answers from addresses beyond kMaxDevices.
    qint64 ignoredAnswers() const { return m_ignored; }

public slots:
    // A reply to the broadcast (accepted or dropped by the reply rules); the
    // address is the reply's source. Replies without a source are not devices.
    void addAnswer(const HostEvent &reply);
    // The same, seen at that wall-clock time.
    void addAnswerSeen(const HostEvent &reply, const QDateTime &seen);
    void clear();

private:
    struct Device
    {
        QString address;
        ProtocolData reply; // without its block
        int blockLength = 0;
        double roundTripMs = -1;
        bool dropped = false;
        int answers = 0;
        QDateTime lastSeen;
    };

    QVariant sortKey(const Device &device, int column) const;

    QVector<Device> m_devices;
    QHash<QString, int> m_rows;
    qint64 m_ignored = 0;
};

#endif // DISCOVERYMODEL_H
