#include "connectionpanel.h"

#include "serialpage.h"
#include "udppage.h"
#include "usbpage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

ConnectionPanel::ConnectionPanel(QWidget *parent)
    : QWidget(parent)
    , m_media(new QTabWidget(this))
    , m_serial(new SerialPage(this))
    , m_udp(new UdpPage(this))
    , m_usb(new UsbPage(this))
    , m_open(new QPushButton(tr("Open"), this))
    , m_close(new QPushButton(tr("Close"), this))
    , m_problem(new QLabel(this))
    , m_indicator(new MediumStateIndicator(this))
{
    qRegisterMetaType<ConnectRequest>();
    m_open->setObjectName(QStringLiteral("open"));
    m_close->setObjectName(QStringLiteral("close"));
    m_open->setToolTip(tr("Opens the medium of the page shown, with its settings."));
    m_close->setToolTip(tr("Closes the medium; a script running on it stops."));
    // In the order of ConnectRequest::Medium.
    m_media->addTab(m_serial, tr("Serial"));
    m_media->addTab(m_udp, tr("UDP"));
    m_media->addTab(m_usb, tr("USB"));
    m_problem->setStyleSheet(QStringLiteral("color: #c01c28"));
    m_problem->setWordWrap(true);
    m_problem->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_open);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_media);
    layout->addLayout(buttons);
    layout->addWidget(m_problem);
    layout->addWidget(m_indicator);

    connect(m_open, &QPushButton::clicked, this, &ConnectionPanel::open);
    connect(m_close, &QPushButton::clicked, this, &ConnectionPanel::closeRequested);
    connect(m_udp, &UdpPage::discoverRequested, this, &ConnectionPanel::discoverRequested);
    connect(m_serial, &SerialPage::openRequested, this, &ConnectionPanel::open);
    connect(m_udp, &UdpPage::openRequested, this, &ConnectionPanel::open);
    connect(m_usb, &UsbPage::openRequested, this, &ConnectionPanel::open);
    setState(MediumState::Closed);
}

bool ConnectionPanel::request(ConnectRequest *request, QString *why) const
{
    switch (ConnectRequest::Medium(m_media->currentIndex())) {
    case ConnectRequest::Medium::Serial:
        return m_serial->fill(request, why);
    case ConnectRequest::Medium::Udp:
        return m_udp->fill(request, why);
    case ConnectRequest::Medium::Usb:
        return m_usb->fill(request, why);
    }
    return false;
}

MediumState ConnectionPanel::state() const
{
    return m_indicator->state();
}

void ConnectionPanel::chooseMedium(ConnectRequest::Medium medium)
{
    m_media->setCurrentIndex(int(medium));
}

void ConnectionPanel::showRequest(const ConnectRequest &r)
{
    switch (r.medium) {
    case ConnectRequest::Medium::Serial:
        m_serial->show(r);
        break;
    case ConnectRequest::Medium::Udp:
        m_udp->show(r);
        break;
    case ConnectRequest::Medium::Usb:
        m_usb->show(r);
        break;
    }
    chooseMedium(r.medium);
}

void ConnectionPanel::open()
{
    // Enter in a field reaches here as the button does, and is as disabled while
    // a medium is in use.
    if (!m_open->isEnabled())
        return;
    ConnectRequest r;
    QString why;
    if (!request(&r, &why)) {
        m_problem->setText(why);
        m_problem->show();
        return;
    }
    m_problem->hide();
    // Until the session says how the medium stands: one Enter in a spin box or
    // an editable combo reaches here twice (the line, then the box around it).
    m_open->setEnabled(false);
    emit connectRequested(r);
}

void ConnectionPanel::setState(MediumState state, const QString &detail)
{
    m_indicator->setState(state, detail);
    // A medium in use keeps its settings until it is closed.
    const bool idle = state == MediumState::Closed || state == MediumState::Failed;
    m_media->setEnabled(idle);
    m_open->setEnabled(idle);
    m_close->setEnabled(!idle);
}
