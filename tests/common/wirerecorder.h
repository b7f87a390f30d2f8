#ifndef WIRERECORDER_H
#define WIRERECORDER_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <mutex>

class PortNotices;

// Records what a transport's wire tap reports, from whichever thread it reports
// (QSignalSpy's list is not safe to read while another thread appends).
class WireRecorder
{
public:
    struct Chunk
    {
        bool received;
        QByteArray bytes;
        QString peer;
        qint64 msSinceEpoch;
    };

    explicit WireRecorder(PortNotices *notices);
    ~WireRecorder();
    WireRecorder(const WireRecorder &) = delete;
    WireRecorder &operator=(const WireRecorder &) = delete;

    QList<Chunk> chunks() const;
    // The bytes of one direction, in the order reported.
    QList<QByteArray> pieces(bool received) const;
    QByteArray joined(bool received) const;

private:
    QMetaObject::Connection m_connection;
    mutable std::mutex m_mutex;
    QList<Chunk> m_chunks;
};

#endif // WIRERECORDER_H
