#ifndef USBPAGE_H
#define USBPAGE_H

#include "mediumpage.h"

class QComboBox;

// The HID devices present, by ids and product name. The ids can also be typed, for
// a device that is not plugged in yet: the session waits for it.
class UsbPage : public MediumPage
{
    Q_OBJECT

public:
    explicit UsbPage(QWidget *parent = nullptr);

    // False, with the reason, unless the text starts with "VID:PID" in hexadecimal.
    bool fill(MediumOptions *options, QString *why) const override;
    void show(const MediumOptions &options) override;

public slots:
    void refresh();

private:
    QComboBox *m_device;
};

#endif // USBPAGE_H
