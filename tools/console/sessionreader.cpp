#include "sessionreader.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

SessionReader::SessionReader(QObject *parent)
    : QObject(parent)
{
    m_progressTimer.setInterval(kProgressMs);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] { emit progressed(m_bytesRead.load(), m_size); });
}

SessionReader::~SessionReader()
{
    if (!m_thread)
        return;
    m_cancel = true;
    m_thread->wait();
    delete m_thread;
}

bool SessionReader::openFile(QFile *file, QString *error)
{
    // A FIFO would hold the read until something writes to it, a device might
    // never end: only a file is read.
    const QFileInfo info(file->fileName());
    if (info.exists() && !info.isFile()) {
        *error = tr("Cannot open %1: not a regular file").arg(file->fileName());
        return false;
    }
    if (!file->open(QIODevice::ReadOnly)) {
        *error = tr("Cannot open %1: %2").arg(file->fileName(), file->errorString());
        return false;
    }
    return true;
}

bool SessionReader::start(const QString &path, QString *error)
{
    if (m_thread) {
        *error = tr("Cannot open %1: %2 is still being read").arg(path, m_path);
        return false;
    }
    // Opened here too, so that what stops it is said at once.
    QFile file(path);
    if (!openFile(&file, error))
        return false;
    m_path = path;
    m_size = file.size();
    file.close();
    m_cancel = false;
    m_bytesRead = 0;
    m_contents = SessionContents();
    m_read = false;
    m_error.clear();

    QThread *thread = QThread::create([this] {
        QFile in(m_path);
        if (!in.open(QIODevice::ReadOnly)) {
            m_error = tr("Cannot open %1: %2").arg(m_path, in.errorString());
            return;
        }
        QString why;
        m_read = SessionFile::read(&in, &m_contents, &why, [this](qint64 bytesRead) {
            m_bytesRead = bytesRead;
            return !m_cancel.load();
        });
        if (!m_read && !why.isEmpty())
            m_error = tr("Cannot read %1: %2").arg(m_path, why);
    });
    // Queued: ended on the reading thread, handled on this one.
    connect(thread, &QThread::finished, this, &SessionReader::onThreadEnded, Qt::QueuedConnection);
    m_thread = thread;
    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        // The system refused the thread: nothing will end it.
        m_thread = nullptr;
        delete thread;
        *error = tr("Cannot open %1: the system refused a thread to read it").arg(path);
        return false;
    }
    m_progressTimer.start();
    emit progressed(0, m_size);
    return true;
}

void SessionReader::cancel()
{
    if (m_thread)
        m_cancel = true;
}

void SessionReader::onThreadEnded()
{
    if (!m_thread)
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_progressTimer.stop();
    const bool cancelled = m_cancel.load();
    if (cancelled) {
        m_contents = SessionContents();
        emit finished(false, true, QString());
        return;
    }
    emit progressed(m_bytesRead.load(), m_size);
    emit finished(m_read, false, m_error);
}

SessionContents SessionReader::takeContents()
{
    SessionContents contents = std::move(m_contents);
    m_contents = SessionContents();
    return contents;
}
