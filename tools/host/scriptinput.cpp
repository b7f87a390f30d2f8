#include "scriptinput.h"

#include <cstdio>

namespace {

constexpr qint64 kPiece = 64 * 1024;

} // namespace

bool ScriptInput::open(const QString &path, QString *error)
{
    const bool standardInput = path == QLatin1String("-");
    m_name = standardInput ? QStringLiteral("<stdin>") : path;
    m_file.setFileName(standardInput ? QString() : path);
    const bool opened = standardInput ? m_file.open(stdin, QIODevice::ReadOnly) : m_file.open(QIODevice::ReadOnly);
    if (!opened) {
        *error = QStringLiteral("cannot read %1: %2").arg(m_name, m_file.errorString());
        return false;
    }
    if (!m_file.isSequential()) {
        m_device = &m_file;
        return true;
    }
    if (!copy(&m_file, error))
        return false;
    m_device = &m_copy;
    return true;
}

bool ScriptInput::copy(QFile *from, QString *error)
{
    if (!m_copy.open()) {
        *error = QStringLiteral("cannot keep %1 in a temporary file: %2").arg(m_name, m_copy.errorString());
        return false;
    }
    QByteArray piece(int(kPiece), Qt::Uninitialized);
    for (;;) {
        const qint64 length = from->read(piece.data(), kPiece);
        if (length < 0) {
            *error = QStringLiteral("cannot read %1: %2").arg(m_name, from->errorString());
            return false;
        }
        if (length == 0)
            break;
        if (m_copy.write(piece.constData(), length) != length) {
            *error = QStringLiteral("cannot keep %1 in a temporary file: %2").arg(m_name, m_copy.errorString());
            return false;
        }
    }
    if (!m_copy.flush() || !m_copy.seek(0)) {
        *error = QStringLiteral("cannot keep %1 in a temporary file: %2").arg(m_name, m_copy.errorString());
        return false;
    }
    return true;
}

QIODevice *ScriptInput::device() const
{
    return m_device;
}

QString ScriptInput::name() const
{
    return m_name;
}
