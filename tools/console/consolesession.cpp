#include "consolesession.h"

#include "scriptreader.h"
#include "sessionworker.h"

#include <QMetaObject>

ConsoleSession::ConsoleSession(QObject *parent)
    : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("console session"));
    m_worker = new SessionWorker(&m_link, [this] {
        // One call by name wakes this thread for whatever has come in by then.
        QMetaObject::invokeMethod(this, "takeMail", Qt::QueuedConnection);
    });
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

ConsoleSession::~ConsoleSession()
{
    shutdown();
}

PlannedCommand ConsoleSession::discoveryCommand()
{
    CommandDefaults defaults;
    defaults.sendMode = 1;
    PlannedCommand command;
    QString error;
    ScriptReader::parseLine(QStringLiteral("71:00 # who is there"), defaults, &command, &error);
    return command;
}

void ConsoleSession::open(const MediumOptions &options)
{
    SessionRequest r;
    r.kind = SessionRequest::Kind::Open;
    r.medium = options;
    if (options.medium == MediumOptions::Medium::Broadcast)
        r.command = discoveryCommand();
    post(r);
}

void ConsoleSession::close()
{
    SessionRequest r;
    r.kind = SessionRequest::Kind::Close;
    post(r);
}

void ConsoleSession::send(const PlannedCommand &command)
{
    SessionRequest r;
    r.kind = SessionRequest::Kind::Send;
    r.command = command;
    post(r);
}

void ConsoleSession::runScript(const QString &path, const CommandDefaults &defaults)
{
    SessionRequest r;
    r.kind = SessionRequest::Kind::RunScript;
    r.path = path;
    r.defaults = defaults;
    post(r);
}

void ConsoleSession::runScriptText(const QString &name, const QByteArray &text, const CommandDefaults &defaults)
{
    SessionRequest r;
    r.kind = SessionRequest::Kind::RunScript;
    r.path = name;
    r.defaults = defaults;
    r.fromText = true;
    r.text = text;
    post(r);
}

void ConsoleSession::stopScript()
{
    SessionRequest r;
    r.kind = SessionRequest::Kind::StopScript;
    post(r);
}

void ConsoleSession::showWire(bool on)
{
    SessionRequest r;
    r.kind = SessionRequest::Kind::ShowWire;
    r.on = on;
    post(r);
}

void ConsoleSession::shutdown()
{
    if (!m_worker)
        return;
    SessionRequest r;
    r.kind = SessionRequest::Kind::Shutdown;
    post(r);
    // The worker closes the medium and joins the dispatcher's workers before its
    // thread ends; only then is it deleted, here, with nothing left running in it.
    m_link.waitFinished();
    m_thread.wait();
    delete m_worker;
    m_worker = nullptr;
    m_link.takeMail();
}

void ConsoleSession::post(const SessionRequest &request)
{
    if (m_worker && m_link.post(request))
        QMetaObject::invokeMethod(m_worker, "takeRequests", Qt::QueuedConnection);
}

void ConsoleSession::takeMail()
{
    if (!m_worker)
        return;
    SessionLink::Mail mail = m_link.takeMail();
    if (mail.lost > 0)
        emit eventsLost(mail.lost);
    // Each notice after the events posted before it, so that a script's end comes
    // after its last events.
    int next = 0;
    auto eventsUpTo = [&](quint64 count) {
        const int end = int(qMin<quint64>(count - qMin(count, mail.firstEvent), quint64(mail.events.size())));
        if (end > next)
            emit eventsArrived(mail.events.mid(next, end - next));
        next = qMax(next, end);
    };
    for (const SessionNotice &n : mail.notices) {
        eventsUpTo(n.afterEvents);
        deliver(n);
    }
    eventsUpTo(mail.firstEvent + quint64(mail.events.size()));
}

void ConsoleSession::deliver(const SessionNotice &n)
{
    switch (n.kind) {
    case SessionNotice::Kind::State:
        emit stateChanged(n.state, n.text);
        break;
    case SessionNotice::Kind::Opened:
        emit opened(n.medium, n.text);
        break;
    case SessionNotice::Kind::ScriptStarted:
        emit scriptStarted(n.text, n.total);
        break;
    case SessionNotice::Kind::Progress:
        emit scriptProgress(n.done, n.total);
        break;
    case SessionNotice::Kind::ScriptEnded:
        emit scriptEnded(n.exitCode, n.text, n.line);
        break;
    case SessionNotice::Kind::DevicesFound:
        emit devicesFound(n.addresses, n.text, n.line);
        break;
    case SessionNotice::Kind::Refused:
        emit refused(n.text);
        break;
    }
}
