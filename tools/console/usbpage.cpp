#include "usbpage.h"

#include "hexnumber.h"
#include "hiddevices.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

UsbPage::UsbPage(QWidget *parent)
    : MediumPage(parent)
    , m_device(new QComboBox(this))
{
    m_device->setEditable(true);
    m_device->setInsertPolicy(QComboBox::NoInsert);
    m_device->lineEdit()->setPlaceholderText(tr("vendor:product, e.g. 4c56:0105"));
    connect(m_device->lineEdit(), &QLineEdit::returnPressed, this, &UsbPage::openRequested);
    auto *refreshButton = new QPushButton(tr("Refresh"), this);
    refreshButton->setToolTip(tr("Lists the HID devices present now."));
    m_device->setToolTip(tr("The HID device: chosen from those present, or its ids typed as vendor:product; "
                            "one unplugged is waited for and opened again."));
    connect(refreshButton, &QPushButton::clicked, this, &UsbPage::refresh);
    auto *row = new QHBoxLayout;
    row->addWidget(m_device, 1);
    row->addWidget(refreshButton);
    auto *form = new QFormLayout(this);
    form->addRow(tr("HID device"), row);
    refresh();
}

void UsbPage::refresh()
{
    const QString typed = m_device->currentText();
    m_device->clear();
    for (const HidDevice &d : HidDevices::present()) {
        QString text = HexNumber::idText(d.vendorId) + QLatin1Char(':') + HexNumber::idText(d.productId);
        if (!d.product.isEmpty())
            text += QStringLiteral("  ") + d.product;
        if (!d.manufacturer.isEmpty())
            text += QStringLiteral(" (%1)").arg(d.manufacturer);
        m_device->addItem(text);
    }
    m_device->setEditText(typed.isEmpty() && m_device->count() > 0 ? m_device->itemText(0) : typed);
}

void UsbPage::show(const MediumOptions &r)
{
    m_device->setEditText(HexNumber::idText(r.vendorId) + QLatin1Char(':') + HexNumber::idText(r.productId));
}

bool UsbPage::fill(MediumOptions *r, QString *why) const
{
    static const QRegularExpression kIds(QStringLiteral("^\\s*([0-9a-fA-F]{1,4}):([0-9a-fA-F]{1,4})(\\s|$)"));
    const QRegularExpressionMatch m = kIds.match(m_device->currentText());
    if (!m.hasMatch()) {
        *why = tr("choose a device, or type its ids as vendor:product in hexadecimal");
        return false;
    }
    r->medium = MediumOptions::Medium::Usb;
    r->vendorId = quint16(m.captured(1).toUInt(nullptr, 16));
    r->productId = quint16(m.captured(2).toUInt(nullptr, 16));
    return true;
}
