#include "hostrun.h"

#include "mediumtraits.h"
#include "portbase.h"
#include "portinterface.h"
#include "reporter.h"

#include <QEventLoop>

HostRun::HostRun(const HostOptions &options, Reporter *reporter)
    : m_options(options)
    , m_medium(mediumTraits(options.medium))
    , m_reporter(reporter)
{
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
    close();
    m_port = PortInterface::creatCoreObj(m_medium.type);
    if (!m_port) {
        *error = QStringLiteral("this build has no %1 transport").arg(mediumName());
        return false;
    }
    // The watcher reports the device going and coming back; the host opens it again
    // itself. The transport emits a signalUSBChanged of its own, which hides the one
    // PortBase declares: connect by name, which finds the transport's.
    if (m_medium.hotPlug)
        connect(m_port, SIGNAL(signalUSBChanged(bool)), this, SLOT(onUsbChanged(bool)), Qt::QueuedConnection);
    QString description;
    if (!m_medium.open(m_port, m_options, &description, error)) {
        close();
        return false;
    }
    m_reporter->opened(mediumName(), QStringLiteral("%1 through PortInterface::creatCoreObj(%2)")
                                         .arg(description, QLatin1String(m_medium.typeName)));
    return true;
}

void HostRun::onUsbChanged(bool present)
{
    if (!m_port)
        return;
    QString text = present ? QStringLiteral("device attached again (signalUSBChanged(true))")
                           : QStringLiteral("device removed, port closed (signalUSBChanged(false))");
    if (present) {
        const bool reopened = m_port->openUSB(m_options.vendorId, m_options.productId);
        text += reopened ? QStringLiteral(", reopened") : QStringLiteral(", but it cannot be opened");
    }
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
    HostSession session(m_port, source, m_reporter);
    session.setMedium(m_medium);
    session.setDeadlineMs(m_options.deadlineS * 1000);
    session.setGiveUpLimit(m_options.giveUpLimit);
    session.setErrorLog(!m_options.errorLogDir.isEmpty());
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
    if (!m_port)
        return;
    disconnect(m_port, nullptr, this, nullptr);
    m_port->closeSerialPort();
    m_port->closeUSB();
    delete PortInterface::iCORE;
    PortInterface::iCORE = nullptr;
    m_port = nullptr;
}
