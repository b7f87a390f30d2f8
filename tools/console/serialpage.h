#ifndef SERIALPAGE_H
#define SERIALPAGE_H

#include "mediumpage.h"

class QComboBox;

// A serial port and its line settings. The port list comes from the system and is
// editable: a port the system does not list (a pseudo-terminal) can be typed.
class SerialPage : public MediumPage
{
    Q_OBJECT

public:
    explicit SerialPage(QWidget *parent = nullptr);

    // False, with the reason, when no port is named.
    bool fill(MediumOptions *options, QString *why) const override;
    void show(const MediumOptions &options) override;

public slots:
    void refresh();

private:
    QComboBox *m_port;
    QComboBox *m_baud;
    QComboBox *m_dataBits;
    QComboBox *m_parity;
    QComboBox *m_stopBits;
    QComboBox *m_flow;
};

#endif // SERIALPAGE_H
