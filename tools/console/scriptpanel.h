#ifndef SCRIPTPANEL_H
#define SCRIPTPANEL_H

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// A hostcli script run on the open medium: asks for one to be run or stopped, and
// shows how far it has come and how it ended.
class ScriptPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ScriptPanel(QWidget *parent = nullptr);

    bool isRunning() const { return m_running; }
    // What the panel says: the script's progress, or how it ended.
    QString text() const;
    int progress() const;

public slots:
    // Whether a medium is open that a script could run on.
    void setAvailable(bool available);
    void started(const QString &name, qint64 commands);
    void advanced(qint64 ended, qint64 commands);
    void ended(int exitCode, const QString &text);

signals:
    void runRequested();
    void stopRequested();

private:
    void updateButtons();

    QPushButton *m_run;
    QPushButton *m_stop;
    QProgressBar *m_progress;
    QLabel *m_status;
    QString m_name;
    bool m_available = false;
    bool m_running = false;
};

#endif // SCRIPTPANEL_H
