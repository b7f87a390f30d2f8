#include "discoverymodel.h"

#include "commandtext.h"

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
    if (!index.isValid() || index.row() >= m_devices.size() || role != Qt::DisplayRole)
        return QVariant();
    const Device &d = m_devices.at(index.row());
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
    }
    return QVariant();
}

QVariant DiscoveryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const kTitles[ColumnCount] = {"Address", "Reply", "Block", "Round trip", "Answers"};
    return section >= 0 && section < ColumnCount ? tr(kTitles[section]) : QVariant();
}

QString DiscoveryModel::addressAt(int row) const
{
    return row >= 0 && row < m_devices.size() ? m_devices.at(row).address : QString();
}

void DiscoveryModel::addAnswer(const HostEvent &reply)
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
        m_devices.append(Device{address, ProtocolData(), 0, -1, false, 0});
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
