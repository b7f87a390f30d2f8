#ifndef UDPPAGE_H
#define UDPPAGE_H

#include "mediumpage.h"

class QLineEdit;
class QSpinBox;

// A device's address and port, and a broadcast on that port to find the devices.
class UdpPage : public MediumPage
{
    Q_OBJECT

public:
    explicit UdpPage(QWidget *parent = nullptr);

    // False, with the reason, without an address.
    bool fill(MediumOptions *options, QString *why) const override;
    void show(const MediumOptions &options) override;

public slots:
    // A device chosen from those that answered the broadcast.
    void setHost(const QString &host);

signals:
    void discoverRequested(quint16 port);

private:
    QLineEdit *m_host;
    QSpinBox *m_port;
};

#endif // UDPPAGE_H
