#include "serialpage.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>

namespace {

QComboBox *choices(QWidget *parent, const QVector<SerialChoice> &table, int current)
{
    auto *box = new QComboBox(parent);
    for (const SerialChoice &c : table) {
        const QString text = QString::fromLatin1(c.text);
        box->addItem(*c.hint ? QStringLiteral("%1 (%2)").arg(text, QLatin1String(c.hint)) : text, c.value);
        if (c.value == current)
            box->setCurrentIndex(box->count() - 1);
    }
    return box;
}

} // namespace

SerialPage::SerialPage(QWidget *parent)
    : MediumPage(parent)
    , m_port(new QComboBox(this))
    , m_baud(new QComboBox(this))
{
    const SerialSettings defaults;
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->setObjectName(QStringLiteral("serialPort"));
    connect(m_port->lineEdit(), &QLineEdit::returnPressed, this, &SerialPage::openRequested);
    for (const qint32 rate : SerialSettings::namedRates())
        m_baud->addItem(QString::number(rate), rate);
    m_baud->setCurrentIndex(m_baud->findData(defaults.baudRate));
    m_dataBits = choices(this, SerialSettings::dataBitsChoices(), defaults.dataBits);
    m_parity = choices(this, SerialSettings::parityChoices(), defaults.parity);
    m_stopBits = choices(this, SerialSettings::stopBitsChoices(), defaults.stopBits);
    m_flow = choices(this, SerialSettings::flowControlChoices(), defaults.flowControl);

    auto *refreshButton = new QPushButton(tr("Refresh"), this);
    refreshButton->setToolTip(tr("Lists the serial ports present now."));
    m_port->setToolTip(tr("The serial port: chosen from those present, or its name typed (ttyUSB0, COM3)."));
    m_baud->setToolTip(tr("Bits per second, as the device is set."));
    m_dataBits->setToolTip(tr("Data bits per character, as the device is set."));
    m_parity->setToolTip(tr("The parity bit, as the device is set."));
    m_stopBits->setToolTip(tr("Stop bits per character, as the device is set."));
    m_flow->setToolTip(tr("How the two ends pause each other: not at all, by the RTS/CTS lines, or by XON/XOFF bytes."));
    connect(refreshButton, &QPushButton::clicked, this, &SerialPage::refresh);
    auto *port = new QHBoxLayout;
    port->addWidget(m_port, 1);
    port->addWidget(refreshButton);
    auto *form = new QFormLayout(this);
    form->addRow(tr("Port"), port);
    form->addRow(tr("Baud rate"), m_baud);
    form->addRow(tr("Data bits"), m_dataBits);
    form->addRow(tr("Parity"), m_parity);
    form->addRow(tr("Stop bits"), m_stopBits);
    form->addRow(tr("Flow control"), m_flow);
    refresh();
}

void SerialPage::refresh()
{
    const QString typed = m_port->currentText();
    m_port->clear();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString description = info.description().isEmpty() ? info.manufacturer() : info.description();
        // The name ("ttyUSB0", "COM3") is what a person types and the serial port
        // resolves on every system; the description is a hint.
        m_port->addItem(info.portName());
        m_port->setItemData(m_port->count() - 1, description, Qt::ToolTipRole);
    }
    m_port->setEditText(typed.isEmpty() && m_port->count() > 0 ? m_port->itemText(0) : typed);
}

void SerialPage::show(const MediumOptions &o)
{
    const SerialSettings &r = o.serial;
    m_port->setEditText(o.portName);
    const struct {
        QComboBox *box;
        int value;
    } settings[] = {{m_baud, r.baudRate}, {m_dataBits, r.dataBits}, {m_parity, r.parity}, {m_stopBits, r.stopBits},
                    {m_flow, r.flowControl}};
    // A rate beyond the listed ones (hostconsole --baud 921600) is offered as given.
    if (m_baud->findData(r.baudRate) < 0)
        m_baud->addItem(QString::number(r.baudRate), r.baudRate);
    for (const auto &s : settings)
        s.box->setCurrentIndex(s.box->findData(s.value));
}

bool SerialPage::fill(MediumOptions *r, QString *why) const
{
    const QString name = m_port->currentText().trimmed();
    if (name.isEmpty()) {
        *why = tr("name a serial port");
        return false;
    }
    r->medium = MediumOptions::Medium::Serial;
    r->portName = name;
    r->serial.baudRate = m_baud->currentData().toInt();
    r->serial.dataBits = QSerialPort::DataBits(m_dataBits->currentData().toInt());
    r->serial.parity = QSerialPort::Parity(m_parity->currentData().toInt());
    r->serial.stopBits = QSerialPort::StopBits(m_stopBits->currentData().toInt());
    r->serial.flowControl = QSerialPort::FlowControl(m_flow->currentData().toInt());
    return true;
}
