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
    , m_udp(new UdpPage(this))
    , m_open(new QPushButton(tr("Open"), this))
    , m_close(new QPushButton(tr("Close"), this))
    , m_problem(new QLabel(this))
    , m_indicator(new MediumStateIndicator(this))
{
    qRegisterMetaType<MediumOptions>();
    m_open->setObjectName(QStringLiteral("open"));
    m_close->setObjectName(QStringLiteral("close"));
    m_open->setToolTip(tr("Opens the medium of the page shown, with its settings."));
    m_close->setToolTip(tr("Closes the medium; a script running on it stops."));
    auto addPage = [this](MediumOptions::Medium medium, MediumPage *page, const QString &title) {
        m_pages.append({medium, page});
        m_media->addTab(page, title);
        connect(page, &MediumPage::openRequested, this, &ConnectionPanel::open);
    };
    addPage(MediumOptions::Medium::Serial, new SerialPage(this), tr("Serial"));
    addPage(MediumOptions::Medium::Udp, m_udp, tr("UDP"));
    addPage(MediumOptions::Medium::Usb, new UsbPage(this), tr("USB"));
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
    setState(MediumState::Closed);
}

bool ConnectionPanel::request(MediumOptions *options, QString *why) const
{
    return m_pages.at(m_media->currentIndex()).second->fill(options, why);
}

MediumState ConnectionPanel::state() const
{
    return m_indicator->state();
}

MediumPage *ConnectionPanel::pageOf(MediumOptions::Medium medium) const
{
    if (medium == MediumOptions::Medium::Broadcast)
        return m_udp;
    for (const auto &page : m_pages) {
        if (page.first == medium)
            return page.second;
    }
    return m_pages.first().second;
}

void ConnectionPanel::chooseMedium(MediumOptions::Medium medium)
{
    m_media->setCurrentWidget(pageOf(medium));
}

void ConnectionPanel::showRequest(const MediumOptions &options)
{
    pageOf(options.medium)->show(options);
    chooseMedium(options.medium);
}

void ConnectionPanel::open()
{
    // Enter in a field reaches here as the button does, and is as disabled while
    // a medium is in use.
    if (!m_open->isEnabled())
        return;
    MediumOptions r;
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
