#include "consolewindow.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hostconsole"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("See and drive devices on every medium."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("session"), QStringLiteral("A saved session to browse (JSON lines)."),
                                 QStringLiteral("[session]"));
    parser.process(app);

    ConsoleWindow window;
    window.show();
    const QString session = parser.positionalArguments().value(0);
    QString error;
    if (!session.isEmpty() && !window.openSession(session, &error)) {
        qWarning("%s", qPrintable(error));
        return 1;
    }
    return app.exec();
}
