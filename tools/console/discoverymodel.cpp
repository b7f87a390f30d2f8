#include "discoverymodel.h"

#include "commandtext.h"

#include <QHostAddress>

DiscoveryModel::DiscoveryModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int DiscoveryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_devices.size();
}

int DiscoveryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DiscoveryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_devices.size())
        return QVariant();
    const Device &d = m_devices.at(index.row());
    if (role == SortRole)
        return sortKey(d, index.column());
    if (role == Qt::ToolTipRole && index.column() == LastSeenColumn)
        return d.lastSeen.toString(Qt::ISODateWithMs);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case AddressColumn:
        return d.address;
    case ReplyColumn:
        return CommandText::fields(d.reply) + (d.dropped ? tr("  (dropped by the reply rules)") : QString());
    case BlockColumn:
        return d.blockLength;
    case RoundTripColumn:
        return d.roundTripMs >= 0 ? QString::number(d.roundTripMs, 'f', 2) + QStringLiteral(" ms") : QString();
    case AnswersColumn:
        return d.answers;
    case LastSeenColumn:
        return d.lastSeen.toString(QStringLiteral("HH:mm:ss.zzz"));
    }
    return QVariant();
}

QVariant DiscoveryModel::sortKey(const Device &d, int column) const
{
    switch (column) {
    case AddressColumn: {
        // IPv4 addresses by their value; anything else after them, by its text.
        bool ok = false;
        const quint32 value = QHostAddress(d.address).toIPv4Address(&ok);
        return ok ? QVariant(qint64(value)) : QVariant(QStringLiteral("~") + d.address);
    }
    case ReplyColumn: {
        const ProtocolData &r = d.reply;
        return qint64(r.byCmd) << 33 | qint64(r.bySubCmd) << 25 | qint64(r.byParam1) << 17 | qint64(r.byParam2) << 9
            | qint64(r.byParam3) << 1 | (d.dropped ? 1 : 0);
    }
    case BlockColumn:
        return d.blockLength;
    case RoundTripColumn:
        return d.roundTripMs;
    case AnswersColumn:
        return d.answers;
    case LastSeenColumn:
        return d.lastSeen.toMSecsSinceEpoch();
    }
    return QVariant();
}

QVariant DiscoveryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const kTitles[ColumnCount] = {"Address", "Reply", "Block", "Round trip", "Answers", "Last seen"};
    return section >= 0 && section < ColumnCount ? tr(kTitles[section]) : QVariant();
}

QString DiscoveryModel::addressAt(int row) const
{
    return row >= 0 && row < m_devices.size() ? m_devices.at(row).address : QString();
}

void DiscoveryModel::addAnswer(const HostEvent &reply)
{
    addAnswerSeen(reply, QDateTime::currentDateTime());
}

void DiscoveryModel::addAnswerSeen(const HostEvent &reply, const QDateTime &seen)
{
    const QString &address = reply.record.strSource;
    if (address.isEmpty())
        return;
    auto row = m_rows.constFind(address);
    if (row == m_rows.constEnd()) {
        if (m_devices.size() >= kMaxDevices) {
            ++m_ignored;
            return;
        }
        beginInsertRows(QModelIndex(), m_devices.size(), m_devices.size());
        row = m_rows.insert(address, m_devices.size());
        m_devices.append(Device{address, ProtocolData(), 0, -1, false, 0, QDateTime()});
        endInsertRows();
    }
    Device &d = m_devices[*row];
    d.reply = reply.record;
    // The block itself is not shown, only its length: a thousand answering hosts
    // must not hold a thousand blocks.
    d.reply.baData = QByteArray();
    d.blockLength = reply.record.baData.size();
    d.roundTripMs = reply.roundTripMs;
    d.dropped = reply.kind == HostEvent::Kind::Drop;
    ++d.answers;
    d.lastSeen = seen;
    emit dataChanged(index(*row, 0), index(*row, ColumnCount - 1));
}

void DiscoveryModel::clear()
{
    beginResetModel();
    m_devices.clear();
    m_rows.clear();
    m_ignored = 0;
    endResetModel();
}
