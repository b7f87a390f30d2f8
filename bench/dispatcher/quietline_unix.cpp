#include "quietline.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// A pseudo-terminal pair in raw mode; the master is kept open and never written.
QuietLine::QuietLine()
{
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        m_error = QStringLiteral("no pseudo-terminal (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    termios tio;
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_slave, TCSANOW, &tio);
    char name[256] = {};
    ttyname_r(m_slave, name, sizeof name);
    m_portName = QString::fromLocal8Bit(name);
}

QuietLine::~QuietLine()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}
