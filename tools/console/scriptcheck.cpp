#include "scriptcheck.h"

#include "scriptreader.h"

#include <QStringList>

ScriptCheck ScriptCheck::of(const QString &text, const CommandDefaults &defaults)
{
    ScriptCheck check;
    auto refuse = [&check](int line, const QString &why) {
        ++check.problemCount;
        if (check.problems.size() < kMaxProblems)
            check.problems.append(Problem{line, why});
    };
    // Split as the reader splits: at \n, a \r before it dropped.
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString raw = lines.at(i);
        // The empty piece after a last line end is no line.
        if (i == lines.size() - 1 && raw.isEmpty())
            break;
        if (raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        const int number = i + 1;
        if (raw.toUtf8().size() > ScriptReader::kMaxLineLength) {
            refuse(number, QStringLiteral("line longer than %1 characters").arg(ScriptReader::kMaxLineLength));
            continue;
        }
        const int nul = raw.indexOf(QChar(0));
        if (nul >= 0) {
            refuse(number, QStringLiteral("%1: a NUL byte; a script is text").arg(nul + 1));
            continue;
        }
        PlannedCommand command;
        QString why;
        switch (ScriptReader::parseLine(raw, defaults, &command, &why)) {
        case ScriptReader::LineKind::Blank:
            break;
        case ScriptReader::LineKind::Command:
            ++check.commands;
            break;
        case ScriptReader::LineKind::Bad:
            refuse(number, why);
            break;
        }
    }
    return check;
}
