// Thousands of commands through the dispatcher and each medium while the simulated
// device misbehaves at set rates and the medium is disturbed once: every command
// must end answered, dropped by the reply rules, given up after one resend, or
// released by what the design lets release it, and nothing may be left behind.
//
// The dispatcher's queues are process-wide, so each medium runs in a soak process
// of its own; the three run side by side (they mostly wait) and each row checks
// one report. SOAK_COMMANDS sets the size.

#include "ptydevice.h"
#include "soakreport.h"

#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

int commandsPerRun()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("SOAK_COMMANDS", &ok);
    return ok && n > 0 ? n : 2000;
}

// Resident memory may grow this much from the 1,000th command to the end: a few
// allocator arenas warming up, not a record per command.
constexpr qint64 kFlatMemoryKb = 2048;

const char *const kMedia[] = {"serial", "udp", "usb"};

// The serial run puts the simulated device on a pseudo-terminal, which Windows
// does not have.
bool runsHere(const QString &medium)
{
    return medium != QLatin1String("serial") || PtyDevice::supported();
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void medium_data();
    void medium();

private:
    std::map<QString, std::unique_ptr<QProcess>> m_runs;
};

void TestSoak::initTestCase()
{
    for (const char *medium : kMedia) {
        if (!runsHere(QLatin1String(medium)))
            continue;
        auto run = std::make_unique<QProcess>();
        run->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run->start(QStringLiteral(SOAK_PATH),
                   {QStringLiteral("--json"), QStringLiteral("%1=%2").arg(QLatin1String(medium)).arg(commandsPerRun())});
        QVERIFY2(run->waitForStarted(), qPrintable(run->errorString()));
        m_runs[QLatin1String(medium)] = std::move(run);
    }
}

void TestSoak::medium_data()
{
    QTest::addColumn<QString>("medium");
    for (const char *medium : kMedia)
        QTest::newRow(medium) << QString::fromLatin1(medium);
}

void TestSoak::medium()
{
    QFETCH(QString, medium);
    if (!runsHere(medium))
        QSKIP("no pseudo-terminals here for the simulated serial device");
    QProcess &run = *m_runs.at(medium);
    // A few minutes at most, however loaded the machine.
    QVERIFY(run.waitForFinished(600000));
    const QJsonDocument doc = QJsonDocument::fromJson(run.readAllStandardOutput());
    QVERIFY2(doc.isObject(), "the run ended without a report");
    const SoakReport r = SoakReport::fromJson(doc.object());
    qInfo().noquote() << '\n' + soakTable({r});
    for (const QString &line : r.detail)
        qInfo().noquote() << line;

    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY2(r.faults() == 0, qPrintable(r.faultLines().join(QLatin1String("; "))));
    const SoakLedger::Counts &n = r.counts;
    QCOMPARE(n.commands, commandsPerRun());
    QCOMPARE(n.outcomes(), n.commands);
    QVERIFY(r.disturbed);
    // Nothing else went wrong in the run: no sanitizer report, no leak.
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0);

    if (n.commands < 1000)
        return;
    // The faults did happen, and the medium still carried most commands through.
    QVERIFY2(n.answered > n.commands * 3 / 4, qPrintable(QString::number(n.answered)));
    QVERIFY(n.resent > 0);
    QVERIFY(n.givenUp > 0);
    QVERIFY(n.droppedByRules > 0);
    if (medium == QLatin1String("udp"))
        QVERIFY(n.releasedByUnusableReply > 0);
#ifndef SOAK_SANITIZED
    // The sanitizers keep freed memory aside on purpose.
    if (r.rssFirstKb > 0 && n.commands >= 2000)
        QVERIFY2(r.rssLastKb - r.rssFirstKb <= kFlatMemoryKb,
                 qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(r.rssFirstKb).arg(r.rssLastKb)));
#endif
}

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
