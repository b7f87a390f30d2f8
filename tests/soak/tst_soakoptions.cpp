#include "platformconventions.h"
#include "ptydevice.h"

#include <QProcess>
#include <QtTest>

// The soak program's command line as a person types it: every value it cannot use
// ends it at once with exit status 2 and one line worded as the other programs word
// bad usage; a run is quiet unless --verbose asks for the libraries' debug log.
class TestSoakOptions : public QObject
{
    Q_OBJECT

private slots:
    void usage_data();
    void usage();
    void quietUnlessVerbose_data();
    void quietUnlessVerbose();
};

namespace {

struct Finished
{
    int exitCode = -1;
    QString out;
    QString err;
};

Finished runSoak(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(SOAK_PATH), arguments);
    Finished f;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return f;
    }
    f.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    f.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    f.err = QString::fromLocal8Bit(process.readAllStandardError());
    return f;
}

} // namespace

void TestSoakOptions::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message"); // stderr, whole

    QTest::newRow("fault scale not a number") << QStringList{"--fault-scale", "x", "serial=10"}
                                              << "soak: --fault-scale: \"x\" is not a number from 0 to 10 (see --help)\n";
    QTest::newRow("fault scale negative") << QStringList{"--fault-scale", "-1", "serial=10"}
                                          << "soak: --fault-scale: \"-1\" is not a number from 0 to 10 (see --help)\n";
    QTest::newRow("fault scale not finite") << QStringList{"--fault-scale", "nan", "serial=10"}
                                            << "soak: --fault-scale: \"nan\" is not a number from 0 to 10 (see --help)\n";
    QTest::newRow("seed not a number") << QStringList{"--seed", "abc", "serial=10"}
                                       << "soak: --seed: \"abc\" is not a number from 0 to 4294967295 (see --help)\n";
    QTest::newRow("seed negative") << QStringList{"--seed", "-1", "serial=10"}
                                   << "soak: --seed: \"-1\" is not a number from 0 to 4294967295 (see --help)\n";
    QTest::newRow("commands not a number: the option is named, not the medium")
        << QStringList{"--commands", "abc", "serial"} << "soak: --commands: \"abc\" is not a number of commands (see --help)\n";
    QTest::newRow("commands 0") << QStringList{"--commands", "0", "serial"}
                                << "soak: --commands: \"0\" is not a number of commands (see --help)\n";
    QTest::newRow("medium unknown") << QStringList{"modem=10"}
                                    << "soak: \"modem=10\" is not serial, udp or usb, optionally =N commands (see --help)\n";
    QTest::newRow("medium count not a number")
        << QStringList{"serial=many"} << "soak: \"serial=many\" is not serial, udp or usb, optionally =N commands (see --help)\n";
    QTest::newRow("no medium") << QStringList{} << "soak: name at least one medium (see --help)\n";
    QTest::newRow("trace not a range") << QStringList{"--trace", "5", "serial=10"}
                                       << "soak: --trace: \"5\" is not FROM-TO, two command numbers (see --help)\n";
    QTest::newRow("trace backwards") << QStringList{"--trace", "5-2", "serial=10"}
                                     << "soak: --trace: \"5-2\" is not FROM-TO, two command numbers (see --help)\n";
    QTest::newRow("trace beyond the run")
        << QStringList{"--trace", "0-2000000000", "serial=10"}
        << "soak: --trace: \"0-2000000000\" goes beyond the 10 commands, numbered from 0 (see --help)\n";
    QTest::newRow("trace of two media") << QStringList{"--trace", "0-1", "serial=10", "udp=10"}
                                        << "soak: --trace follows one medium; name one (see --help)\n";
    QTest::newRow("seed twice") << QStringList{"--seed", "1", "--seed", "2", "serial=10"}
                                << "soak: --seed given more than once (see --help)\n";
    QTest::newRow("unknown option") << QStringList{"--fast", "serial=10"}
                                    << "soak: Unknown option \"fast\" (see --help)\n";
}

void TestSoakOptions::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const Finished f = runSoak(arguments);
    QCOMPARE(f.err, message.replace(QLatin1Char('\n'), PlatformConventions::lineEnd()));
    QCOMPARE(f.exitCode, 2);
    QVERIFY2(f.out.isEmpty(), qPrintable(f.out));
}

void TestSoakOptions::quietUnlessVerbose_data()
{
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<QString>("medium");
    QTest::newRow("quiet, serial") << false << "serial";
    QTest::newRow("verbose, serial") << true << "serial";
    QTest::newRow("quiet, UDP") << false << "udp";
    QTest::newRow("verbose, UDP") << true << "udp";
}

// A short calm run: the table on stdout; the libraries' lines ("Send data:[A...]")
// on stderr only when asked.
void TestSoakOptions::quietUnlessVerbose()
{
    QFETCH(bool, verbose);
    QFETCH(QString, medium);
    // The serial run puts the simulated device on a pseudo-terminal, which Windows
    // does not have.
    if (medium == QLatin1String("serial") && !PtyDevice::supported())
        QSKIP("no pseudo-terminals here for the simulated serial device");

    QStringList arguments{"--no-disturb", "--fault-scale", "0", medium + QStringLiteral("=20")};
    if (verbose)
        arguments.prepend(QStringLiteral("--verbose"));
    const Finished f = runSoak(arguments);
    QCOMPARE(f.exitCode, 0);
    QVERIFY2(f.out.contains(QLatin1String("answered")), qPrintable(f.out));
    QCOMPARE(f.err.contains(QLatin1String("Send data:")), verbose);
}

QTEST_GUILESS_MAIN(TestSoakOptions)
#include "tst_soakoptions.moc"
