#ifndef MEDIUMPAGE_H
#define MEDIUMPAGE_H

#include "mediumoptions.h"

#include <QWidget>

// One medium's page of the connection panel: its fields, filled in as the options
// the session opens, and shown again for options given elsewhere.
class MediumPage : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

    // The medium's fields into *options, medium included; false, with the reason,
    // when one is missing.
    virtual bool fill(MediumOptions *options, QString *why) const = 0;
    // Shows what was opened without this page (the command line, a device chosen).
    virtual void show(const MediumOptions &options) = 0;

signals:
    // Enter pressed where the medium is named.
    void openRequested();
};

#endif // MEDIUMPAGE_H
