#ifndef CONSOLEWINDOW_H
#define CONSOLEWINDOW_H

#include "consoleevent.h"
#include "trafficcounters.h"

#include <QJsonObject>
#include <QMainWindow>

class ComposerWidget;
class ConnectionPanel;
class CountersView;
class DiscoveryModel;
class EventDetailView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QTableView;
class RoundTripChart;
class TrafficFilter;
class TrafficModel;

// The console's window: the traffic table with its filters, the selected event in
// full, the counters and the round-trip chart, the devices found, and on the side
// the connection panel and the composer. It shows what it is given and asks for
// what a person wants; the session behind it does the work.
class ConsoleWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit ConsoleWindow(QWidget *parent = nullptr);

    TrafficModel *traffic() const { return m_traffic; }
    TrafficFilter *filter() const { return m_filter; }
    QTableView *trafficView() const { return m_table; }
    EventDetailView *detail() const { return m_detail; }
    CountersView *countersView() const { return m_countersView; }
    RoundTripChart *chart() const { return m_chart; }
    DiscoveryModel *devices() const { return m_devices; }
    ComposerWidget *composer() const { return m_composer; }
    ConnectionPanel *connection() const { return m_connection; }
    const TrafficCounters &counters() const { return m_counters; }
    // The status bar's text: the events held, and what a file opened lacked.
    QString statusText() const;

    // Reads a saved session in place of the traffic shown; false, with the reason,
    // when the file cannot be read. Lines it cannot use are counted in the status bar.
    bool openSession(const QString &path, QString *error);
    // Writes the traffic held as a session file, whole or not at all.
    bool saveSession(const QString &path, QString *error);

public slots:
    void addEvent(const ConsoleEvent &event);
    // The "open" line of a saved session: the medium's name and what it is.
    void setSessionHeader(const QString &medium, const QString &description);

signals:
    // A device chosen from those that answered a broadcast; the UDP page points at it.
    void deviceChosen(const QString &address);

protected:
    // The file dialogs, one function each, so that a test can answer them; empty
    // when cancelled.
    virtual QString pickSessionToOpen();
    virtual QString pickSessionToSave();
    virtual void showError(const QString &text);

private:
    void buildMenus();
    QWidget *buildFilterBar();
    void showCurrent();
    void recount();
    void updateStatus();

    TrafficModel *m_traffic;
    TrafficFilter *m_filter;
    QTableView *m_table;
    QLineEdit *m_commandFilter;
    QCheckBox *m_follow;
    EventDetailView *m_detail;
    CountersView *m_countersView;
    RoundTripChart *m_chart;
    DiscoveryModel *m_devices;
    ComposerWidget *m_composer;
    ConnectionPanel *m_connection;
    QLabel *m_status;

    TrafficCounters m_counters;
    QString m_medium;
    QString m_description;
    QJsonObject m_summary;
    QJsonObject m_devicesLine;
    QString m_fileProblems;
};

#endif // CONSOLEWINDOW_H
