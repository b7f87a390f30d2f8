#ifndef CONNECTIONPANEL_H
#define CONNECTIONPANEL_H

#include "mediumoptions.h"
#include "mediumstateindicator.h"

#include <QMetaType>
#include <QVector>
#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;
class MediumPage;
class UdpPage;

// Chooses a medium and asks for it to be opened or closed, and shows where it
// stands. It opens nothing: the session does, and tells it the state.
class ConnectionPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionPanel(QWidget *parent = nullptr);

    // What Open would ask for; false, with the reason, when a field is missing.
    bool request(MediumOptions *options, QString *why) const;
    MediumState state() const;

    UdpPage *udpPage() const { return m_udp; }

public slots:
    void setState(MediumState state, const QString &detail = QString());
    // The medium chosen before; a device chosen from a broadcast's answers is UDP.
    void chooseMedium(MediumOptions::Medium medium);
    // Shows options given elsewhere (the command line, a device chosen) on their page.
    void showRequest(const MediumOptions &options);

signals:
    void connectRequested(const MediumOptions &options);
    void closeRequested();
    void discoverRequested(quint16 port);

private:
    void open();
    // The page of a medium: a broadcast goes out from the UDP page.
    MediumPage *pageOf(MediumOptions::Medium medium) const;

    QTabWidget *m_media;
    UdpPage *m_udp;
    // The tabs' pages in their order, each with its medium.
    QVector<QPair<MediumOptions::Medium, MediumPage *>> m_pages;
    QPushButton *m_open;
    QPushButton *m_close;
    QLabel *m_problem;
    MediumStateIndicator *m_indicator;
};

Q_DECLARE_METATYPE(MediumOptions)

#endif // CONNECTIONPANEL_H
