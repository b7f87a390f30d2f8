#include "udppage.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

UdpPage::UdpPage(QWidget *parent)
    : MediumPage(parent)
    , m_host(new QLineEdit(this))
    , m_port(new QSpinBox(this))
{
    m_host->setObjectName(QStringLiteral("udpAddress"));
    m_port->setObjectName(QStringLiteral("udpPort"));
    m_host->setPlaceholderText(tr("IPv4 address or host name"));
    m_host->setToolTip(tr("The device's IPv4 address or host name; Enter opens."));
    m_port->setToolTip(tr("The device's UDP port, and the port a broadcast goes to; Enter opens."));
    m_port->setRange(1, 65535);
    m_port->setValue(5000);
    auto *find = new QPushButton(tr("Find devices (broadcast)"), this);
    find->setToolTip(tr("Sends one command to every device on the local network and lists those that answer."));
    connect(find, &QPushButton::clicked, this, [this] { emit discoverRequested(quint16(m_port->value())); });
    // Enter in either field opens, as the Open button does.
    connect(m_host, &QLineEdit::returnPressed, this, &UdpPage::openRequested);
    if (auto *portText = m_port->findChild<QLineEdit *>())
        connect(portText, &QLineEdit::returnPressed, this, &UdpPage::openRequested);
    auto *form = new QFormLayout(this);
    form->addRow(tr("Address"), m_host);
    form->addRow(tr("Port"), m_port);
    form->addRow(QString(), find);
}

void UdpPage::setHost(const QString &host)
{
    m_host->setText(host);
}

void UdpPage::show(const MediumOptions &r)
{
    if (!r.udpHost.isEmpty())
        setHost(r.udpHost);
    m_port->setValue(r.udpPort);
}

bool UdpPage::fill(MediumOptions *r, QString *why) const
{
    const QString host = m_host->text().trimmed();
    if (host.isEmpty() || host.contains(QLatin1Char(' '))) {
        *why = tr("give the device's address");
        return false;
    }
    r->medium = MediumOptions::Medium::Udp;
    r->udpHost = host;
    r->udpPort = quint16(m_port->value());
    return true;
}
