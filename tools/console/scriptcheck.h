#ifndef SCRIPTCHECK_H
#define SCRIPTCHECK_H

#include "plannedcommand.h"

#include <QString>
#include <QVector>

// A script's text as a person edits it, read line by line as ScriptReader reads a
// file: how many commands it holds and every line it would refuse, not only the
// first, each with its number.
struct ScriptCheck
{
    // More are counted, not listed: a pasted file of garbage stays quick to show.
    static constexpr int kMaxProblems = 100;

    struct Problem
    {
        int line = 0; // from 1
        QString text; // what is wrong, without the line number
    };

    qint64 commands = 0;
    QVector<Problem> problems;
    qint64 problemCount = 0;

    bool ok() const { return problemCount == 0; }

    static ScriptCheck of(const QString &text, const CommandDefaults &defaults = CommandDefaults());
};

#endif // SCRIPTCHECK_H
