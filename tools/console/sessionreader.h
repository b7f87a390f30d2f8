#ifndef SESSIONREADER_H
#define SESSIONREADER_H

#include "sessionfile.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <thread>

class QFile;

// Reads a saved session on a thread of its own, so that a large file does not hold
// up the window: the bytes read so far are told as it goes, and the contents are
// handed over whole at the end. Cancel leaves nothing behind. The thread is joined
// before the reader goes.
class SessionReader : public QObject
{
    Q_OBJECT

public:
    // How often the bytes read are told.
    static constexpr int kProgressMs = 100;

    explicit SessionReader(QObject *parent = nullptr);
    ~SessionReader() override;

    // Opens a session's file to read, refusing what is not a regular file; false,
    // with *error naming the file, when it cannot.
    static bool openFile(QFile *file, QString *error);

    // Starts reading path; false, with *error, when it is not a regular file, cannot
    // be opened, the system refuses a thread, or a read is under way already.
    bool start(const QString &path, QString *error);
    // Stops the read under way: finished() follows with cancelled true, even when
    // the last bytes were read meanwhile. Nothing when no read is under way.
    void cancel();
    bool isReading() const { return m_reading; }
    QString path() const { return m_path; }
    qint64 size() const { return m_size; }

    // The contents read, once finished() said they were read; moved out.
    SessionContents takeContents();

signals:
    void progressed(qint64 bytesRead, qint64 size);
    // read: the contents wait in takeContents(); otherwise error says why, or
    // cancelled is true.
    void finished(bool read, bool cancelled, const QString &error);

private:
    void onThreadEnded();

    // Joined when it ends, when a read is cancelled, and before the reader goes.
    std::thread m_thread;
    bool m_reading = false;
    QTimer m_progressTimer;
    QString m_path;
    qint64 m_size = 0;
    std::atomic<bool> m_cancel{false};
    std::atomic<qint64> m_bytesRead{0};
    // Written by the thread, read once it has ended.
    SessionContents m_contents;
    bool m_read = false;
    QString m_error;
};

#endif // SESSIONREADER_H
