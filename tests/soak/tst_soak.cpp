// Thousands of commands through the dispatcher and one medium while the simulated
// device misbehaves at set rates and the medium is disturbed once: every command
// must end answered, dropped by the reply rules, given up after one resend, or
// released by what the design lets release it, and nothing may be left behind.
// CTest runs each medium as a test of its own (the dispatcher's queues are
// process-wide); SOAK_COMMANDS sets the size.

#include "soakrunner.h"

#include <QtTest>

Q_DECLARE_METATYPE(SoakMedium::Kind)

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

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void serial();
    void udp();
    void usb();

private:
    void soak(SoakMedium::Kind medium);
};

void TestSoak::soak(SoakMedium::Kind medium)
{
    if (!SoakMedium::create(medium))
        QSKIP("this medium is not part of the build");

    SoakConfig config;
    config.medium = medium;
    config.commands = commandsPerRun();
    config.seed = 1;
    SoakRunner runner(config);
    const SoakReport r = runner.run();
    qInfo().noquote() << '\n' + soakTable({r});
    for (const QString &line : r.detail)
        qInfo().noquote() << line;

    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY2(r.faults() == 0, qPrintable(r.faultLines().join(QLatin1String("; "))));
    const SoakLedger::Counts &n = r.counts;
    QCOMPARE(n.outcomes(), config.commands);
    QVERIFY(r.disturbed);

    // The faults did happen, and the medium still carried most commands through.
    if (config.commands < 1000)
        return;
    QVERIFY2(n.answered > config.commands * 3 / 4, qPrintable(QString::number(n.answered)));
    QVERIFY(n.resent > 0);
    QVERIFY(n.givenUp > 0);
    QVERIFY(n.droppedByRules > 0);
    if (medium == SoakMedium::Kind::Udp)
        QVERIFY(n.releasedByUnusableReply > 0);

#ifndef SOAK_SANITIZED
    // The sanitizers keep freed memory aside on purpose.
    if (r.rssFirstKb > 0 && config.commands >= 2000)
        QVERIFY2(r.rssLastKb - r.rssFirstKb <= kFlatMemoryKb,
                 qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(r.rssFirstKb).arg(r.rssLastKb)));
#endif
}

void TestSoak::serial()
{
    soak(SoakMedium::Kind::Serial);
}

void TestSoak::udp()
{
    soak(SoakMedium::Kind::Udp);
}

void TestSoak::usb()
{
    soak(SoakMedium::Kind::Usb);
}

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
