#include "sessionreader.h"

#include "threadstart.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

SessionReader::SessionReader(QObject *parent)
    : QObject(parent)
{
    m_progressTimer.setInterval(kProgressMs);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] { emit progressed(m_bytesRead.load(), m_size); });
}

SessionReader::~SessionReader()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
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
    if (m_reading) {
        *error = tr("Cannot open %1: %2 is still being read").arg(path, m_path);
        return false;
    }
    // Opened here, and read from this very file: what stops it is said at once, and
    // what the check let through is what the thread reads.
    auto file = std::make_shared<QFile>(path);
    if (!openFile(file.get(), error))
        return false;
    if (m_thread.joinable())
        m_thread.join(); // ended already: its end was handled
    m_path = path;
    m_size = file->size();
    m_cancel = false;
    m_bytesRead = 0;
    m_contents = SessionContents();
    m_read = false;
    m_error.clear();

    const bool started = ThreadStart::start(m_thread, [this, file] {
        QString why;
        m_read = SessionFile::read(file.get(), &m_contents, &why, [this](qint64 bytesRead) {
            m_bytesRead = bytesRead;
            return !m_cancel.load();
        });
        if (!m_read && !why.isEmpty())
            m_error = tr("Cannot read %1: %2").arg(m_path, why);
        file->close();
        // Handled on the reader's thread; a reader that goes first joins this one
        // before its QObject part goes, which drops the call.
        QMetaObject::invokeMethod(this, &SessionReader::onThreadEnded, Qt::QueuedConnection);
    });
    if (!started) {
        *error = tr("Cannot open %1: the system refused a thread to read it").arg(path);
        return false;
    }
    m_reading = true;
    m_progressTimer.start();
    emit progressed(0, m_size);
    return true;
}

void SessionReader::cancel()
{
    if (m_reading)
        m_cancel = true;
}

void SessionReader::onThreadEnded()
{
    if (!m_reading)
        return;
    m_thread.join();
    m_reading = false;
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
