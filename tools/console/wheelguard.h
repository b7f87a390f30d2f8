#ifndef WHEELGUARD_H
#define WHEELGUARD_H

#include <QObject>

class QWidget;

// Keeps the mouse wheel from changing a combo or spin box that has no focus: a
// person scrolling the side panel past the Send box must not switch a command to
// broadcast, nor change the timeout or the line's settings. The box takes focus by
// click or Tab only; the wheel over it then scrolls what holds it.
class WheelGuard : public QObject
{
    Q_OBJECT

public:
    // Guards every combo and spin box under root, now there; the guard is root's child.
    static void protect(QWidget *root);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit WheelGuard(QObject *parent);
};

#endif // WHEELGUARD_H
