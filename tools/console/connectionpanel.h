#ifndef CONNECTIONPANEL_H
#define CONNECTIONPANEL_H

#include "connectrequest.h"
#include "mediumstateindicator.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;
class SerialPage;
class UdpPage;
class UsbPage;

// Chooses a medium and asks for it to be opened or closed, and shows where it
// stands. It opens nothing: the session does, and tells it the state.
class ConnectionPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionPanel(QWidget *parent = nullptr);

    // What Open would ask for; false, with the reason, when a field is missing.
    bool request(ConnectRequest *request, QString *why) const;
    MediumState state() const;

    UdpPage *udpPage() const { return m_udp; }

public slots:
    void setState(MediumState state, const QString &detail = QString());
    // The medium chosen before; a device chosen from a broadcast's answers is UDP.
    void chooseMedium(ConnectRequest::Medium medium);
    // Shows a request made elsewhere (the command line, a device chosen) on its page.
    void showRequest(const ConnectRequest &request);

signals:
    void connectRequested(const ConnectRequest &request);
    void closeRequested();
    void discoverRequested(quint16 port);

private:
    void open();

    QTabWidget *m_media;
    SerialPage *m_serial;
    UdpPage *m_udp;
    UsbPage *m_usb;
    QPushButton *m_open;
    QPushButton *m_close;
    QLabel *m_problem;
    MediumStateIndicator *m_indicator;
};

#endif // CONNECTIONPANEL_H
