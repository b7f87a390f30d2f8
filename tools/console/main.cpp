// hostconsole: sees and drives devices on every medium, in a window. Started with
// hostcli's medium options and a script, it opens straight into a session, and can
// keep it (--save) and a picture of itself (--screenshot) when the script ends.

#include "consolesession.h"
#include "consolewindow.h"
#include "hostlog.h"
#include "hostoptions.h"
#include "scriptreader.h"
#include "sessionreader.h"
#include "toolcommandline.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QPixmap>
#include <QRegularExpression>
#include <QSettings>
#include <QSize>
#include <QTextStream>
#include <QTimer>

namespace {

struct Options
{
    HostOptions host;
    bool medium = false;
    QString session;
    QString script;
    QString save;
    QString screenshot;
    // The window's size as given; invalid: the size it was left at, or one the screen
    // has room for.
    QSize size;
    QString log;
};

// "1366x768": a size a window can take; an invalid size otherwise.
QSize readSize(const QString &text)
{
    static const QRegularExpression kSize(QStringLiteral("^(\\d{3,5})x(\\d{3,5})$"));
    const QRegularExpressionMatch m = kSize.match(text);
    const QSize size = m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
    return size.width() <= 16384 && size.height() <= 16384 ? size : QSize();
}

// Reads the arguments into *o; a Help, Version or Error result with *message as
// ToolCommandLine gives it.
ToolCommandLine::Result parse(const QStringList &arguments, Options *o, QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "See and drive devices on every medium in a window: the traffic as a table, the counters and the round "
        "trips, the devices that answer a broadcast, commands and scripts sent as hostcli sends them. Given a "
        "medium (and a script), it opens straight into a session; given a saved session (hostcli --json's "
        "lines), it shows it."));
    HostCommandLine::addMediumOptions(&parser);
    const QCommandLineOption script(QStringLiteral("script"),
                                    QStringLiteral("Run the commands of FILE on the medium once it is open, as "
                                                   "hostcli --script does."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption save(QStringLiteral("save"),
                                  QStringLiteral("Write the session to FILE, as hostcli --json's lines, when the "
                                                 "script (or the broadcast) has ended."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window (PNG) to FILE once the script "
                                                       "(or the broadcast) has ended, or the medium is open, then "
                                                       "quit with the script's exit status."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("Open the window at this size (1366x768), as on a screen that "
                                                 "size: for pictures of it."),
                                  QStringLiteral("WIDTHxHEIGHT"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Write each event to FILE as it comes, as hostcli --json's lines, "
                                                "so that a crash loses none of them."),
                                 QStringLiteral("FILE"));
    parser.addOptions({script, save, screenshot, size, log});
    parser.addPositionalArgument(QStringLiteral("session"), QStringLiteral("A saved session to browse."),
                                 QStringLiteral("[session]"));
    const ToolCommandLine::Result read =
        ToolCommandLine::parse(&parser, QStringLiteral("hostconsole"), arguments, message, true);
    if (read == ToolCommandLine::Result::Help) {
        // hostcli's words for --broadcast name its --cmd, which hostconsole has
        // not: its broadcast always sends the status command.
        static const QRegularExpression kCmd(QStringLiteral("\\(the\\s+--cmd\\s+given,\\s+default\\s+71:00\\)"));
        message->replace(kCmd, QStringLiteral("(71:00)"));
    }
    if (read != ToolCommandLine::Result::Run)
        return read;

    QString why;
    if (parser.positionalArguments().size() > 1)
        why = QStringLiteral("give at most one session to browse");
    else if (!HostCommandLine::readMedium(parser, &o->host, &o->medium, &why))
        why = why.isEmpty() ? QStringLiteral("bad medium") : why;
    for (const QCommandLineOption &option : {script, save, screenshot, size, log}) {
        if (why.isEmpty() && parser.values(option).size() > 1)
            why = QStringLiteral("--%1 given more than once").arg(option.names().first());
    }
    o->session = parser.positionalArguments().value(0);
    o->script = parser.value(script);
    o->save = parser.value(save);
    o->screenshot = parser.value(screenshot);
    o->size = readSize(parser.value(size));
    o->log = parser.value(log);
    const bool broadcast = o->medium && o->host.medium == HostOptions::Medium::Broadcast;
    if (!why.isEmpty()) {
    } else if (o->medium && !o->session.isEmpty()) {
        why = QStringLiteral("give a medium or a session to browse, not both");
    } else if (parser.isSet(script) && (o->script.isEmpty() || !o->medium || broadcast)) {
        why = broadcast ? QStringLiteral("--script: --broadcast sends one command of its own")
                        : QStringLiteral("--script: give a file, and a medium to run it on (--port, --udp, --usb)");
    } else if (parser.isSet(save) && (o->save.isEmpty() || (o->script.isEmpty() && !broadcast))) {
        why = QStringLiteral("--save: give a file, and --script or --broadcast, whose end it waits for");
    } else if (parser.isSet(screenshot) && o->screenshot.isEmpty()) {
        why = QStringLiteral("--screenshot: give a file");
    } else if (parser.isSet(size) && !o->size.isValid()) {
        why = QStringLiteral("--size: give the width and height in pixels, as 1366x768");
    } else if (parser.isSet(log) && (o->log.isEmpty() || !o->medium)) {
        why = QStringLiteral("--log: give a file, and a medium whose events it keeps (--port, --udp, --usb, "
                             "--broadcast)");
    }
    if (!why.isEmpty()) {
        *message = ToolCommandLine::usageError(QStringLiteral("hostconsole"), why);
        return ToolCommandLine::Result::Error;
    }
    return ToolCommandLine::Result::Run;
}

// A bad script stops the start before anything opens, as in hostcli.
bool checkScript(const QString &path, QString *message)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *message = QStringLiteral("--script: cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const qint64 commands = ScriptReader::check(&file, path, CommandDefaults(), message);
    if (commands == 0)
        *message = QStringLiteral("%1: no commands in it").arg(path);
    return commands > 0;
}

// Whether the arguments ask only for words (--help, --version), which need no
// display: a window system that is not there would abort the program.
bool onlyWords(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--")
            break;
        if (a == "-h" || a == "--help" || a == "--help-all" || a == "-?" || a == "-v" || a == "--version")
            return true;
    }
    return false;
}

int words(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hostconsole"));
    QCoreApplication::setApplicationVersion(ToolCommandLine::version());
    Options o;
    QString message;
    return ToolCommandLine::finish(parse(app.arguments().mid(1), &o, &message), message);
}

// A window started for a picture has no one to close a message box: its errors go
// to stderr instead.
class StartedWindow : public ConsoleWindow
{
public:
    bool errorsToStderr = false;

protected:
    void showError(const QString &text) override
    {
        if (!errorsToStderr) {
            ConsoleWindow::showError(text);
            return;
        }
        QTextStream(stderr) << "hostconsole: " << text << Qt::endl;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (onlyWords(argc, argv))
        return words(argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("velmora"));
    QApplication::setApplicationName(QStringLiteral("hostconsole"));
    QApplication::setApplicationVersion(ToolCommandLine::version());
    QTextStream err(stderr);

    Options o;
    QString message;
    const ToolCommandLine::Result read = parse(app.arguments().mid(1), &o, &message);
    if (read != ToolCommandLine::Result::Run)
        return ToolCommandLine::finish(read, message);
    if (!o.script.isEmpty() && !checkScript(o.script, &message)) {
        err << "hostconsole: " << message << Qt::endl;
        return ToolCommandLine::kUsageError;
    }

    HostLog::install(false);
    StartedWindow window;
    window.errorsToStderr = !o.screenshot.isEmpty();
    // A picture made for the documentation has the same size every time; a window
    // a person opens has the size it was left at.
    QSettings settings;
    const bool remember = o.screenshot.isEmpty();
    if (remember)
        window.restoreSize(settings);
    if (o.size.isValid())
        window.resize(o.size);
    window.show();
    // What stops a file is said here at once; the file itself is read in the
    // background as File → Open reads it, so that a large one does not hold the window.
    if (!o.session.isEmpty()) {
        QFile file(o.session);
        if (!SessionReader::openFile(&file, &message)) {
            err << "hostconsole: " << message << Qt::endl;
            return 1;
        }
    }

    // What the start waits for before it keeps the session and the picture: the
    // script's (or the broadcast's) end, or else the medium settled.
    bool done = false;
    auto finish = [&](int exitCode) {
        if (done)
            return;
        done = true;
        QString error;
        if (!o.save.isEmpty() && !window.saveSession(o.save, &error)) {
            err << "hostconsole: " << error << Qt::endl;
            exitCode = 1;
        }
        if (o.screenshot.isEmpty())
            return;
        window.showNewestReply();
        // Time for the last batch and the layout to reach the screen.
        QTimer::singleShot(300, &window, [&window, &o, &err, exitCode] {
            const bool saved = window.grab().save(o.screenshot, "PNG");
            if (!saved)
                err << "hostconsole: cannot save the picture to " << o.screenshot << Qt::endl;
            QApplication::exit(saved ? exitCode : 1);
        });
    };
    const bool run = !o.script.isEmpty() || (o.medium && o.host.medium == HostOptions::Medium::Broadcast);
    QObject::connect(&window, &ConsoleWindow::runEnded, &window, finish);
    QObject::connect(window.session(), &ConsoleSession::refused, &window, [&](const QString &why) {
        if (done)
            return;
        err << "hostconsole: " << why << Qt::endl;
        finish(1);
    });
    QObject::connect(window.session(), &ConsoleSession::stateChanged, &window,
                     [&](MediumState state, const QString &detail) {
                         if (done)
                             return;
                         if (state == MediumState::Failed) {
                             err << "hostconsole: " << detail << Qt::endl;
                             finish(1);
                         } else if (!run && state != MediumState::Opening) {
                             finish(0);
                         }
                     });
    if (!o.log.isEmpty() && !window.startLog(o.log, &message)) {
        err << "hostconsole: " << message << Qt::endl;
        return 1;
    }
    if (o.medium) {
        window.openMedium(o.host);
        if (!o.script.isEmpty())
            window.session()->runScript(o.script);
    } else if (!o.session.isEmpty()) {
        QObject::connect(&window, &ConsoleWindow::sessionOpenEnded, &window,
                         [&](bool shown) { finish(shown ? 0 : 1); });
        window.openSessionInBackground(o.session);
    } else {
        finish(0);
    }
    const int exitCode = app.exec();
    if (remember)
        window.keepSize(&settings);
    return exitCode;
}
