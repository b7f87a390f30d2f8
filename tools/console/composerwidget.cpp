#include "composerwidget.h"

#include "hexnumber.h"
#include "repeatsender.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit *byteField(QWidget *parent, const QString &placeholder)
{
    auto *edit = new QLineEdit(parent);
    edit->setPlaceholderText(placeholder);
    edit->setMaxLength(4); // "0xE1"
    edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return edit;
}

QString historyText(const CommandDraft &draft, const CommandDraft::Check &check)
{
    QString text = check.scriptLine;
    if (draft.broadcast)
        text += QStringLiteral("  (broadcast)");
    if (check.command.command.byHead != CommandDefaults().head)
        text += QStringLiteral("  (head %1)").arg(HexNumber::byteText(check.command.command.byHead));
    return text;
}

// A long block makes one word of the script line that no wrapping can break: the
// line is shown with the middle of such a word left out, and whole in its tooltip,
// so that the panel never grows wider than its side.
QString shortened(const QString &line)
{
    constexpr int kLongestWord = 32;
    QStringList words = line.split(QLatin1Char(' '));
    for (QString &word : words) {
        if (word.size() > kLongestWord)
            word = word.left(kLongestWord - 12) + QStringLiteral("...") + word.right(9);
    }
    return words.join(QLatin1Char(' '));
}

} // namespace

int ComposerWidget::realTimeoutMs(int countedMs)
{
    // Each 10 ms poll of the dispatcher counts 15 ms.
    return int(qint64(countedMs) * 10 / 15);
}

ComposerWidget::ComposerWidget(QWidget *parent)
    : QWidget(parent)
    , m_head(byteField(this, QStringLiteral("01")))
    , m_cmd(byteField(this, QStringLiteral("e1")))
    , m_sub(byteField(this, QStringLiteral("00")))
    , m_p1(byteField(this, QStringLiteral("00")))
    , m_p2(byteField(this, QStringLiteral("00")))
    , m_p3(byteField(this, QStringLiteral("00")))
    , m_block(new QPlainTextEdit(this))
    , m_length(new QLabel(this))
    , m_fit(new QPushButton(tr("Set p2/p3 to the block's length"), this))
    , m_timeout(new QSpinBox(this))
    , m_realTimeout(new QLabel(this))
    , m_mode(new QComboBox(this))
    , m_status(new QLabel(this))
    , m_send(new QPushButton(tr("Send"), this))
    , m_historyList(new QListWidget(this))
    , m_resend(new QPushButton(tr("Send again"), this))
    , m_repeatInterval(new QSpinBox(this))
    , m_repeatCount(new QSpinBox(this))
    , m_repeat(new QPushButton(tr("Repeat"), this))
    , m_stopRepeat(new QPushButton(tr("Stop"), this))
    , m_repeatStatus(new QLabel(this))
    , m_repeater(new RepeatSender(this))
{
    qRegisterMetaType<PlannedCommand>();

    m_send->setObjectName(QStringLiteral("send"));
    m_timeout->setObjectName(QStringLiteral("timeout"));
    const struct {
        QWidget *widget;
        const char *tip;
    } tips[] = {
        {m_head, "The frame's head byte, in hexadecimal: 01 unless the device expects another."},
        {m_cmd, "The command byte, in hexadecimal (e1, 0xE1)."},
        {m_sub, "The sub-command byte, in hexadecimal."},
        {m_p1, "Parameter 1, in hexadecimal; empty is 00."},
        {m_p2, "Parameter 2: with p3, the block's length (p2 + 256 * p3) when a block is sent."},
        {m_p3, "Parameter 3: the high byte of the block's length when a block is sent."},
        {m_block, "The block, in hexadecimal: spaces and line breaks allowed, 5a*600 is 5a 600 times."},
        {m_fit, "Writes the block's length into p2 and p3."},
        {m_mode, "To the device the medium names, or broadcast to every device on the segment."},
        {m_send, "Sends the command after those already waiting (Ctrl+Return)."},
        {m_historyList, "Commands sent before, newest first: choose one to load it, double-click to send it again."},
        {m_resend, "Sends the chosen command of the list again, unchanged."},
        {m_repeatInterval, "How long from one repetition's send to the next."},
        {m_repeatCount, "How many times the command is sent in all."},
        {m_repeat, "Sends the command now and again every interval, each time as if Send were pressed."},
        {m_stopRepeat, "Ends the repetition: what was sent stays sent."},
    };
    for (const auto &t : tips)
        t.widget->setToolTip(tr(t.tip));
    m_mode->setObjectName(QStringLiteral("sendMode"));
    m_head->setText(CommandDraft().head);
    m_block->setPlaceholderText(tr("block: hex bytes, spaces allowed; 5a*600 repeats"));
    m_block->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_block->setTabChangesFocus(true);
    m_block->setMaximumHeight(m_block->fontMetrics().lineSpacing() * 5);
    m_timeout->setRange(0, 600000);
    m_timeout->setSingleStep(100);
    // The dispatcher counts a command's time in its polls, not on a clock: what the
    // field holds and when a resend really comes are both said.
    m_timeout->setSuffix(tr(" ms, counted"));
    m_timeout->setToolTip(tr("The reply timeout as the dispatcher counts it: each 10 ms poll counts 15 ms, so "
                             "1500 resends after about 1 s."));
    m_timeout->setValue(CommandDraft().timeoutMs);
    m_mode->addItem(tr("to the device (unicast)"));
    m_mode->addItem(tr("to every device (broadcast)"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_length->setWordWrap(true);

    auto *bytes = new QHBoxLayout;
    const struct {
        const char *title;
        QLineEdit *edit;
    } row[] = {{"head", m_head}, {"cmd", m_cmd}, {"sub", m_sub}, {"p1", m_p1}, {"p2", m_p2}, {"p3", m_p3}};
    for (const auto &field : row) {
        auto *column = new QVBoxLayout;
        column->addWidget(new QLabel(tr(field.title), this));
        column->addWidget(field.edit);
        bytes->addLayout(column);
        connect(field.edit, &QLineEdit::textChanged, this, &ComposerWidget::recheck);
        connect(field.edit, &QLineEdit::returnPressed, this, &ComposerWidget::send);
    }
    auto *form = new QFormLayout;
    auto *timeout = new QHBoxLayout;
    timeout->addWidget(m_timeout);
    timeout->addWidget(m_realTimeout, 1);
    form->addRow(tr("Timeout"), timeout);
    form->addRow(tr("Send"), m_mode);
    m_repeatInterval->setObjectName(QStringLiteral("repeatInterval"));
    m_repeatCount->setObjectName(QStringLiteral("repeatCount"));
    m_repeat->setObjectName(QStringLiteral("repeat"));
    m_stopRepeat->setObjectName(QStringLiteral("stopRepeat"));
    m_repeatStatus->setObjectName(QStringLiteral("repeatStatus"));
    m_repeatInterval->setRange(RepeatSender::kMinIntervalMs, RepeatSender::kMaxIntervalMs);
    m_repeatInterval->setSingleStep(100);
    m_repeatInterval->setValue(1000);
    m_repeatInterval->setSuffix(tr(" ms"));
    m_repeatCount->setRange(1, RepeatSender::kMaxCount);
    m_repeatCount->setValue(10);
    m_repeatCount->setSuffix(tr(" times"));
    auto *repeat = new QHBoxLayout;
    repeat->addWidget(new QLabel(tr("every"), this));
    repeat->addWidget(m_repeatInterval, 1);
    repeat->addWidget(m_repeatCount, 1);
    repeat->addWidget(m_repeat);
    repeat->addWidget(m_stopRepeat);
    auto *history = new QHBoxLayout;
    history->addWidget(new QLabel(tr("Sent before"), this), 1);
    history->addWidget(m_resend);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bytes);
    layout->addWidget(m_block);
    // One above the other: beside the button, the length's words would set the
    // panel's narrowest width.
    layout->addWidget(m_length);
    layout->addWidget(m_fit, 0, Qt::AlignRight);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addWidget(m_send);
    layout->addLayout(repeat);
    layout->addWidget(m_repeatStatus);
    layout->addLayout(history);
    layout->addWidget(m_historyList, 1);

    connect(m_block, &QPlainTextEdit::textChanged, this, &ComposerWidget::recheck);
    connect(m_timeout, QOverload<int>::of(&QSpinBox::valueChanged), this, &ComposerWidget::recheck);
    connect(m_mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ComposerWidget::recheck);
    connect(m_fit, &QPushButton::clicked, this, &ComposerWidget::fitLength);
    connect(m_send, &QPushButton::clicked, this, &ComposerWidget::send);
    connect(m_resend, &QPushButton::clicked, this, [this] { resend(m_historyList->currentRow()); });
    connect(m_historyList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { resend(m_historyList->row(item)); });
    connect(m_historyList, &QListWidget::currentRowChanged, this, [this](int row) {
        m_resend->setEnabled(row >= 0 && m_canSend);
        if (row >= 0 && row < m_history.size())
            setDraft(m_history.at(row));
    });
    connect(m_repeat, &QPushButton::clicked, this, &ComposerWidget::repeat);
    connect(m_stopRepeat, &QPushButton::clicked, this, &ComposerWidget::stopRepeating);
    connect(m_repeater, &RepeatSender::sendRequested, this, &ComposerWidget::sendRequested);
    connect(m_repeater, &RepeatSender::progressed, this, [this](int sent, int count) {
        m_repeatStatus->setText(tr("repeating: %1 of %2 sent").arg(sent).arg(count));
    });
    connect(m_repeater, &RepeatSender::finished, this, [this](bool stopped) {
        m_repeatStatus->setText(stopped ? tr("repetition stopped after %1 of %2").arg(m_repeater->sent()).arg(m_repeatCount->value())
                                        : tr("repetition done: %1 sent").arg(m_repeater->sent()));
        updateRepeat();
    });
    m_resend->setEnabled(false);
    recheck();
}

bool ComposerWidget::isRepeating() const
{
    return m_repeater->isRunning();
}

void ComposerWidget::repeat()
{
    recheck();
    if (!m_check.ok || !m_canSend)
        return;
    remember(draft());
    m_repeater->start(m_check.command, m_repeatInterval->value(), m_repeatCount->value());
    updateRepeat();
}

void ComposerWidget::stopRepeating()
{
    m_repeater->stop();
}

void ComposerWidget::updateRepeat()
{
    m_repeat->setEnabled(m_check.ok && m_canSend && !m_repeater->isRunning());
    m_stopRepeat->setEnabled(m_repeater->isRunning());
}

CommandDraft ComposerWidget::draft() const
{
    CommandDraft d;
    d.head = m_head->text();
    d.cmd = m_cmd->text();
    d.sub = m_sub->text();
    d.p1 = m_p1->text();
    d.p2 = m_p2->text();
    d.p3 = m_p3->text();
    d.block = m_block->toPlainText();
    d.timeoutMs = m_timeout->value();
    d.broadcast = m_mode->currentIndex() == 1;
    return d;
}

void ComposerWidget::setDraft(const CommandDraft &d)
{
    m_head->setText(d.head);
    m_cmd->setText(d.cmd);
    m_sub->setText(d.sub);
    m_p1->setText(d.p1);
    m_p2->setText(d.p2);
    m_p3->setText(d.p3);
    if (m_block->toPlainText() != d.block)
        m_block->setPlainText(d.block);
    m_timeout->setValue(d.timeoutMs);
    m_mode->setCurrentIndex(d.broadcast ? 1 : 0);
    recheck();
}

void ComposerWidget::recheck()
{
    m_check = draft().check();
    m_length->setText(m_check.blockLength < 0
                          ? tr("block: -")
                          : tr("block: %1 bytes; p2/p3 announce %2").arg(m_check.blockLength).arg(m_check.announcedLength));
    m_fit->setEnabled(m_check.blockLength > 0 && m_check.blockLength != m_check.announcedLength);
    m_realTimeout->setText(tr("about %1 s").arg(realTimeoutMs(m_timeout->value()) / 1000.0, 0, 'f', 1));
    QString status;
    QString colour;
    if (!m_check.ok && draft().cmd.trimmed().isEmpty()) {
        // Nothing typed yet is no error.
        status = tr("type a command: cmd and sub at least");
    } else if (!m_check.ok) {
        status = shortened(m_check.error);
        colour = QStringLiteral("#c01c28");
    } else if (!m_check.warning.isEmpty()) {
        status = m_check.warning + QStringLiteral("\n") + shortened(m_check.scriptLine);
        colour = QStringLiteral("#b36b00");
    } else {
        status = shortened(m_check.scriptLine);
    }
    m_status->setText(status);
    m_status->setToolTip(m_check.ok ? m_check.scriptLine : QString());
    m_status->setStyleSheet(colour.isEmpty() ? QString() : QStringLiteral("color: %1").arg(colour));
    m_send->setEnabled(m_check.ok && m_canSend);
    updateRepeat();
    // What the button does is said on it: a broadcast reaches every device on the
    // segment.
    const bool broadcast = m_mode->currentIndex() == 1;
    m_send->setText(broadcast ? tr("Send to every device") : tr("Send"));
    if (broadcast != m_broadcast) {
        m_broadcast = broadcast;
        emit broadcastChanged(broadcast);
    }
}

void ComposerWidget::setCanSend(bool canSend)
{
    m_canSend = canSend;
    // Nothing to send on: the repetition ends rather than being refused each time.
    if (!canSend)
        m_repeater->stop();
    m_resend->setEnabled(canSend && m_historyList->currentRow() >= 0);
    recheck();
}

void ComposerWidget::fitLength()
{
    if (m_check.blockLength <= 0)
        return;
    m_p2->setText(HexNumber::byteText(m_check.blockLength & 0xFF));
    m_p3->setText(HexNumber::byteText(m_check.blockLength >> 8));
}

void ComposerWidget::send()
{
    recheck();
    if (!m_check.ok || !m_canSend)
        return;
    remember(draft());
    emit sendRequested(m_check.command);
}

void ComposerWidget::resend(int historyRow)
{
    if (historyRow < 0 || historyRow >= m_history.size() || !m_canSend)
        return;
    const CommandDraft d = m_history.at(historyRow);
    const CommandDraft::Check check = d.check();
    if (!check.ok)
        return;
    remember(d);
    emit sendRequested(check.command);
}

void ComposerWidget::remember(const CommandDraft &d)
{
    const CommandDraft::Check check = d.check();
    const QString text = historyText(d, check);
    // Choosing a row loads it into the fields; here the list only changes.
    const QSignalBlocker blocker(m_historyList);
    // The same command again moves to the top rather than filling the list.
    for (int i = 0; i < m_history.size(); ++i) {
        if (m_historyList->item(i)->text() == text) {
            m_history.removeAt(i);
            delete m_historyList->takeItem(i);
            break;
        }
    }
    m_history.prepend(d);
    m_historyList->insertItem(0, text);
    while (m_history.size() > kHistoryLength) {
        m_history.removeLast();
        delete m_historyList->takeItem(m_historyList->count() - 1);
    }
    m_historyList->setCurrentRow(0);
    m_resend->setEnabled(m_canSend);
}
