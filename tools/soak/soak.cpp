// soak: drives many commands through the dispatcher and one medium while the
// simulated device misbehaves, disturbs the medium once, and accounts for every
// command. Several media run side by side, each in a process of its own (the
// dispatcher's queues are process-wide), and one table shows them all.
//
//   soak serial=10000 udp=10000 usb=3000
//
// Exits 0 when no command was lost, doubled, answered with another's content or
// left stuck.

#include "soakrunner.h"
#include "toolcommandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QProcess>
#include <QTextStream>

#include <memory>
#include <vector>

namespace {

struct Job
{
    SoakMedium::Kind medium;
    int commands;
};

// The largest fault scale: beyond it the rates add up past every command.
constexpr double kMaxFaultScale = 10.0;

bool parseCount(const QString &text, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value > 0;
}

bool parseJob(const QString &text, int defaultCommands, Job *job)
{
    const QStringList parts = text.split(QLatin1Char('='));
    if (parts.size() > 2 || !SoakMedium::parse(parts.at(0), &job->medium))
        return false;
    job->commands = defaultCommands;
    return parts.size() == 1 || parseCount(parts.at(1), &job->commands);
}

// "FROM-TO", commands counted from 0.
bool parseRange(const QString &text, int *from, int *to)
{
    const QStringList range = text.split(QLatin1Char('-'));
    bool okFrom = false;
    bool okTo = false;
    if (range.size() != 2)
        return false;
    *from = range.at(0).toInt(&okFrom);
    *to = range.at(1).toInt(&okTo);
    return okFrom && okTo && *from >= 0 && *from <= *to;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("soak"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Drives commands through the dispatcher and a medium while the simulated device "
        "misbehaves, and accounts for every command. Exit status: 0 when no command was "
        "lost, doubled, answered with another's content or left stuck, 1 otherwise, 2 on "
        "bad usage."));
    const QCommandLineOption commandsOption(QStringLiteral("commands"),
                                            QStringLiteral("Commands per medium unless MEDIUM=N says (2000)."),
                                            QStringLiteral("N"), QStringLiteral("2000"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the mix and the faults (1)."),
                                        QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption scaleOption(QStringLiteral("fault-scale"),
                                         QStringLiteral("Every fault rate times F (1); 0 for none."), QStringLiteral("F"),
                                         QStringLiteral("1"));
    const QCommandLineOption calmOption(QStringLiteral("no-disturb"), QStringLiteral("Leave the medium alone."));
    const QCommandLineOption detailOption(QStringLiteral("detail"),
                                          QStringLiteral("List the commands that went wrong or beyond the usual."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print the report of one run as JSON."));
    const QCommandLineOption traceOption(QStringLiteral("trace"),
                                         QStringLiteral("Show what happened to commands FROM to TO (one medium)."),
                                         QStringLiteral("FROM-TO"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Show the libraries' debug log on stderr."));
    parser.addOptions(
        {commandsOption, seedOption, scaleOption, calmOption, detailOption, jsonOption, traceOption, verboseOption});
    parser.addPositionalArgument(QStringLiteral("media"), QStringLiteral("serial, udp or usb, each optionally =N."),
                                 QStringLiteral("MEDIUM[=N]..."));
    QString message;
    const ToolCommandLine::Result read =
        ToolCommandLine::parse(&parser, QStringLiteral("soak"), app.arguments().mid(1), &message, true);
    if (read != ToolCommandLine::Result::Run)
        return ToolCommandLine::finish(read, message);

    const auto usage = [&err](const QString &why) {
        err << ToolCommandLine::usageError(QStringLiteral("soak"), why) << '\n';
        return ToolCommandLine::kUsageError;
    };
    for (const QCommandLineOption &option : {commandsOption, seedOption, scaleOption, traceOption}) {
        if (parser.values(option).size() > 1)
            return usage(QStringLiteral("--%1 given more than once").arg(option.names().first()));
    }
    int defaultCommands = 0;
    if (!parseCount(parser.value(commandsOption), &defaultCommands))
        return usage(QStringLiteral("--commands: \"%1\" is not a number of commands").arg(parser.value(commandsOption)));
    bool ok = false;
    const quint32 seed = parser.value(seedOption).toUInt(&ok);
    if (!ok)
        return usage(QStringLiteral("--seed: \"%1\" is not a number from 0 to 4294967295").arg(parser.value(seedOption)));
    const double faultScale = parser.value(scaleOption).toDouble(&ok);
    if (!ok || !(faultScale >= 0 && faultScale <= kMaxFaultScale))
        return usage(QStringLiteral("--fault-scale: \"%1\" is not a number from 0 to %2")
                         .arg(parser.value(scaleOption))
                         .arg(kMaxFaultScale));
    int traceFrom = -1;
    int traceTo = -1;
    if (parser.isSet(traceOption) && !parseRange(parser.value(traceOption), &traceFrom, &traceTo))
        return usage(QStringLiteral("--trace: \"%1\" is not FROM-TO, two command numbers").arg(parser.value(traceOption)));
    std::vector<Job> jobs;
    for (const QString &text : parser.positionalArguments()) {
        Job job;
        if (!parseJob(text, defaultCommands, &job))
            return usage(QStringLiteral("\"%1\" is not serial, udp or usb, optionally =N commands").arg(text));
        jobs.push_back(job);
    }
    if (jobs.empty())
        return usage(QStringLiteral("name at least one medium"));
    if (parser.isSet(traceOption) && jobs.size() > 1)
        return usage(QStringLiteral("--trace follows one medium; name one"));
    if (parser.isSet(traceOption) && traceTo >= jobs.front().commands)
        return usage(QStringLiteral("--trace: \"%1\" goes beyond the %2 commands, numbered from 0")
                         .arg(parser.value(traceOption))
                         .arg(jobs.front().commands));
    // The libraries narrate every frame; the table is what a soak run is for.
    if (!parser.isSet(verboseOption))
        QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));

    QList<SoakReport> reports;
    if (jobs.size() == 1) {
        SoakConfig config;
        config.medium = jobs.front().medium;
        config.commands = jobs.front().commands;
        config.seed = seed;
        config.disturb = !parser.isSet(calmOption);
        config.faultScale = faultScale;
        config.traceFrom = traceFrom;
        config.traceTo = traceTo;
        SoakRunner runner(config);
        reports.append(runner.run());
        if (parser.isSet(jsonOption)) {
            out << QJsonDocument(reports.first().toJson()).toJson(QJsonDocument::Compact) << '\n';
            return reports.first().faults() ? 1 : 0;
        }
    } else {
        std::vector<std::unique_ptr<QProcess>> children;
        for (const Job &job : jobs) {
            QStringList args{QStringLiteral("--json"), QStringLiteral("--seed"), QString::number(seed),
                             QStringLiteral("--fault-scale"), parser.value(scaleOption),
                             SoakMedium::name(job.medium) + QLatin1Char('=') + QString::number(job.commands)};
            if (parser.isSet(calmOption))
                args << QStringLiteral("--no-disturb");
            if (parser.isSet(verboseOption))
                args << QStringLiteral("--verbose");
            auto child = std::make_unique<QProcess>();
            child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child->start(QCoreApplication::applicationFilePath(), args);
            children.push_back(std::move(child));
        }
        for (size_t i = 0; i < children.size(); ++i) {
            QProcess &child = *children[i];
            child.waitForFinished(-1);
            const QJsonDocument doc = QJsonDocument::fromJson(child.readAllStandardOutput());
            SoakReport r = doc.isObject() ? SoakReport::fromJson(doc.object()) : SoakReport();
            if (!doc.isObject()) {
                r.medium = SoakMedium::name(jobs[i].medium);
                r.error = QStringLiteral("the run ended without a report");
            }
            reports.append(r);
        }
    }

    out << soakTable(reports);
    int faults = 0;
    for (const SoakReport &r : reports) {
        faults += r.faults();
        for (const QString &line : r.faultLines())
            out << r.medium << ": " << line << '\n';
        if (parser.isSet(detailOption) || parser.isSet(traceOption)) {
            for (const QString &line : r.detail)
                out << r.medium << ": " << line << '\n';
        }
    }
    return faults ? 1 : 0;
}
