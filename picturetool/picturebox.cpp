#include "picturebox.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

PictureBox::PictureBox(QWidget *parent)
    : QPushButton(parent),
      m_pixmap(160, 90),
      m_background(Qt::white, Qt::SolidPattern)
{
    m_pixmap.fill(Qt::white);
    setFixedSize(160, 90);
}

bool PictureBox::setImage(QImage &image, double scale)
{
    if (image.isNull())
        return false;
    m_pixmap = QPixmap::fromImage(image);
    m_scale = std::clamp(scale, 0.01, 100.0);
    update();
    return true;
}

void PictureBox::setBackground(QBrush brush)
{
    m_background = brush;
    update();
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setBackground(m_background);
    painter.eraseRect(0, 0, width(), height());

    const double k = std::min(double(width()) / m_pixmap.width(),
                              double(height()) / m_pixmap.height());
    painter.translate(int((width() - m_pixmap.width() * k) / 2),
                      int((height() - m_pixmap.height() * k) / 2));
    painter.scale(k, k);
    painter.drawPixmap(0, 0, m_pixmap);
}
