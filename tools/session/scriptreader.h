#ifndef SCRIPTREADER_H
#define SCRIPTREADER_H

#include "plannedcommand.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// A script of commands, one a line, read as the run goes so that its length costs
// no memory:
//
//   # a comment line
//   e1:00                            # after a command, the comment names it
//   71:00 timeout=500                # this command's reply timeout in ms
//   43:00 timeout=300 expect=give-up # meant to go unanswered
//
// A command is written as on the command line (cmd:sub[:p1[:p2[:p3]]][/block]);
// expect= is answer (the default), drop (the reply rules drop its reply) or give-up.
class ScriptReader : public CommandSource
{
public:
    // Longer lines are refused rather than read whole: a 65,535-byte block in
    // hexadecimal and its command fit.
    static constexpr int kMaxLineLength = 1 << 18;

    enum class LineKind { Blank, Command, Bad };

    // The device is read from where it stands; name prefixes the messages.
    ScriptReader(QIODevice *device, const QString &name, const CommandDefaults &defaults);

    bool next(PlannedCommand *command) override;
    // "NAME:LINE: what is wrong", once next() has failed on a bad line or a read error.
    QString error() const override;

    // One line without its line end. Bad: *error says what is wrong, without the
    // line number.
    static LineKind parseLine(const QString &text, const CommandDefaults &defaults, PlannedCommand *command,
                              QString *error);

    // Reads the whole script once, keeping nothing: the number of commands, or -1
    // with the first error. The device is left at its end.
    static qint64 check(QIODevice *device, const QString &name, const CommandDefaults &defaults,
                        QString *error);

private:
    QIODevice *m_device;
    QString m_name;
    CommandDefaults m_defaults;
    int m_line = 0;
    QString m_error;
    QByteArray m_buffer;
};

#endif // SCRIPTREADER_H
