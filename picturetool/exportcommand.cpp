#include "exportcommand.h"

#include "exportrun.h"
#include "jpegprobe.h"
#include "shownname.h"
#include "sourceimage.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kMaxFiles = 20;

void printLine(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}


// One sentence from a reason that may or may not end in a full stop.
QString sentence(QString text)
{
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text + QLatin1Char('.');
}

// The list the window would hold after importing files in this order: absolute
// paths, each once.
QStringList importedList(const QStringList &files)
{
    QStringList list;
    for (const QString &file : files) {
        const QString path = QFileInfo(file).absoluteFilePath();
        if (!list.contains(path))
            list.append(path);
    }
    return list;
}

const char kUsage[] = "Usage: jpgtool [--export <dir> [--picture <file>]... [--logo <file>]...]";

QString description()
{
    return QStringLiteral(
            "Without options, opens the window. With --export, writes the files the window's\n"
            "Export buttons would write, without a window or a display.\n"
            "\n"
            "Each picture N (from 1, in the order given) is written as N_1920x1080.jpg and\n"
            "N_320x180.jpg, each logo as LogoN_480x540.jpg, into DIR; files of those names\n"
            "are replaced. A file given twice is exported once, as an import would list it.\n"
            "Prints one line per file written on standard output, and each file skipped or\n"
            "written with a warning on standard error.\n"
            "\n"
            "Sources of more than %1 megapixels, or whose decoding would need more than the\n"
            "1 GiB budget, or JPEGs of more than %2 scans, are refused before they are\n"
            "decoded; a JPEG whose decoding is more work than its size can need is stopped.\n"
            "Only regular files are read. A picture or logo that is refused or does not fit\n"
            "in memory, and a picture that cannot be read, is skipped and the others keep\n"
            "their numbers; a logo that cannot be read is written black. Transparency is\n"
            "laid over black. Damaged data is exported as far as it decodes.\n"
            "\n"
            "Exit status: 0 when every file was written as given; 1 when a file could not\n"
            "be written (the export stops there), a source was skipped, damaged or written\n"
            "black; 2 on bad usage, or when the window is asked for without a display.")
            .arg(kMaxSourcePixels / 1000000)
            .arg(kMaxJpegScans);
}

struct Options
{
    QCommandLineOption help { QStringList { "h", "help" }, "Show this help and exit." };
    QCommandLineOption version { QStringList { "v", "version" }, "Show the version and exit." };
    QCommandLineOption exportTo { "export", "Write the files into <dir>, which must exist.", "dir" };
    QCommandLineOption picture { "picture", "Export <file> as the next picture (at most 20).", "file" };
    QCommandLineOption logo { "logo", "Export <file> as the next logo (at most 20).", "file" };

    void addTo(QCommandLineParser &parser) const
    {
        parser.setApplicationDescription(description());
        parser.addOptions({ help, version, exportTo, picture, logo });
    }
};

CommandLine badUsage(const QString &reason)
{
    CommandLine command;
    command.action = CommandLine::BadUsage;
    command.error = reason;
    return command;
}

// Reports each item of the export as it is written, and whether anything went other
// than asked.
class ExportPrinter
{
public:
    ExportPrinter(std::FILE *out, std::FILE *err)
        : m_out(out),
          m_err(err)
    {
    }

    void report(const ExportItem &item, const RenditionResult &result, const QStringList &written)
    {
        for (const QString &file : written)
            printLine(m_out, QStringLiteral("written %1").arg(shownPath(file)));
        const QString source = shownPath(item.sourcePath);
        if (result.status == RenditionResult::Skipped) {
            printLine(m_err, QStringLiteral("skipped %1: %2").arg(source, result.reason));
            m_allAsAsked = false;
        }
        if (result.blackPlaceholder && !written.isEmpty()) {
            printLine(m_err, QStringLiteral("warning: %1: %2; %3 was written black")
                                     .arg(source, result.reason, QFileInfo(written.first()).fileName()));
            m_allAsAsked = false;
        }
        if (!result.warning.isEmpty() && !written.isEmpty()) {
            printLine(m_err, QStringLiteral("warning: %1: damaged (%2); written from what could be decoded")
                                     .arg(source, result.warning));
            m_allAsAsked = false;
        }
    }

    bool allAsAsked() const { return m_allAsAsked; }

private:
    std::FILE *m_out;
    std::FILE *m_err;
    bool m_allAsAsked = true;
};

int runExport(const CommandLine &command, std::FILE *out, std::FILE *err)
{
    QVector<ExportItem> items;
    for (int i = 0; i < command.pictures.size(); ++i)
        items.append({ ExportItem::Picture, i, command.pictures[i] });
    for (int i = 0; i < command.logos.size(); ++i)
        items.append({ ExportItem::Logo, i, command.logos[i] });

    ExportPrinter printer(out, err);
    const ExportOutcome outcome = runExport(
            command.directory, items,
            [&printer](int, const ExportItem &item, const RenditionResult &result, const QStringList &written) {
                printer.report(item, result, written);
            });

    if (outcome.failure.status == RenditionResult::WriteFailed) {
        printLine(err, QStringLiteral("jpgtool: could not write %1: %2 The export stopped there.")
                               .arg(shownPath(outcome.failure.failedPath), sentence(outcome.failure.reason)));
        return ExportIncomplete;
    }
    return printer.allAsAsked() ? ExportAllWritten : ExportIncomplete;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    const Options o;
    QCommandLineParser parser;
    o.addTo(parser);
    // Qt quotes with single quotes; the tools' own messages use double ones.
    if (!parser.parse(arguments))
        return badUsage(parser.errorText().replace(QLatin1Char('\''), QLatin1Char('"')));
    CommandLine command;
    if (parser.isSet(o.help)) {
        command.action = CommandLine::Help;
        return command;
    }
    if (parser.isSet(o.version)) {
        command.action = CommandLine::Version;
        return command;
    }
    if (!parser.positionalArguments().isEmpty())
        return badUsage(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    const QStringList directories = parser.values(o.exportTo);
    const QStringList pictures = importedList(parser.values(o.picture));
    const QStringList logos = importedList(parser.values(o.logo));
    if (directories.isEmpty() && pictures.isEmpty() && logos.isEmpty())
        return command;
    if (directories.isEmpty())
        return badUsage(QStringLiteral("--export <dir> is missing"));
    if (directories.size() > 1)
        return badUsage(QStringLiteral("--export is given more than once"));
    if (directories.first().isEmpty())
        return badUsage(QStringLiteral("the --export directory name is empty"));
    if (pictures.isEmpty() && logos.isEmpty())
        return badUsage(QStringLiteral("nothing to export: give --picture or --logo files"));
    if (pictures.size() > kMaxFiles)
        return badUsage(QStringLiteral("at most %1 pictures can be exported, %2 given").arg(kMaxFiles).arg(pictures.size()));
    if (logos.size() > kMaxFiles)
        return badUsage(QStringLiteral("at most %1 logos can be exported, %2 given").arg(kMaxFiles).arg(logos.size()));
    command.action = CommandLine::Export;
    command.directory = QDir::cleanPath(directories.first());
    command.pictures = pictures;
    command.logos = logos;
    return command;
}

int runCommandLine(const CommandLine &command, std::FILE *out, std::FILE *err)
{
    switch (command.action) {
    case CommandLine::Help: {
        const Options o;
        QCommandLineParser parser;
        o.addTo(parser);
        // The first line names the program as it is installed, not as it was started,
        // so that the text is the same wherever it is run from.
        QString text = parser.helpText();
        text = QString::fromLatin1(kUsage) + text.mid(text.indexOf(QLatin1Char('\n')));
        std::fprintf(out, "%s", text.toLocal8Bit().constData());
        return ExportAllWritten;
    }
    case CommandLine::Version:
        printLine(out, QStringLiteral("jpgtool %1").arg(QStringLiteral(VELMORA_VERSION)));
        return ExportAllWritten;
    case CommandLine::Export:
        return runExport(command, out, err);
    case CommandLine::BadUsage:
    case CommandLine::Window:   // the caller's to open
        break;
    }
    // Worded as the other programs word bad usage: one line, the reason, where to look.
    QString why = command.error;
    if (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    printLine(err, QStringLiteral("jpgtool: %1 (see --help)").arg(why));
    return ExportBadUsage;
}

QString undecodableArgument(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (QFile::encodeName(QFile::decodeName(raw)) != raw)
            return QStringLiteral("jpgtool: the name %1 is not valid in the system's encoding, so it cannot be "
                                  "opened by it; rename the file (see --help)")
                    .arg(shownBytes(raw));
    }
    return QString();
}

bool displayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" }) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    return false;
#else
    return true;
#endif
}

QString noDisplayMessage()
{
    return QStringLiteral("jpgtool: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                          "The export works without one: jpgtool --export <dir> --picture <file> --logo <file> (see --help)");
}
