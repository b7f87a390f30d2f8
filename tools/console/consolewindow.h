#ifndef CONSOLEWINDOW_H
#define CONSOLEWINDOW_H

#include "consoleevent.h"
#include "eventlog.h"
#include "mediumoptions.h"
#include "mediumstate.h"
#include "trafficcounters.h"

#include <QJsonObject>
#include <QMainWindow>
#include <QVector>

class ComposerWidget;
class ConnectionPanel;
class ConsoleSession;
class CountersView;
class DiscoveryModel;
class EventDetailView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QSettings;
class QTabWidget;
class QTableView;
class RoundTripChart;
class ScriptPanel;
class SessionReader;
struct SessionContents;
class SearchBar;
class TrafficFilter;
class TrafficModel;

// The console's window: the traffic table with its filters, the selected event in
// full, the counters and the round-trip chart, the devices found, and on the side
// the connection panel, the composer and the script. It shows what its session
// reports and asks it for what a person wants; the session does the work on a
// thread of its own, so the window never waits on a medium.
class ConsoleWindow : public QMainWindow
{
    Q_OBJECT

public:
    // What to do with events not saved yet, before they go.
    enum class Unsaved { Save, Discard, Cancel };

    explicit ConsoleWindow(QWidget *parent = nullptr);
    ~ConsoleWindow() override;

    TrafficModel *traffic() const { return m_traffic; }
    TrafficFilter *filter() const { return m_filter; }
    QTableView *trafficView() const { return m_table; }
    EventDetailView *detail() const { return m_detail; }
    CountersView *countersView() const { return m_countersView; }
    RoundTripChart *chart() const { return m_chart; }
    DiscoveryModel *devices() const { return m_devices; }
    ComposerWidget *composer() const { return m_composer; }
    ConnectionPanel *connection() const { return m_connection; }
    ScriptPanel *scriptPanel() const { return m_script; }
    ConsoleSession *session() const { return m_session; }
    const TrafficCounters &counters() const { return m_counters; }
    SearchBar *searchBar() const { return m_search; }
    const EventLog &eventLog() const { return m_log; }
    // The status bar's text: the events held, and what a file opened lacked.
    QString statusText() const;

    // Reads a saved session in place of the traffic shown; false, with the reason,
    // when the file cannot be read. Lines it cannot use are counted in the status bar.
    bool openSession(const QString &path, QString *error);
    // The same on a thread of its own, with the bytes read in a progress dialog whose
    // Cancel leaves the window as it was; a failure is shown. sessionOpenEnded() follows.
    void openSessionInBackground(const QString &path);
    // The size and place a person left the window at, from and into settings;
    // without them it opens at a size the screen has room for.
    void restoreSize(const QSettings &settings);
    void keepSize(QSettings *settings) const;
    static constexpr const char *kGeometryKey = "window/geometry";

    // Writes the traffic held as a session file, whole or not at all.
    bool saveSession(const QString &path, QString *error);

    // Writes the rows the filters show, in their order, as CSV, whole or not at all.
    bool exportVisible(const QString &path, QString *error);
    // The selected rows, tab-separated, on the clipboard (Ctrl+C in the table).
    void copySelectedRows();
    // Writes each event from now on to path as it comes, a session File → Open
    // reads; false, with the reason, when the file cannot be written.
    bool startLog(const QString &path, QString *error);
    void stopLog();

    // Opens the medium the options name (the panel's, or hostcli's given on the
    // command line) through the session; a Broadcast finds the devices at its port.
    void openMedium(const MediumOptions &options);
    // Selects the newest reply, one with a block if any, so that the event view
    // shows one in full.
    void showNewestReply();

public slots:
    void addEvent(const ConsoleEvent &event);
    void addEvents(const QVector<ConsoleEvent> &events);
    // The "open" line of a saved session: the medium's name and what it is.
    void setSessionHeader(const QString &medium, const QString &description);

signals:
    // A device chosen from those that answered a broadcast: the UDP session opens
    // to it.
    void deviceChosen(const QString &address);
    // The script run on the medium ended (exitCode 0: as planned), or the
    // broadcast's answers are in (0: some device answered).
    void runEnded(int exitCode);
    // A read in the background ended: shown is true when the file is now in the window.
    void sessionOpenEnded(bool shown);

protected:
    // The file dialogs, one function each, so that a test can answer them; empty
    // when cancelled.
    virtual QString pickSessionToOpen();
    virtual QString pickSessionToSave();
    virtual QString pickScript();
    virtual QString pickCsvToSave();
    virtual QString pickLogFile();
    virtual void showError(const QString &text);
    virtual Unsaved askToSave();
    // Whether the medium in use may be closed so that a file is shown instead.
    virtual bool askToCloseMedium();
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    QWidget *buildFilterBar();
    QWidget *buildSide();
    void fitToScreen();
    void connectSession();
    void onState(MediumState state, const QString &detail);
    void showCurrent();
    void recount();
    void updateStatus();
    // The File menu's Open: asks what a person would lose first.
    void openChosenSession();
    // Saves the events not saved yet if a person wants to; false: keep them here.
    bool settleUnsaved();
    bool mediumInUse() const;
    void connectReader();
    // A session read in place of the traffic shown, from path.
    void showContents(const QString &path, SessionContents contents);
    void logFailed(const QString &why);

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
    ScriptPanel *m_script;
    QTabWidget *m_below;
    // The command and the script, under the medium.
    QTabWidget *m_work = nullptr;
    QLabel *m_status;
    ConsoleSession *m_session;
    SessionReader *m_reader;
    QProgressDialog *m_openProgress = nullptr;

    TrafficCounters m_counters;
    QString m_medium;
    QString m_description;
    QJsonObject m_summary;
    QJsonObject m_devicesLine;
    QString m_fileProblems;
    // The traffic shown came from a file: a medium opened replaces it.
    bool m_fromFile = false;
    // Events came since the last save or open: closing or opening asks first.
    bool m_unsaved = false;
    // Replies go to the devices found while a broadcast listens.
    bool m_discovering = false;
    quint16 m_discoveryPort = 0;
    qint64 m_lostEvents = 0;
    SearchBar *m_search = nullptr;
    EventLog m_log;
    // When the medium shown opened, in ms since the epoch; 0 when not known.
    qint64 m_openedMs = 0;
    // Why the log stopped by itself; empty while it runs or was stopped by hand.
    QString m_logProblem;
};

#endif // CONSOLEWINDOW_H
