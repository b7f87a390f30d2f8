#ifndef PICTUREBOX_H
#define PICTUREBOX_H

#include <QBrush>
#include <QImage>
#include <QPixmap>
#include <QPushButton>

// A 160 x 90 thumbnail tile: paints its image whole, centred and fitted, on the
// background brush, and reports left-button double-clicks.
class PictureBox : public QPushButton
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent = nullptr);

signals:
    void doubleClicked();

public slots:
    bool setImage(QImage &image, double scale = 1.0);
    void setBackground(QBrush brush);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_pixmap;
    double m_scale = 1.0;
    QBrush m_background;
};

#endif // PICTUREBOX_H
