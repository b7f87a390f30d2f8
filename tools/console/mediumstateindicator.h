#ifndef MEDIUMSTATEINDICATOR_H
#define MEDIUMSTATEINDICATOR_H

#include "mediumstate.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>

class QLabel;

// A plug in the state's colour, grey while nothing is connected, and the state in words.
class MediumStateIndicator : public QWidget
{
    Q_OBJECT

public:
    explicit MediumStateIndicator(QWidget *parent = nullptr);

    MediumState state() const { return m_state; }
    // "open: /dev/ttyUSB0 at 115200 8N1"
    QString text() const;

    static QColor colourOf(MediumState state);
    static QPixmap plug(const QColor &colour, int size);

public slots:
    // detail: what the medium is, or why it failed.
    void setState(MediumState state, const QString &detail = QString());

private:
    MediumState m_state = MediumState::Closed;
    QLabel *m_icon;
    QLabel *m_text;
};

#endif // MEDIUMSTATEINDICATOR_H
