#ifndef COMPOSERWIDGET_H
#define COMPOSERWIDGET_H

#include "commanddraft.h"

#include <QList>
#include <QMetaType>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class RepeatSender;

Q_DECLARE_METATYPE(PlannedCommand)

// Puts one command together field by field, shows the block's length against what
// p2/p3 announce, and sends it; what was sent stays in a history to send again.
class ComposerWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHistoryLength = 100;

    explicit ComposerWidget(QWidget *parent = nullptr);

    CommandDraft draft() const;
    void setDraft(const CommandDraft &draft);
    // Most recent first.
    const QList<CommandDraft> &history() const { return m_history; }
    // When a timeout the dispatcher counts as countedMs really ends.
    static int realTimeoutMs(int countedMs);
    // Whether Send goes to every device.
    bool broadcast() const { return m_broadcast; }
    // Whether a repetition runs.
    bool isRepeating() const;

public slots:
    // Whether there is a medium to send on; the fields can be edited either way.
    void setCanSend(bool canSend);
    // Sends what the fields hold, when they make a command.
    void send();
    // Sends the history's entry again.
    void resend(int historyRow);
    // Sends what the fields hold again and again: every interval, as often as the
    // repeat fields say.
    void repeat();
    void stopRepeating();

signals:
    void sendRequested(const PlannedCommand &command);
    void broadcastChanged(bool broadcast);

private:
    void recheck();
    void remember(const CommandDraft &draft);
    void fitLength();
    void updateRepeat();

    QLineEdit *m_head;
    QLineEdit *m_cmd;
    QLineEdit *m_sub;
    QLineEdit *m_p1;
    QLineEdit *m_p2;
    QLineEdit *m_p3;
    QPlainTextEdit *m_block;
    QLabel *m_length;
    QPushButton *m_fit;
    QSpinBox *m_timeout;
    QLabel *m_realTimeout;
    QComboBox *m_mode;
    QLabel *m_status;
    QPushButton *m_send;
    QListWidget *m_historyList;
    QPushButton *m_resend;
    QSpinBox *m_repeatInterval;
    QSpinBox *m_repeatCount;
    QPushButton *m_repeat;
    QPushButton *m_stopRepeat;
    QLabel *m_repeatStatus;
    RepeatSender *m_repeater;

    CommandDraft::Check m_check;
    QList<CommandDraft> m_history;
    bool m_canSend = true;
    bool m_broadcast = false;
};

#endif // COMPOSERWIDGET_H
