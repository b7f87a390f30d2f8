#ifndef UDPPAGE_H
#define UDPPAGE_H

#include "connectrequest.h"

#include <QWidget>

class QLineEdit;
class QSpinBox;

// A device's address and port, and a broadcast on that port to find the devices.
class UdpPage : public QWidget
{
    Q_OBJECT

public:
    explicit UdpPage(QWidget *parent = nullptr);

    // False, with the reason, without an address.
    bool fill(ConnectRequest *request, QString *why) const;
    // Shows what a request opened that was not made here (the command line's).
    void show(const ConnectRequest &request);

public slots:
    // A device chosen from those that answered the broadcast.
    void setHost(const QString &host);

signals:
    // Enter pressed where the medium is named.
    void openRequested();
    void discoverRequested(quint16 port);

private:
    QLineEdit *m_host;
    QSpinBox *m_port;
};

#endif // UDPPAGE_H
