#include "platformconventions.h"
#include "udpdevice.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

// hostconsole started as a test or a documentation script starts it: exit codes
// and messages for good and bad usage, and a scripted run that keeps its session
// and a picture of its window.
class TestHostConsole : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void start_data();
    void start();
    void wordsWithoutDisplay_data();
    void wordsWithoutDisplay();

private:
    QTemporaryDir m_dir;
    UdpDevice m_device{UdpDevice::ownLoopbackAddress()};
    QString m_script;
};

void TestHostConsole::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(m_device.start(&error), qPrintable(error));
    m_script = m_dir.filePath(QStringLiteral("two.txt"));
    QFile script(m_script);
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write("71:00\n77:21\n") > 0);
}

void TestHostConsole::start_data()
{
    QTest::addColumn<QStringList>("arguments"); // {device}, {script} and {dir} are filled in
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // stdout or stderr must contain

    const QString usage = QStringLiteral(" (see --help)") + PlatformConventions::lineEnd();
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: hostconsole [options] [session]";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "hostconsole 1.";
    QTest::newRow("unknown option") << QStringList{"--frob"} << 2 << "hostconsole: Unknown option \"frob\"" + usage;
    QTest::newRow("bad medium value (hostcli's parser)")
        << QStringList{"--port", "/dev/null", "--baud", "0"} << 2
        << "hostconsole: --baud: \"0\" is not a positive number of bits per second" + usage;
    QTest::newRow("two media") << QStringList{"--udp", "{device}", "--usb", "4c56:0105"} << 2
                               << "hostconsole: give one of --port NAME";
    QTest::newRow("script without a medium") << QStringList{"--script", "{script}"} << 2
                                             << "hostconsole: --script: give a file, and a medium";
    QTest::newRow("save without a run") << QStringList{"--udp", "{device}", "--save", "{dir}/s.jsonl"} << 2
                                        << "--script or --broadcast, whose end it waits for" + usage;
    QTest::newRow("script with a bad line") << QStringList{"--udp", "{device}", "--script", "{dir}/bad.txt"} << 2
                                            << "bad.txt:1: ";
    QTest::newRow("saved session that does not exist") << QStringList{"{dir}/none.jsonl"} << 1
                                                       << "hostconsole: ";
    QTest::newRow("scripted run, kept")
        << QStringList{"--udp", "{device}", "--script", "{script}", "--save", "{dir}/run.jsonl", "--screenshot",
                       "{dir}/run.png"}
        << 0 << "";
    QTest::newRow("scripted run, its picture 1366x768")
        << QStringList{"--udp", "{device}", "--script", "{script}", "--save", "{dir}/run.jsonl", "--screenshot",
                       "{dir}/run.png", "--size", "1366x768"}
        << 0 << "";
    QTest::newRow("saved session, its picture")
        << QStringList{"{dir}/kept.jsonl", "--screenshot", "{dir}/run.png", "--size", "1366x768"} << 0 << "";
    QTest::newRow("size not a size") << QStringList{"--size", "1366"} << 2
                                     << "hostconsole: --size: give the width and height in pixels, as 1366x768" + usage;
    QTest::newRow("size past any screen") << QStringList{"--size", "99999x768"} << 2 << "hostconsole: --size: ";
    QTest::newRow("log without a medium") << QStringList{"--log", "{dir}/live.jsonl"} << 2
                                          << "hostconsole: --log: give a file, and a medium";
    QTest::newRow("log to a folder") << QStringList{"--udp", "{device}", "--log", "{dir}"} << 1
                                     << "not a regular file";
    QTest::newRow("scripted run, logged as it went")
        << QStringList{"--udp", "{device}", "--script", "{script}", "--save", "{dir}/logged.jsonl", "--log",
                       "{dir}/live.jsonl", "--screenshot", "{dir}/logged.png"}
        << 0 << "";
}

void TestHostConsole::start()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFile bad(m_dir.filePath(QStringLiteral("bad.txt")));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("71:00 expect=never\n") > 0);
    bad.close();
    QFile kept(m_dir.filePath(QStringLiteral("kept.jsonl")));
    QVERIFY(kept.open(QIODevice::WriteOnly)
            && kept.write("{\"event\":\"open\",\"medium\":\"UDP\",\"description\":\"127.0.0.2:5000\"}\n") > 0);
    kept.close();
    for (QString &a : arguments) {
        a.replace(QStringLiteral("{device}"), m_device.endpoint());
        a.replace(QStringLiteral("{script}"), m_script);
        a.replace(QStringLiteral("{dir}"), m_dir.path());
    }
    // The file given after an option; empty without it.
    const auto valueOf = [&arguments](const char *option) {
        const int at = arguments.indexOf(QLatin1String(option));
        return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
    };
    const QString savedPath = valueOf("--save");
    const QString picturePath = valueOf("--screenshot");
    // Each row's own files, not an earlier row's.
    for (const QString &path : {savedPath, picturePath}) {
        if (!path.isEmpty())
            QFile::remove(path);
    }

    QProcess console;
    // The size a window was left at is kept here, not in the home of whoever tests.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.path());
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(HOSTCONSOLE_PATH), arguments);
    QVERIFY2(console.waitForFinished(60000), "hostconsole did not end");
    const QString out = QString::fromLocal8Bit(console.readAllStandardOutput() + console.readAllStandardError());
    QVERIFY2(out.contains(output), qPrintable(out));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), exitCode);

    if (!picturePath.isEmpty() && !savedPath.isEmpty()) {
        QFile saved(savedPath);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray lines = saved.readAll();
        QCOMPARE(lines.count("\"event\":\"reply\""), 2);
        QVERIFY(lines.contains("\"event\":\"summary\""));
    }
    if (!picturePath.isEmpty()) {
        const QImage picture(picturePath);
        QVERIFY(!picture.isNull() && picture.width() > 400);
        if (arguments.contains(QStringLiteral("--size")))
            QCOMPARE(picture.size(), QSize(1366, 768));
    }
    if (arguments.contains(QStringLiteral("--log")) && exitCode == 0) {
        // The log holds what the saved session holds but the summary, which comes
        // at the end and is no event.
        QFile saved(m_dir.filePath(QStringLiteral("logged.jsonl")));
        QFile live(m_dir.filePath(QStringLiteral("live.jsonl")));
        QVERIFY(saved.open(QIODevice::ReadOnly) && live.open(QIODevice::ReadOnly));
        QList<QByteArray> savedLines = saved.readAll().split('\n');
        savedLines.erase(std::remove_if(savedLines.begin(), savedLines.end(),
                                        [](const QByteArray &line) { return line.contains("\"event\":\"summary\""); }),
                         savedLines.end());
        QCOMPARE(live.readAll().split('\n'), savedLines);
        QVERIFY(savedLines.first().contains("\"time\":"));
    }
}

void TestHostConsole::wordsWithoutDisplay_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("output");
    QTest::newRow("--help") << "--help" << "Usage: hostconsole [options] [session]";
    QTest::newRow("-h") << "-h" << "--broadcast <PORT>";
    QTest::newRow("--version") << "--version" << "hostconsole 1.";
}

void TestHostConsole::wordsWithoutDisplay()
{
    QFETCH(QString, argument);
    QFETCH(QString, output);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.path());
    QProcess console;
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(HOSTCONSOLE_PATH), {argument});
    QVERIFY2(console.waitForFinished(60000), "hostconsole did not end");
    const QString out = QString::fromLocal8Bit(console.readAllStandardOutput());
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 0);
    QVERIFY2(out.contains(output), qPrintable(out));
    // Nothing offered that it then refuses.
    QVERIFY2(!out.contains(QStringLiteral("--cmd")), qPrintable(out));
}

QTEST_MAIN(TestHostConsole)
#include "tst_hostconsole.moc"
