#ifndef COMMANDDRAFT_H
#define COMMANDDRAFT_H

#include "plannedcommand.h"

#include <QString>

// A command as a person types it into the composer: every byte in hexadecimal,
// with or without "0x"; empty parameters are 0. It becomes a command the way a
// line of a hostcli script does, by the script reader itself, so the defaults and
// the rules live in one place.
struct CommandDraft
{
    QString head = QStringLiteral("01");
    QString cmd;
    QString sub;
    QString p1;
    QString p2;
    QString p3;
    // Hex bytes, spaces allowed; "HEX*N" repeats them as in a script.
    QString block;
    int timeoutMs = CommandDefaults().timeoutMs;
    bool broadcast = false;

    struct Check
    {
        // Whether it may be sent; error says why not.
        bool ok = false;
        QString error;
        // Sendable, but worth a look.
        QString warning;
        // The block's bytes, and what p2 (low) and p3 (high) announce; -1 while
        // the text does not give them.
        int blockLength = -1;
        int announcedLength = -1;
        // The same command as a line of a script (head and send mode aside).
        QString scriptLine;
        PlannedCommand command;
    };

    Check check() const;
};

#endif // COMMANDDRAFT_H
