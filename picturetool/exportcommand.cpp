#include "exportcommand.h"

#include "exportrun.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kMaxFiles = 20;

void printLine(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

int badUsage(std::FILE *err, const QString &reason)
{
    printLine(err, QStringLiteral("jpgtool: %1").arg(reason));
    printLine(err, QStringLiteral("Try 'jpgtool --help' for more information."));
    return ExportBadUsage;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
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

const char kDescription[] =
        "Exports pictures and logos as the window's Export buttons do, without a window.\n"
        "\n"
        "Each picture N (from 1, in the order given) is written as N_1920x1080.jpg and\n"
        "N_320x180.jpg, each logo as LogoN_480x540.jpg, into DIR; files of those names\n"
        "are replaced. A file given twice is exported once, as an import would list it.\n"
        "Prints one line per file written or picture skipped.\n"
        "\n"
        "Exit status: 0 when every file was written; 1 when a file could not be written\n"
        "(the export stops there) or a picture could not be read (it is skipped and the\n"
        "others keep their numbers); 2 on bad usage.";

} // namespace

bool wantsExportCommand(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        if (name == QLatin1String("--export") || name == QLatin1String("--picture")
            || name == QLatin1String("--logo") || name == QLatin1String("--help")
            || name == QLatin1String("-h"))
            return true;
    }
    return false;
}

int runExportCommand(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help(QStringList { "h", "help" }, "Show this help and exit.");
    const QCommandLineOption exportTo("export", "Write the files into <dir>, which must exist.", "dir");
    const QCommandLineOption picture("picture", "Export <file> as the next picture (at most 20).", "file");
    const QCommandLineOption logo("logo", "Export <file> as the next logo (at most 20).", "file");
    parser.addOptions({ help, exportTo, picture, logo });

    if (!parser.parse(arguments))
        return badUsage(err, parser.errorText());
    if (parser.isSet(help)) {
        std::fprintf(out, "%s", parser.helpText().replace(QLatin1String("[options]"),
                                                          QLatin1String("--export <dir> [options]"))
                                        .toLocal8Bit().constData());
        return ExportAllWritten;
    }
    if (!parser.positionalArguments().isEmpty())
        return badUsage(err, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    const QStringList directories = parser.values(exportTo);
    if (directories.isEmpty())
        return badUsage(err, QStringLiteral("--export <dir> is missing"));
    if (directories.size() > 1)
        return badUsage(err, QStringLiteral("--export is given more than once"));
    if (directories.first().isEmpty())
        return badUsage(err, QStringLiteral("the --export directory name is empty"));
    const QStringList pictures = importedList(parser.values(picture));
    const QStringList logos = importedList(parser.values(logo));
    if (pictures.size() > kMaxFiles)
        return badUsage(err, QStringLiteral("at most %1 pictures can be exported, %2 given").arg(kMaxFiles).arg(pictures.size()));
    if (logos.size() > kMaxFiles)
        return badUsage(err, QStringLiteral("at most %1 logos can be exported, %2 given").arg(kMaxFiles).arg(logos.size()));

    QVector<ExportItem> items;
    for (int i = 0; i < pictures.size(); ++i)
        items.append({ ExportItem::Picture, i, pictures[i] });
    for (int i = 0; i < logos.size(); ++i)
        items.append({ ExportItem::Logo, i, logos[i] });

    const QString directory = QDir::cleanPath(directories.first());
    const ExportOutcome outcome = runExport(
            directory, items,
            [out](int, const ExportItem &item, const RenditionResult &result, const QStringList &written) {
                for (const QString &file : written)
                    printLine(out, QStringLiteral("written %1").arg(native(file)));
                if (result.status == RenditionResult::SourceUnreadable)
                    printLine(out, QStringLiteral("skipped %1: not a picture that can be read").arg(native(item.sourcePath)));
            });

    if (outcome.failure.status == RenditionResult::WriteFailed) {
        printLine(err, QStringLiteral("jpgtool: could not write %1: %2; the export stopped there.")
                               .arg(native(outcome.failure.failedPath), outcome.failure.reason));
        return ExportIncomplete;
    }
    return outcome.skipped.isEmpty() ? ExportAllWritten : ExportIncomplete;
}
