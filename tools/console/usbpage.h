#ifndef USBPAGE_H
#define USBPAGE_H

#include "connectrequest.h"

#include <QWidget>

class QComboBox;

// The HID devices present, by ids and product name. The ids can also be typed, for
// a device that is not plugged in yet: the session waits for it.
class UsbPage : public QWidget
{
    Q_OBJECT

public:
    explicit UsbPage(QWidget *parent = nullptr);

    // False, with the reason, unless the text starts with "VID:PID" in hexadecimal.
    bool fill(ConnectRequest *request, QString *why) const;
    // Shows what a request opened that was not made here (the command line's).
    void show(const ConnectRequest &request);

public slots:
    void refresh();

signals:
    // Enter pressed where the medium is named.
    void openRequested();

private:
    QComboBox *m_device;
};

#endif // USBPAGE_H
