#include "wheelguard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

WheelGuard::WheelGuard(QObject *parent)
    : QObject(parent)
{
}

void WheelGuard::protect(QWidget *root)
{
    auto *guard = new WheelGuard(root);
    QList<QWidget *> boxes;
    for (QComboBox *box : root->findChildren<QComboBox *>())
        boxes.append(box);
    for (QAbstractSpinBox *box : root->findChildren<QAbstractSpinBox *>())
        boxes.append(box);
    for (QWidget *box : boxes) {
        // Qt::WheelFocus, the boxes' default, would let the wheel take focus too.
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(guard);
    }
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    auto *box = qobject_cast<QWidget *>(watched);
    if (!box || box->hasFocus())
        return false;
    // Ignored, so that the application offers it to the box's parents: the
    // scroll area around the panel scrolls.
    event->ignore();
    return true;
}
