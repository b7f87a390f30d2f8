#ifndef SCRIPTPANEL_H
#define SCRIPTPANEL_H

#include "scriptcheck.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// A hostcli script run on the open medium: asks for one to be run or stopped, and
// shows how far it has come and how it ended. A script can also be written or
// loaded into its editor and run from there; the lines it would refuse are listed
// under it by number, and choosing one puts the cursor on that line.
class ScriptPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ScriptPanel(QWidget *parent = nullptr);

    bool isRunning() const { return m_running; }
    // What the panel says: the script's progress, or how it ended.
    QString text() const;
    int progress() const;

    // A larger script runs from its file (Run script...) rather than the editor.
    static constexpr qint64 kMaxEditedBytes = 4 * 1024 * 1024;
    // How long the editor is quiet before its text is checked again.
    static constexpr int kRecheckMs = 150;

    QPlainTextEdit *editor() const { return m_editor; }
    // The editor's text as last checked.
    const ScriptCheck &check() const { return m_check; }
    // Loads a script file into the editor; false with why when it cannot.
    bool loadFile(const QString &path, QString *error);

public slots:
    // Whether a medium is open that a script could run on.
    void setAvailable(bool available);
    void started(const QString &name, qint64 commands);
    void advanced(qint64 ended, qint64 commands);
    void ended(int exitCode, const QString &text);
    // Puts the editor's cursor at the start of the line (from 1).
    void goToLine(int line);
    // Asks for the editor's script to be run, when it holds commands and nothing wrong.
    void runEdited();

signals:
    void runRequested();
    void stopRequested();
    // The editor's script: name as shown, text as a file would hold it.
    void runTextRequested(const QString &name, const QByteArray &text);

private:
    void updateButtons();
    void recheck();
    void openFile();

    QPushButton *m_run;
    QPushButton *m_stop;
    QProgressBar *m_progress;
    QLabel *m_status;
    QPushButton *m_open;
    QPushButton *m_runEdited;
    QPlainTextEdit *m_editor;
    QListWidget *m_problems;
    QTimer m_recheck;
    ScriptCheck m_check;
    QString m_editedName;
    QString m_name;
    bool m_available = false;
    bool m_running = false;
};

#endif // SCRIPTPANEL_H
