#include "exportcommand.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

// The program is built as a window program, which starts without a console. Started
// from one for an export, it writes to that console, unless its output is redirected
// already.
void useParentConsole()
{
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN)
        return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!std::freopen("CONOUT$", "w", stdout) || !std::freopen("CONOUT$", "w", stderr))
            return;
    }
}
#endif

int main(int argc, char *argv[])
{
    const QString undecodable = undecodableArgument(argc, argv);
    if (!undecodable.isEmpty()) {
        std::fprintf(stderr, "%s\n", undecodable.toLocal8Bit().constData());
        return ExportBadUsage;
    }
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    // The options are read first: only the window needs a display, and without one the
    // toolkit would abort instead of saying so.
    const CommandLine command = parseCommandLine(arguments);
    if (command.action != CommandLine::Window) {
#ifdef _WIN32
        useParentConsole();
#endif
        QCoreApplication app(argc, argv);
        return runCommandLine(command, stdout, stderr);
    }
    if (!displayAvailable()) {
        std::fprintf(stderr, "%s\n", noDisplayMessage().toLocal8Bit().constData());
        return ExportBadUsage;
    }

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
