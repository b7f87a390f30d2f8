#ifndef QUIETLINE_H
#define QUIETLINE_H

#include <QString>

// A serial line on which nothing ever arrives, for what an open transport costs
// while idle: portName() is what its host side opens; empty, with the reason in
// error(), where the system has no such line to make.
class QuietLine
{
public:
    QuietLine();
    ~QuietLine();

    QuietLine(const QuietLine &) = delete;
    QuietLine &operator=(const QuietLine &) = delete;

    QString portName() const { return m_portName; }
    QString error() const { return m_error; }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_portName;
    QString m_error;
};

#endif // QUIETLINE_H
