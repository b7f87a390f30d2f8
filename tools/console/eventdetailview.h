#ifndef EVENTDETAILVIEW_H
#define EVENTDETAILVIEW_H

#include "consoleevent.h"

#include <QWidget>

class HexDumpView;
class QLabel;

// One event in full: its fields, the frame as it went on the medium (a send) or
// the header as it came (a reply), and the block as a hex dump.
class EventDetailView : public QWidget
{
    Q_OBJECT

public:
    explicit EventDetailView(QWidget *parent = nullptr);

    void setEvent(const ConsoleEvent &event);
    void clear();
    // What the bytes on the wire say of the event (WireFrames::paneText), under its
    // frame; set after setEvent(), which clears it.
    void setWireText(const QString &text);

    // What the view shows, for a test and for copying: the fields, then the frame line.
    QString fieldsText() const;
    QString frameText() const;
    QString blockText() const;
    QString wireText() const;

    // A record's eight header bytes as hex, checksum included; "--" stands for a
    // head byte the event does not know.
    static QString headerText(const ConsoleEvent &event);

private:
    QLabel *m_fields;
    QLabel *m_frame;
    QLabel *m_wire;
    HexDumpView *m_block;
};

#endif // EVENTDETAILVIEW_H
