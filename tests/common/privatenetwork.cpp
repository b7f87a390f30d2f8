#include "privatenetwork.h"

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QProcess>
#include <QStringList>

namespace {

const char kInsideMarker[] = "VELMORA_PRIVATE_NETWORK";

QString s_unavailable = QStringLiteral("the private network was not set up (PrivateNetwork::runInside)");

// Runs a tool to its end; on failure says what went wrong.
bool run(const QString &program, const QStringList &arguments, QString *error)
{
    const QString command = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        *error = command + QStringLiteral(": ") + process.errorString();
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = command + QStringLiteral(" failed: ")
            + QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return false;
    }
    return true;
}

// The last line of defence: every interface this process sees must be loopback.
bool onlyLoopback(QString *error)
{
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces()) {
        if (!(i.flags() & QNetworkInterface::IsLoopBack)) {
            *error = QStringLiteral("interface %1 is not loopback: not a private network").arg(i.name());
            return false;
        }
    }
    return true;
}

void setUpInside()
{
    QString error;
    if (!onlyLoopback(&error)
        || !run(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
                                       QStringLiteral("up")}, &error)
        // With a default route over loopback a broadcast is delivered to this
        // machine's listeners; src makes it leave from 127.0.0.1, so answers have
        // an address to go to.
        || !run(QStringLiteral("ip"), {QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("default"),
                                       QStringLiteral("dev"), QStringLiteral("lo"), QStringLiteral("src"),
                                       QStringLiteral("127.0.0.1")}, &error)) {
        s_unavailable = error;
        return;
    }
    s_unavailable.clear();
}

} // namespace

bool PrivateNetwork::runInside(int argc, char **argv, int *exitCode)
{
    if (qEnvironmentVariable(kInsideMarker) == QLatin1String("1")) {
        setUpInside();
        return false;
    }

    QString error;
    if (!run(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("true")}, &error)) {
        s_unavailable = QStringLiteral("cannot make a private network namespace: ") + error;
        return false;
    }
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("--"), QCoreApplication::applicationFilePath()};
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kInsideMarker), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QStringLiteral("unshare"), arguments);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit) {
        *exitCode = 1;
        return true;
    }
    *exitCode = child.exitCode();
    return true;
}

QString PrivateNetwork::unavailableReason()
{
    return s_unavailable;
}

bool PrivateNetwork::addAddress(const QString &address, QString *error)
{
    if (!s_unavailable.isEmpty()) {
        *error = s_unavailable;
        return false;
    }
    return run(QStringLiteral("ip"), {QStringLiteral("addr"), QStringLiteral("add"), address, QStringLiteral("dev"),
                                      QStringLiteral("lo")}, error);
}
