#include "hostrun.h"

#include "mediumtraits.h"
#include "reporter.h"

#include <QEventLoop>

HostRun::HostRun(const HostOptions &options, Reporter *reporter)
    : m_options(options)
    , m_medium(mediumTraits(options.medium))
    , m_reporter(reporter)
    , m_port(MediumPort::Made::Shared)
{
    connect(&m_port, &MediumPort::usbChanged, this,
            [this](bool present, bool, const QString &text) { onUsbChanged(present, text); });
}

HostRun::~HostRun()
{
    close();
}

QString HostRun::mediumName() const
{
    return QString::fromLatin1(m_medium.name);
}

const RunSummary &HostRun::summary() const
{
    return m_summary;
}

QStringList HostRun::sources() const
{
    return m_sources;
}

bool HostRun::open(QString *error)
{
    QString description;
    if (!m_port.open(m_options, &description, error)) {
        close();
        return false;
    }
    m_reporter->opened(mediumName(), QStringLiteral("%1 through PortInterface::creatCoreObj(%2)")
                                         .arg(description, QLatin1String(m_medium.typeName)));
    return true;
}

void HostRun::onUsbChanged(bool present, const QString &text)
{
    if (m_session) {
        m_session->reportMedium(present, text);
    } else {
        HostEvent e;
        e.kind = HostEvent::Kind::Medium;
        e.present = present;
        e.text = text;
        m_reporter->event(e);
    }
}

int HostRun::run(CommandSource *source)
{
    HostSession session(m_port.port(), source, m_reporter);
    session.setMedium(m_medium);
    session.setDeadlineMs(m_options.deadlineS * 1000);
    session.setGiveUpLimit(m_options.giveUpLimit);
    session.setErrorLog(!m_options.errorLogDir.isEmpty());
    session.setWire(m_options.wire);
    if (m_medium.listensAfter)
        session.setListenAfterMs(m_options.defaults.timeoutMs);

    QEventLoop loop;
    int exitCode = -1;
    connect(&session, &HostSession::finished, &loop, [&](int code) {
        exitCode = code;
        loop.quit();
    });
    connect(&session, &HostSession::reported, this, &HostRun::reported);
    m_session = &session;
    session.start();
    if (exitCode < 0)
        loop.exec();
    session.stop();
    m_session = nullptr;
    m_summary = session.summary();
    m_sources = session.sources();
    return exitCode;
}

void HostRun::abort(const QString &reason)
{
    if (m_session)
        m_session->abort(reason);
}

void HostRun::close()
{
    m_port.close();
}
