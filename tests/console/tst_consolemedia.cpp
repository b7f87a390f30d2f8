#include "consolesession.h"
#include "consolewindow.h"
#include "eventdetailview.h"
#include "countersview.h"
#include "commanddraft.h"
#include "connectionpanel.h"
#include "hostoptions.h"
#include "ptydevice.h"
#include "scriptpanel.h"
#include "scriptreader.h"
#include "trafficfilter.h"
#include "trafficmodel.h"
#include "udpdevice.h"
#include "usbbus.h"
#include "usbdevice.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The window driving the simulated device on each medium, as a person would: open,
// run a script, read the table and the counters against what the device took, keep
// the session and open it again; and stop a script, or close the window, while it
// still runs.
class TestConsoleMedia : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void scriptRunOnMedium_data();
    void scriptRunOnMedium();
    void stoppingMidScript_data();
    void stoppingMidScript();
    void typedCommandsEndInRows_data();
    void typedCommandsEndInRows();
    void usbUnpluggedAndBack();
    void wireRowsWhenAsked_data();
    void wireRowsWhenAsked();
    void badChecksumShown_data();
    void badChecksumShown();
    void queuedRowsShowTheirPlace_data();
    void queuedRowsShowTheirPlace();
    void stoppedScriptEndsItsCommand_data();
    void stoppedScriptEndsItsCommand();
    void editedScriptRuns();

private:
    // Starts the device on the medium (unless it runs), opens the window's session on it.
    bool openOn(const QString &medium, ConsoleWindow *window, bool startDevice = true);
    QTemporaryDir m_dir;
    std::unique_ptr<SimLink> m_device;
};

namespace {

constexpr quint16 kVendor = 0x4c56;
constexpr quint16 kProduct = 0x0105;

// Answered, a block out, one never answered (sent twice, then given up), answered.
const QByteArray kScript("71:00\n"
                         "e0:01:00:04:00/01020304\n"
                         "43:00 timeout=300 expect=give-up\n"
                         "77:21\n");

void addMedia()
{
    QTest::addColumn<QString>("medium");
    QTest::newRow("serial") << "serial";
    QTest::newRow("UDP") << "udp";
    QTest::newRow("USB") << "usb";
}

bool isOpen(const ConsoleWindow &window)
{
    return window.connection()->state() == MediumState::Open;
}

// A window that lets its events go without asking, for the tests that close it.
struct DiscardingWindow : ConsoleWindow {
    Unsaved askToSave() override { return Unsaved::Discard; }
};

// The script's path in dir; empty when it could not be written whole.
QString writeScript(const QTemporaryDir &dir, const char *name, const QByteArray &text)
{
    const QString path = dir.filePath(QLatin1String(name));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? path : QString();
}

} // namespace

void TestConsoleMedia::init()
{
    m_device.reset();
    QVERIFY(m_dir.isValid());
    QVERIFY(UsbBus::reset());
}

bool TestConsoleMedia::openOn(const QString &medium, ConsoleWindow *window, bool startDevice)
{
    QStringList arguments{QStringLiteral("--") + (medium == QLatin1String("serial") ? QStringLiteral("port") : medium)};
    if (!startDevice) {
    } else if (medium == QLatin1String("serial")) {
        m_device = std::make_unique<PtyDevice>();
    } else if (medium == QLatin1String("udp")) {
        m_device = std::make_unique<UdpDevice>(UdpDevice::ownLoopbackAddress());
    } else {
        m_device = std::make_unique<UsbDevice>(kVendor, kProduct);
    }
    QString error;
    if (startDevice && !m_device->start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    m_device->device().setFault(0x43, SimFault::Silent);
    arguments << m_device->endpoint() << QStringLiteral("--cmd") << QStringLiteral("71:00");
    HostOptions options;
    if (HostCommandLine::parse(arguments, &options, &error) != HostCommandLine::Result::Run) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    window->openMedium(options);
    return true;
}

void TestConsoleMedia::scriptRunOnMedium_data()
{
    addMedia();
}

void TestConsoleMedia::scriptRunOnMedium()
{
    QFETCH(QString, medium);
    // The serial device is on a pseudo-terminal, which Windows does not have.
    if (medium == QLatin1String("serial") && !PtyDevice::supported())
        QSKIP("no pseudo-terminals here for the simulated serial device");
    const QString script = writeScript(m_dir, "four.txt", kScript);
    QVERIFY(!script.isEmpty());

    ConsoleWindow window;
    window.show();
    QVERIFY(openOn(medium, &window));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(window), 10000);
    QSignalSpy ended(&window, &ConsoleWindow::runEnded);
    window.session()->runScript(script);
    QVERIFY(ended.wait(30000));
    QCOMPARE(ended.first().first().toInt(), 0);
    QCOMPARE(window.scriptPanel()->progress(), 4);
    QVERIFY(!window.scriptPanel()->isRunning());

    // Every frame the device took is a send row, in order, with its serial number
    // and command; the resend of the silent command among them.
    const QList<SimFrame> received = m_device->device().receivedCommands();
    QCOMPARE(received.size(), 5);
    QList<SimFrame> shown;
    int replies = 0;
    // The script's end and its last events cross from the session's thread by
    // different ways: the counters say when every event is in.
    const QString counters = QStringLiteral("sent 4, answered 3, dropped 0, resent 1, given up 1, send failed 0");
    QTRY_COMPARE_WITH_TIMEOUT(window.countersView()->text(), counters, 10000);
    QVERIFY(window.traffic()->rowCount() >= 9);
    for (int row = 0; row < window.traffic()->rowCount(); ++row) {
        const ConsoleEvent &e = window.traffic()->event(row);
        if (e.kind() == HostEvent::Kind::Send) {
            SimFrame f;
            f.sn = e.host.record.bySN;
            f.cmd = e.host.record.byCmd;
            shown << f;
        }
        replies += e.kind() == HostEvent::Kind::Reply ? 1 : 0;
    }
    QCOMPARE(shown.size(), received.size());
    for (int i = 0; i < shown.size(); ++i) {
        QCOMPARE(shown.at(i).sn, received.at(i).sn);
        QCOMPARE(shown.at(i).cmd, received.at(i).cmd);
    }
    QCOMPARE(received.at(1).block, QByteArray::fromHex("01020304"));
    QCOMPARE(replies, 3);

    // Kept and opened again without the medium: the same rows and counts.
    const QString saved = m_dir.filePath(medium + QStringLiteral(".jsonl"));
    QString error;
    QVERIFY2(window.saveSession(saved, &error), qPrintable(error));
    ConsoleWindow reopened;
    QVERIFY2(reopened.openSession(saved, &error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(reopened.traffic()->rowCount(), window.traffic()->rowCount(), 10000);
    QCOMPARE(reopened.countersView()->text(), counters);
    QCOMPARE(reopened.traffic()->event(1).host.record.byCmd, window.traffic()->event(1).host.record.byCmd);
}

void TestConsoleMedia::stoppingMidScript_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<bool>("closeWindow"); // or press Stop
    for (const QString medium : {"serial", "udp", "usb"}) {
        QTest::newRow(qPrintable(medium + ", Stop")) << medium << false;
        QTest::newRow(qPrintable(medium + ", window closed")) << medium << true;
    }
}

void TestConsoleMedia::stoppingMidScript()
{
    QFETCH(QString, medium);
    // The serial device is on a pseudo-terminal, which Windows does not have.
    if (medium == QLatin1String("serial") && !PtyDevice::supported())
        QSKIP("no pseudo-terminals here for the simulated serial device");
    QFETCH(bool, closeWindow);
    // Slow to end: the device never answers these.
    const QString script = writeScript(m_dir, "long.txt", QByteArray("43:00 timeout=2000\n").repeated(50));
    QVERIFY(!script.isEmpty());

    // Closed at once, without keeping its events.
    std::unique_ptr<ConsoleWindow> window = std::make_unique<DiscardingWindow>();
    window->show();
    QVERIFY(openOn(medium, window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(*window), 10000);
    window->session()->runScript(script);
    QTRY_VERIFY_WITH_TIMEOUT(m_device->device().receivedCommands().size() >= 1, 10000);
    // The device can have the first command before the window has read that the
    // script started: both come from the session's thread, by different ways.
    QTRY_VERIFY_WITH_TIMEOUT(window->scriptPanel()->isRunning(), 10000);

    // Either at once, however long the script's timeouts are.
    QElapsedTimer clock;
    clock.start();
    if (closeWindow) {
        // The session's thread is joined and the medium let go before the window
        // object goes; the next session is a new window's.
        QVERIFY(window->close());
        window.reset();
        window = std::make_unique<ConsoleWindow>();
        QVERIFY(openOn(medium, window.get(), false));
        QTRY_VERIFY_WITH_TIMEOUT(isOpen(*window), 10000);
    } else {
        // The script ends as not run to plan; the medium stays open for commands.
        QSignalSpy ended(window.get(), &ConsoleWindow::runEnded);
        window->scriptPanel()->findChild<QPushButton *>(QStringLiteral("stopScript"))->click();
        QVERIFY(ended.wait(10000));
        QCOMPARE(ended.first().first().toInt(), 1);
        QVERIFY(!window->scriptPanel()->isRunning());
        QVERIFY(isOpen(*window));
    }
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

    // The process-wide dispatcher and the medium are free for what comes next.
    m_device->device().clearReceived();
    const qint64 answered = window->counters().answered;
    PlannedCommand command;
    QString error;
    QCOMPARE(ScriptReader::parseLine(QStringLiteral("71:00"), CommandDefaults(), &command, &error),
             ScriptReader::LineKind::Command);
    window->session()->send(command);
    QTRY_COMPARE_WITH_TIMEOUT(window->counters().answered, answered + 1, 10000);
    QCOMPARE(m_device->device().receivedCommands().size(), 1);
}

void TestConsoleMedia::typedCommandsEndInRows_data()
{
    QTest::addColumn<bool>("stop");   // the script stopped, rather than started
    QTest::addColumn<QString>("why");
    QTest::newRow("a script starts") << false << "not sent: the script started (43:00:00:00:00)";
    QTest::newRow("the script is stopped") << true << "not sent: stopped by the user (43:00:00:00:00)";
}

void TestConsoleMedia::typedCommandsEndInRows()
{
    QFETCH(bool, stop);
    QFETCH(QString, why);
    const QString script = writeScript(m_dir, "long.txt", "43:00 timeout=3000 expect=give-up\n71:00\n");
    QVERIFY(!script.isEmpty());

    DiscardingWindow window;
    window.show();
    QVERIFY(openOn(QStringLiteral("udp"), &window));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(window), 10000);
    // Commands the device never answers: the first waits for its time-out, the
    // others behind it.
    CommandDraft draft;
    draft.cmd = QStringLiteral("43");
    draft.sub = QStringLiteral("00");
    draft.timeoutMs = 3000;
    const PlannedCommand silent = draft.check().command;
    // The window has what the session's thread reported: the session has taken
    // the send as well (the device has the bytes before that thread hears of it).
    const auto sendShown = [&window] {
        window.traffic()->flush();
        for (int row = 0; row < window.traffic()->rowCount(); ++row) {
            if (window.traffic()->event(row).kind() == HostEvent::Kind::Send)
                return true;
        }
        return false;
    };
    if (stop) {
        window.session()->runScript(script);
        QTRY_VERIFY_WITH_TIMEOUT(sendShown(), 10000);
        // Its Stop button is live once the window has heard it started.
        QTRY_VERIFY_WITH_TIMEOUT(window.scriptPanel()->isRunning(), 10000);
    }
    for (int i = 0; i < 3; ++i)
        window.session()->send(silent);
    if (!stop) {
        QTRY_VERIFY_WITH_TIMEOUT(sendShown(), 10000);
        window.session()->runScript(script);
    } else {
        window.scriptPanel()->findChild<QPushButton *>(QStringLiteral("stopScript"))->click();
    }
    // Each typed command that did not leave says so in a row of its own, at once.
    const auto notSent = [&window, &why] {
        window.traffic()->flush();
        int rows = 0;
        for (int row = 0; row < window.traffic()->rowCount(); ++row)
            rows += window.traffic()->index(row, TrafficModel::TextColumn).data().toString() == why ? 1 : 0;
        return rows;
    };
    QTRY_COMPARE_WITH_TIMEOUT(notSent(), stop ? 3 : 2, 2500);
}

// The USB device pulled out and plugged in again: the session opens it again
// itself, the panel says so, and the table has a row for each.
void TestConsoleMedia::usbUnpluggedAndBack()
{
    ConsoleWindow window;
    window.show();
    QVERIFY(openOn(QStringLiteral("usb"), &window));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(window), 10000);
    auto *usb = static_cast<UsbDevice *>(m_device.get());
    usb->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(window.connection()->state(), MediumState::Unplugged, 10000);
    QVERIFY(usb->plugIn());
    QTRY_COMPARE_WITH_TIMEOUT(window.connection()->state(), MediumState::Reopened, 10000);

    window.traffic()->flush();
    QList<bool> present;
    for (int row = 0; row < window.traffic()->rowCount(); ++row) {
        const ConsoleEvent &e = window.traffic()->event(row);
        if (e.kind() == HostEvent::Kind::Medium)
            present << e.host.present;
    }
    QCOMPARE(present, (QList<bool>{false, true}));
}

void TestConsoleMedia::wireRowsWhenAsked_data()
{
    addMedia();
}

void TestConsoleMedia::wireRowsWhenAsked()
{
    // Off, a command and its reply are two rows; with the bytes on the wire shown,
    // the bytes that left and those that came are rows too, with their peer.
    QFETCH(QString, medium);
    if (medium == QLatin1String("serial") && !PtyDevice::supported())
        QSKIP("no pseudo-terminals here for the simulated serial device");
    ConsoleWindow window;
    window.show();
    QVERIFY(openOn(medium, &window));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(window), 10000);
    const auto rowsOf = [&window](HostEvent::Kind kind) {
        window.traffic()->flush();
        QList<ConsoleEvent> rows;
        for (int row = 0; row < window.traffic()->rowCount(); ++row) {
            if (window.traffic()->event(row).kind() == kind)
                rows << window.traffic()->event(row);
        }
        return rows;
    };
    CommandDraft draft;
    draft.cmd = QStringLiteral("71");
    draft.sub = QStringLiteral("00");
    const PlannedCommand command = draft.check().command;
    window.session()->send(command);
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(HostEvent::Kind::Reply).size(), 1, 10000);
    QVERIFY(rowsOf(HostEvent::Kind::Wire).isEmpty());

    QAction *wire = window.findChild<QAction *>(QStringLiteral("showWire"));
    QVERIFY(wire);
    wire->setChecked(true);
    window.session()->send(command);
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(HostEvent::Kind::Reply).size(), 2, 10000);
    const auto joined = [&](bool received) {
        QByteArray bytes;
        for (const ConsoleEvent &e : rowsOf(HostEvent::Kind::Wire)) {
            if (e.host.received == received) {
                bytes += e.host.bytes;
                if (e.host.text.isEmpty())
                    return QByteArray("(no peer)");
            }
        }
        return bytes;
    };
    // Serial numbers go on from the rows before: the second command's, whatever it is.
    const ProtocolData second = rowsOf(HostEvent::Kind::Reply).last().host.record;
    const QByteArray frameStart = QByteArray("01") + QByteArray::number(second.bySN, 16).rightJustified(2, '0') + "71";
    QTRY_VERIFY2_WITH_TIMEOUT(joined(true).contains("[R" + frameStart), joined(true).constData(), 10000);
    QVERIFY2(joined(false).contains("[A" + frameStart), joined(false).constData());
}

void TestConsoleMedia::badChecksumShown_data()
{
    addMedia();
}

void TestConsoleMedia::badChecksumShown()
{
    // A reply whose checksum is wrong never becomes a row of its own: with the bytes
    // on the wire shown, the command that went without it says what came, and a
    // reply that did come is shown as its bytes arrived.
    QFETCH(QString, medium);
    if (medium == QLatin1String("serial") && !PtyDevice::supported())
        QSKIP("no pseudo-terminals here for the simulated serial device");
    ConsoleWindow window;
    window.show();
    QVERIFY(openOn(medium, &window));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(window), 10000);
    m_device->device().setFault(0x72, SimFault::WrongHeaderChecksum);
    QAction *wire = window.findChild<QAction *>(QStringLiteral("showWire"));
    QVERIFY(wire);
    wire->setChecked(true);
    const auto rowOf = [&window](HostEvent::Kind kind) {
        window.traffic()->flush();
        for (int row = window.traffic()->rowCount() - 1; row >= 0; --row) {
            if (window.traffic()->event(row).kind() == kind)
                return row;
        }
        return -1;
    };
    const auto select = [&window](int row) {
        window.trafficView()->setCurrentIndex(window.filter()->mapFromSource(window.traffic()->index(row, 0)));
        return window.detail()->wireText();
    };
    CommandDraft draft;
    draft.cmd = QStringLiteral("72");
    draft.sub = QStringLiteral("00");
    draft.timeoutMs = 300;
    window.session()->send(draft.check().command);
    // Given up after its resend, or, over UDP, where the refused reply still lets the
    // queue move on, unaccounted.
    const auto ended = [&rowOf] { return std::max(rowOf(HostEvent::Kind::GiveUp), rowOf(HostEvent::Kind::Unaccounted)); };
    QTRY_VERIFY_WITH_TIMEOUT(ended() >= 0, 20000);
    const QString refused = select(ended());
    QVERIFY2(refused.startsWith(QStringLiteral("refused for it: reply frame [R01")), qPrintable(refused));
    QVERIFY2(refused.contains(QStringLiteral("72")), qPrintable(refused));

    draft.cmd = QStringLiteral("71");
    window.session()->send(draft.check().command);
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(HostEvent::Kind::Reply) >= 0, 10000);
    // The reply's bytes may be read on another thread than the one that decodes it.
    QTRY_VERIFY2_WITH_TIMEOUT(select(rowOf(HostEvent::Kind::Reply)).startsWith(QStringLiteral("frame  [R01")),
                              qPrintable(window.detail()->wireText()), 10000);
    QVERIFY2(window.detail()->wireText().contains(QStringLiteral("as it came from ")),
             qPrintable(window.detail()->wireText()));
}

namespace {

// The texts of the rows so far, in a column, each with the row's kind.
QStringList rowsOf(ConsoleWindow &window, int column)
{
    window.traffic()->flush();
    QStringList rows;
    for (int row = 0; row < window.traffic()->rowCount(); ++row)
        rows << window.traffic()->index(row, TrafficModel::KindColumn).data().toString() + QStringLiteral(": ")
                + window.traffic()->index(row, column).data().toString();
    return rows;
}

PlannedCommand silentCommand()
{
    // The device never answers 0x43; long enough that nothing is given up meanwhile.
    CommandDraft draft;
    draft.cmd = QStringLiteral("43");
    draft.sub = QStringLiteral("00");
    draft.timeoutMs = 60000;
    return draft.check().command;
}

} // namespace

// A command sent while another waits for its reply shows at once as queued, with
// its place; when the medium closes, every one of them ends in a row: the one in
// flight, and those that never left.
void TestConsoleMedia::queuedRowsShowTheirPlace_data()
{
    QTest::addColumn<int>("typed");
    QTest::addColumn<QStringList>("queued");

    QTest::newRow("one goes at once") << 1 << QStringList();
    QTest::newRow("three: the 2nd and 3rd wait")
        << 3 << QStringList{"note: queued, 2nd: 43:00:00:00:00", "note: queued, 3rd: 43:00:00:00:00"};
}

void TestConsoleMedia::queuedRowsShowTheirPlace()
{
    QFETCH(int, typed);
    QFETCH(QStringList, queued);

    DiscardingWindow window;
    window.show();
    QVERIFY(openOn(QStringLiteral("udp"), &window));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(window), 10000);
    for (int i = 0; i < typed; ++i)
        window.session()->send(silentCommand());
    const auto queuedRows = [&window] {
        return rowsOf(window, TrafficModel::TextColumn).filter(QStringLiteral("queued, "));
    };
    QTRY_COMPARE_WITH_TIMEOUT(queuedRows().size(), queued.size(), 10000);
    QCOMPARE(queuedRows(), queued);
    QTRY_VERIFY_WITH_TIMEOUT(rowsOf(window, TrafficModel::OutcomeColumn).contains(QStringLiteral("send: sent")), 10000);

    window.session()->close();
    // The one in flight ends, saying why; the others never left, and say so.
    QTRY_VERIFY_WITH_TIMEOUT(
        rowsOf(window, TrafficModel::OutcomeColumn).contains(QStringLiteral("unaccounted: the medium was closed")),
        10000);
    QTRY_COMPARE_WITH_TIMEOUT(
        rowsOf(window, TrafficModel::TextColumn)
            .filter(QStringLiteral("note: not sent: the medium was closed (43:00:00:00:00)"))
            .size(),
        typed - 1, 10000);
    QCOMPARE(rowsOf(window, TrafficModel::OutcomeColumn).filter(QStringLiteral("send: sent")).size(), 1);
}

// A script stopped by the user while its command waits for the reply: that
// command's end is a row saying so, by the Stop button or the menu's shortcut.
void TestConsoleMedia::stoppedScriptEndsItsCommand_data()
{
    QTest::addColumn<bool>("shortcut");
    QTest::newRow("Stop button") << false;
    QTest::newRow("Ctrl+.") << true;
}

void TestConsoleMedia::stoppedScriptEndsItsCommand()
{
    QFETCH(bool, shortcut);
    const QString script = writeScript(m_dir, "stopped.txt", "43:00 timeout=60000 # waits for ever\n71:00\n");
    QVERIFY(!script.isEmpty());

    DiscardingWindow window;
    window.show();
    QVERIFY(openOn(QStringLiteral("udp"), &window));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(window), 10000);
    QSignalSpy ended(&window, &ConsoleWindow::runEnded);
    window.session()->runScript(script);
    QTRY_VERIFY_WITH_TIMEOUT(window.scriptPanel()->isRunning(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(rowsOf(window, TrafficModel::OutcomeColumn).contains(QStringLiteral("send: sent")), 10000);
    if (shortcut) {
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_Period, Qt::ControlModifier);
    } else {
        window.scriptPanel()->findChild<QPushButton *>(QStringLiteral("stopScript"))->click();
    }
    QVERIFY(ended.wait(10000));
    const QStringList outcomes = rowsOf(window, TrafficModel::OutcomeColumn);
    QCOMPARE(outcomes.filter(QStringLiteral("unaccounted: stopped by the user")).size(), 1);
    const QStringList labels = rowsOf(window, TrafficModel::TextColumn);
    QCOMPARE(labels.at(outcomes.indexOf(QStringLiteral("unaccounted: stopped by the user"))),
             QStringLiteral("unaccounted: waits for ever"));
    // Nothing of the script left after the stop.
    QCOMPARE(m_device->device().receivedCommands().size(), 1);
}

// A script typed into the window's editor runs as a file does, under its name.
void TestConsoleMedia::editedScriptRuns()
{
    DiscardingWindow window;
    window.show();
    QVERIFY(openOn(QStringLiteral("udp"), &window));
    QTRY_VERIFY_WITH_TIMEOUT(isOpen(window), 10000);
    auto *editor = window.scriptPanel()->findChild<QPlainTextEdit *>(QStringLiteral("scriptEditor"));
    auto *run = window.scriptPanel()->findChild<QPushButton *>(QStringLiteral("runEditedScript"));
    QVERIFY(editor && run);
    editor->setPlainText(QStringLiteral("71:00 # first\n\ne0:01:00:04:00/01020304\n77:21\n"));
    QTRY_VERIFY_WITH_TIMEOUT(run->isEnabled(), 10000);
    QSignalSpy ended(&window, &ConsoleWindow::runEnded);
    run->click();
    QVERIFY(ended.wait(20000));
    QCOMPARE(ended.first().first().toInt(), 0);
    QCOMPARE(m_device->device().receivedCommands().size(), 3);
    QVERIFY2(window.scriptPanel()->text().startsWith(QStringLiteral("edited script: done")),
             qPrintable(window.scriptPanel()->text()));
    QCOMPARE(window.scriptPanel()->progress(), 3);
}

QTEST_MAIN(TestConsoleMedia)
#include "tst_consolemedia.moc"
