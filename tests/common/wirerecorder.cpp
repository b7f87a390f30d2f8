#include "wirerecorder.h"

#include "portnotices.h"

WireRecorder::WireRecorder(PortNotices *notices)
{
    m_connection = QObject::connect(notices, &PortNotices::signalWire, notices,
                     [this](bool received, const QByteArray &bytes, const QString &peer, qint64 when) {
                         std::lock_guard<std::mutex> lock(m_mutex);
                         m_chunks.append({received, bytes, peer, when});
                     },
                     Qt::DirectConnection);
}

WireRecorder::~WireRecorder()
{
    QObject::disconnect(m_connection);
}

QList<WireRecorder::Chunk> WireRecorder::chunks() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_chunks;
}

QList<QByteArray> WireRecorder::pieces(bool received) const
{
    QList<QByteArray> out;
    for (const Chunk &c : chunks())
        if (c.received == received)
            out.append(c.bytes);
    return out;
}

QByteArray WireRecorder::joined(bool received) const
{
    QByteArray out;
    for (const QByteArray &piece : pieces(received))
        out.append(piece);
    return out;
}
