#include "toolcommandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace ToolCommandLine {

QString version()
{
    return QStringLiteral(VELMORA_VERSION);
}

QString usageError(const QString &program, const QString &why)
{
    QString text = why;
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.endsWith(QLatin1String("(see --help)")))
        text += QStringLiteral(" (see --help)");
    return program + QStringLiteral(": ") + text;
}

Result parse(QCommandLineParser *parser, const QString &program, const QStringList &arguments, QString *message,
             bool acceptsPositional)
{
    const QCommandLineOption help = parser->addHelpOption();
    const QCommandLineOption versionOption = parser->addVersionOption();
    if (!parser->parse(QStringList{program} + arguments)) {
        // Qt quotes with single quotes; the programs' own messages use double ones.
        *message = usageError(program, parser->errorText().replace(QLatin1Char('\''), QLatin1Char('"')));
        return Result::Error;
    }
    if (parser->isSet(help) || parser->isSet(QStringLiteral("help-all"))) {
        // Qt names the program as it was started, path and all; the help (and the
        // manual page made from it) names it as a user types it.
        *message = parser->helpText();
        const QString started = QStringLiteral("Usage: ") + QCoreApplication::arguments().value(0);
        if (message->startsWith(started))
            message->replace(0, started.size(), QStringLiteral("Usage: ") + program);
        return Result::Help;
    }
    if (parser->isSet(versionOption)) {
        *message = QStringLiteral("%1 %2").arg(program, version());
        return Result::Version;
    }
    if (!acceptsPositional && !parser->positionalArguments().isEmpty()) {
        *message = usageError(program, QStringLiteral("unexpected argument \"%1\"")
                                           .arg(parser->positionalArguments().first()));
        return Result::Error;
    }
    return Result::Run;
}

int finish(Result result, const QString &message)
{
    switch (result) {
    case Result::Help:
    case Result::Version:
        QTextStream(stdout) << message << Qt::endl;
        return 0;
    case Result::Error:
        QTextStream(stderr) << message << Qt::endl;
        return kUsageError;
    case Result::Run:
        break;
    }
    return -1;
}

} // namespace ToolCommandLine
