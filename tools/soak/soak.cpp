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

bool parseJob(const QString &text, int defaultCommands, Job *job)
{
    const QStringList parts = text.split(QLatin1Char('='));
    if (parts.size() > 2 || !SoakMedium::parse(parts.at(0), &job->medium))
        return false;
    job->commands = defaultCommands;
    if (parts.size() == 2) {
        bool ok = false;
        job->commands = parts.at(1).toInt(&ok);
        return ok && job->commands > 0;
    }
    return true;
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
    parser.addOptions({commandsOption, seedOption, scaleOption, calmOption, detailOption, jsonOption, traceOption});
    parser.addPositionalArgument(QStringLiteral("media"), QStringLiteral("serial, udp or usb, each optionally =N."),
                                 QStringLiteral("MEDIUM[=N]..."));
    QString message;
    const ToolCommandLine::Result read =
        ToolCommandLine::parse(&parser, QStringLiteral("soak"), app.arguments().mid(1), &message, true);
    if (read != ToolCommandLine::Result::Run)
        return ToolCommandLine::finish(read, message);

    bool ok = false;
    const int defaultCommands = parser.value(commandsOption).toInt(&ok);
    const quint32 seed = parser.value(seedOption).toUInt();
    std::vector<Job> jobs;
    for (const QString &text : parser.positionalArguments()) {
        Job job;
        if (!ok || !parseJob(text, defaultCommands, &job)) {
            err << "soak: expected serial, udp or usb, optionally =N, got \"" << text << "\"\n";
            return ToolCommandLine::kUsageError;
        }
        jobs.push_back(job);
    }
    if (jobs.empty()) {
        err << "soak: name at least one medium (see --help)\n";
        return ToolCommandLine::kUsageError;
    }

    QList<SoakReport> reports;
    if (jobs.size() == 1) {
        SoakConfig config;
        config.medium = jobs.front().medium;
        config.commands = jobs.front().commands;
        config.seed = seed;
        config.disturb = !parser.isSet(calmOption);
        config.faultScale = parser.value(scaleOption).toDouble();
        const QStringList range = parser.value(traceOption).split(QLatin1Char('-'));
        if (range.size() == 2) {
            config.traceFrom = range.at(0).toInt();
            config.traceTo = range.at(1).toInt();
        }
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
