#include "sessionworker.h"

#include "commandtext.h"
#include "eventjson.h"
#include "hostsession.h"
#include "mediumtraits.h"
#include "scriptreader.h"
#include "textreporter.h"

#include <QDateTime>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <deque>

// One HostSession on the open medium, and the commands it reads, which must
// outlive it.
struct SessionWorker::Run
{
    RunKind kind = RunKind::Waiting;
    quint64 number = 0;
    // When it started, on the worker's clock: its events' times are its own.
    qint64 startMs = 0;
    // A script's name as shown, its commands, and how many have ended.
    QString name;
    qint64 total = 0;
    qint64 ended = 0;
    // Discovery: how long answers are waited for.
    int listenMs = 0;
    // The script: a file, or the text edited in the window.
    std::unique_ptr<QIODevice> file;
    std::unique_ptr<CommandSource> source;
    std::unique_ptr<HostSession> session;
    // Commands a person sent to this run that have not left yet, oldest first: the
    // session sends them in turn, and what is left when the run goes gets a row.
    std::deque<PlannedCommand> typed;
};

namespace {

// A command of the script has ended: answered, dropped, given up or passed by.
bool endsCommand(const HostEvent &e)
{
    switch (e.kind) {
    case HostEvent::Kind::Reply:
    case HostEvent::Kind::Drop:
        return e.matched;
    case HostEvent::Kind::GiveUp:
    case HostEvent::Kind::Unaccounted:
        return true;
    default:
        return false;
    }
}

// "1st", "2nd", "3rd", "4th", "11th", "22nd"
QString ordinal(int n)
{
    const int tens = n % 100;
    const int ones = n % 10;
    const char *suffix = tens >= 11 && tens <= 13 ? "th" : ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th";
    return QString::number(n) + QLatin1String(suffix);
}

} // namespace

SessionWorker::SessionWorker(SessionLink *link, std::function<void()> wakeWindow)
    : m_link(link)
    , m_wakeWindow(std::move(wakeWindow))
    , m_port(MediumPort::Made::Owned, this)
{
    connect(&m_port, &MediumPort::usbChanged, this, &SessionWorker::onUsbChanged);
}

SessionWorker::~SessionWorker()
{
    // The run goes before the transport it sends through.
    m_run.reset();
    m_port.close();
}

void SessionWorker::takeRequests()
{
    for (const SessionRequest &r : m_link->takeRequests()) {
        switch (r.kind) {
        case SessionRequest::Kind::Open:
            open(r);
            break;
        case SessionRequest::Kind::Close:
            close(QString());
            break;
        case SessionRequest::Kind::Send:
            send(r.command);
            break;
        case SessionRequest::Kind::RunScript:
            runScript(r);
            break;
        case SessionRequest::Kind::StopScript:
            stopScript();
            break;
        case SessionRequest::Kind::ShowWire:
            m_wire = r.on;
            if (m_run)
                m_run->session->setWire(m_wire);
            break;
        case SessionRequest::Kind::Shutdown:
            close(QStringLiteral("the window was closed"));
            thread()->quit();
            m_link->markFinished();
            return;
        }
    }
}

void SessionWorker::open(const SessionRequest &request)
{
    close(QString());
    const MediumTraits &medium = mediumTraits(request.medium.medium);
    notifyState(MediumState::Opening, QString::fromLatin1(medium.name));
    QString description;
    QString error;
    const bool opened = m_port.open(request.medium, &description, &error);
    // A USB device that is not there yet is watched for all the same: it is opened
    // when it comes.
    if (!opened && !medium.hotPlug) {
        m_port.close();
        notifyState(MediumState::Failed, error);
        return;
    }
    if (!opened)
        description = error + QStringLiteral("; waiting for it");
    SessionNotice header;
    header.kind = SessionNotice::Kind::Opened;
    header.medium = QString::fromLatin1(medium.name);
    header.text = description;
    notify(header);
    notifyState(opened ? MediumState::Open : MediumState::Unplugged, description);

    auto run = std::make_unique<Run>();
    if (!medium.listensAfter) {
        startRun(RunKind::Waiting, std::move(run));
        return;
    }
    run->source = std::make_unique<ListSource>(QList<PlannedCommand>{request.command});
    run->listenMs = request.command.command.iTimeoutMs;
    startRun(RunKind::Discovery, std::move(run));
}

void SessionWorker::close(const QString &why)
{
    letGoTyped(why.isEmpty() ? QStringLiteral("the medium was closed") : why);
    if (m_run && m_run->kind != RunKind::Waiting) {
        m_run->session->abort(why.isEmpty() ? QStringLiteral("the medium was closed") : why);
        endRun(1, false);
    } else if (m_run) {
        // The command a person sent that still waits for its reply ends in a row.
        m_run->session->abort(why.isEmpty() ? QStringLiteral("the medium was closed") : why);
    }
    m_run.reset();
    if (!m_port.port())
        return;
    m_port.close();
    notifyState(MediumState::Closed, why);
}

void SessionWorker::send(const PlannedCommand &command)
{
    if (!m_run)
        refuse(QStringLiteral("open a medium first"));
    else if (m_run->kind == RunKind::Discovery)
        refuse(QStringLiteral("the broadcast is still listening for answers"));
    else
        sendOn(command);
}

void SessionWorker::sendOn(const PlannedCommand &command)
{
    // Counted before it joins: what it waits behind.
    const int ahead = m_run->session->commandsAhead();
    if (!m_run->session->add(command)) {
        refuse(QStringLiteral("the session has ended"));
        return;
    }
    m_run->typed.push_back(command);
    if (ahead > 0)
        postQueued(command, ahead + 1);
}

void SessionWorker::postQueued(const PlannedCommand &command, int place)
{
    postNote(QStringLiteral("queued, %1: %2").arg(ordinal(place), CommandText::header(command.command)));
}

void SessionWorker::runScript(const SessionRequest &request)
{
    const QString &path = request.path;
    const CommandDefaults &defaults = request.defaults;
    if (!m_run) {
        refuse(QStringLiteral("open a medium before running a script"));
        return;
    }
    if (m_run->kind != RunKind::Waiting) {
        refuse(m_run->kind == RunKind::Script ? QStringLiteral("a script is running: stop it first")
                                              : QStringLiteral("the broadcast is still listening for answers"));
        return;
    }
    // Read whole once, as hostcli does, so that a bad line stops it before anything
    // is sent; then again as it runs.
    auto run = std::make_unique<Run>();
    if (request.fromText) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(request.text);
        run->file = std::move(buffer);
    } else {
        run->file = std::make_unique<QFile>(path);
    }
    QString error;
    if (!run->file->open(QIODevice::ReadOnly)) {
        refuse(QStringLiteral("cannot read %1: %2").arg(path, run->file->errorString()));
        return;
    }
    run->total = ScriptReader::check(run->file.get(), path, defaults, &error);
    if (run->total <= 0 || !run->file->seek(0)) {
        refuse(run->total < 0 ? error : QStringLiteral("%1: no commands in it").arg(path));
        return;
    }
    run->source = std::make_unique<ScriptReader>(run->file.get(), path, defaults);
    run->name = QFileInfo(path).fileName();
    SessionNotice started;
    started.kind = SessionNotice::Kind::ScriptStarted;
    started.text = run->name;
    started.total = run->total;
    // The waiting session gives way; the dispatcher runs one at a time.
    letGoTyped(QStringLiteral("the script started"));
    m_run->session->abort(QStringLiteral("let go: the script started"));
    m_run.reset();
    notify(started);
    startRun(RunKind::Script, std::move(run));
}

void SessionWorker::stopScript()
{
    if (m_run && m_run->kind != RunKind::Waiting) {
        letGoTyped(QStringLiteral("stopped by the user"));
        m_run->session->abort(QStringLiteral("stopped by the user"));
    }
}

void SessionWorker::letGoTyped(const QString &why)
{
    if (!m_run)
        return;
    for (const PlannedCommand &command : m_run->typed)
        postNote(QStringLiteral("not sent: %1 (%2)").arg(why, CommandText::header(command.command)));
    m_run->typed.clear();
}

void SessionWorker::postNote(const QString &text)
{
    ConsoleEvent e;
    e.host.kind = HostEvent::Kind::Note;
    e.host.timeMs = m_clock.isValid() ? m_clock.elapsed() : 0;
    e.host.wallMs = QDateTime::currentMSecsSinceEpoch();
    e.host.text = text;
    if (m_link->post(e))
        m_wakeWindow();
}

void SessionWorker::startRun(RunKind kind, std::unique_ptr<Run> run)
{
    run->kind = kind;
    run->number = ++m_runNumber;
    run->session = std::make_unique<HostSession>(m_port.port(), run->source.get());
    HostSession *session = run->session.get();
    session->setMedium(m_port.traits());
    session->setWire(m_wire);
    switch (kind) {
    case RunKind::Waiting:
        // A person decides when it ends, whatever the device does meanwhile.
        session->setKeepRunning(true);
        session->setGiveUpLimit(0);
        break;
    case RunKind::Script:
        // Stops where hostcli's run does, at the session's own give-up limit.
        break;
    case RunKind::Discovery:
        session->setListenAfterMs(run->listenMs);
        break;
    }
    connect(session, &HostSession::reported, this, &SessionWorker::onReported);
    // Queued: the run is replaced when it ends, which must not happen inside its
    // own signal.
    const quint64 number = run->number;
    connect(session, &HostSession::finished, this, [this, number](int exitCode) {
        if (m_run && m_run->number == number)
            endRun(exitCode, true);
    }, Qt::QueuedConnection);
    if (!m_clock.isValid())
        m_clock.start();
    run->startMs = m_clock.elapsed();
    m_run = std::move(run);
    session->start();
}

void SessionWorker::endRun(int exitCode, bool goOn)
{
    std::unique_ptr<Run> run = std::move(m_run);
    run->session->stop();
    const QString medium = QString::fromLatin1(m_port.traits().name);
    QString text;
    QTextStream out(&text);
    TextReporter lines(&out);
    SessionNotice notice;
    notice.exitCode = exitCode;
    if (run->kind == RunKind::Script) {
        lines.summary(medium, run->session->summary(), exitCode);
        notice.kind = SessionNotice::Kind::ScriptEnded;
        notice.line = EventJson::summaryObject(medium, run->session->summary(), exitCode);
    } else {
        notice.addresses = run->session->sources();
        lines.devicesFound(notice.addresses);
        notice.kind = SessionNotice::Kind::DevicesFound;
        notice.line = EventJson::devicesObject(notice.addresses);
    }
    out.flush();
    // The report's lines without their "== " marks, which a window needs not.
    notice.text = text.trimmed().remove(QRegularExpression(QStringLiteral("^== "), QRegularExpression::MultilineOption));
    notify(notice);
    const RunKind kind = run->kind;
    run.reset();
    if (!goOn)
        return;
    if (kind == RunKind::Script)
        startRun(RunKind::Waiting, std::make_unique<Run>());
    else
        close(notice.text);
}

void SessionWorker::onReported(const HostEvent &event)
{
    if (!m_run)
        return;
    // A typed command has no script line; they leave in the order they came.
    if (event.kind == HostEvent::Kind::Send && !event.resend && event.line == 0 && !m_run->typed.empty())
        m_run->typed.pop_front();
    ConsoleEvent e = ConsoleEvent::fromHost(event);
    e.host.timeMs += m_run->startMs;
    if (m_link->post(e))
        m_wakeWindow();
    if (m_run->kind == RunKind::Script && event.line > 0 && endsCommand(event)) {
        SessionNotice progress;
        progress.kind = SessionNotice::Kind::Progress;
        progress.done = ++m_run->ended;
        progress.total = m_run->total;
        notify(progress);
    }
}

void SessionWorker::onUsbChanged(bool present, bool reopened, const QString &text)
{
    if (m_run)
        m_run->session->reportMedium(present, text);
    notifyState(present && reopened ? MediumState::Reopened : MediumState::Unplugged, text);
}

void SessionWorker::notify(SessionNotice notice)
{
    if (m_link->post(std::move(notice)))
        m_wakeWindow();
}

void SessionWorker::notifyState(MediumState state, const QString &text)
{
    SessionNotice notice;
    notice.kind = SessionNotice::Kind::State;
    notice.state = state;
    notice.text = text;
    notify(notice);
}

void SessionWorker::refuse(const QString &why)
{
    SessionNotice notice;
    notice.kind = SessionNotice::Kind::Refused;
    notice.text = why;
    notify(notice);
}
