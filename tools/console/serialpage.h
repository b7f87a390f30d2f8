#ifndef SERIALPAGE_H
#define SERIALPAGE_H

#include "connectrequest.h"

#include <QWidget>

class QComboBox;

// A serial port and its line settings. The port list comes from the system and is
// editable: a port the system does not list (a pseudo-terminal) can be typed.
class SerialPage : public QWidget
{
    Q_OBJECT

public:
    explicit SerialPage(QWidget *parent = nullptr);

    // False, with the reason, when no port is named.
    bool fill(ConnectRequest *request, QString *why) const;
    // Shows what a request opened that was not made here (the command line's).
    void show(const ConnectRequest &request);

public slots:
    void refresh();

signals:
    // Enter pressed where the medium is named.
    void openRequested();

private:
    QComboBox *m_port;
    QComboBox *m_baud;
    QComboBox *m_dataBits;
    QComboBox *m_parity;
    QComboBox *m_stopBits;
    QComboBox *m_flow;
};

#endif // SERIALPAGE_H
