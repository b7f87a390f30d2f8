#ifndef PLANNEDCOMMAND_H
#define PLANNEDCOMMAND_H

#include "protocoldata.h"

#include <QList>
#include <QString>

// How a command ends, as the host sees it: its reply accepted, its reply dropped
// by the reply rules, given up after the resend, or none of these (the queue moved
// on without a reply of its serial number, or the run stopped first).
enum class Outcome { Pending, Answered, Dropped, GivenUp, Unaccounted };

// What a record lacks when a person types only cmd:sub...: the frame head, the
// reply timeout and the send mode.
struct CommandDefaults
{
    int timeoutMs = 1000;
    unsigned char head = 0x01;
    unsigned char sendMode = 0; // 1: broadcast
};

// One command of a run and how it is meant to end.
struct PlannedCommand
{
    ProtocolData command;
    // What the reports call it: the script line's comment, or the command's text.
    QString label;
    Outcome expected = Outcome::Answered;
    // The script line it came from; 0 for a command from the command line.
    int line = 0;
};

// Where a run takes its commands from, one at a time, so that a long script is
// never held whole.
class CommandSource
{
public:
    virtual ~CommandSource() = default;
    // The next command; false at the end, or when the source failed (error() then
    // says why).
    virtual bool next(PlannedCommand *command) = 0;
    virtual QString error() const { return QString(); }
};

// Commands given up front (--cmd, the demonstration's steps).
class ListSource : public CommandSource
{
public:
    explicit ListSource(const QList<PlannedCommand> &commands)
        : m_commands(commands)
    {
    }

    bool next(PlannedCommand *command) override
    {
        if (m_next >= m_commands.size())
            return false;
        *command = m_commands.at(m_next++);
        return true;
    }

private:
    QList<PlannedCommand> m_commands;
    int m_next = 0;
};

#endif // PLANNEDCOMMAND_H
