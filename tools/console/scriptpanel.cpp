#include "scriptpanel.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <QTextBlock>

#include <climits>

ScriptPanel::ScriptPanel(QWidget *parent)
    : QWidget(parent)
    , m_run(new QPushButton(tr("Run script..."), this))
    , m_stop(new QPushButton(tr("Stop"), this))
    , m_progress(new QProgressBar(this))
    , m_status(new QLabel(tr("Runs a hostcli script on the open medium."), this))
    , m_open(new QPushButton(tr("Open..."), this))
    , m_runEdited(new QPushButton(tr("Run this script"), this))
    , m_editor(new QPlainTextEdit(this))
    , m_problems(new QListWidget(this))
    , m_editedName(tr("edited script"))
{
    m_run->setObjectName(QStringLiteral("runScript"));
    m_stop->setObjectName(QStringLiteral("stopScript"));
    m_run->setToolTip(tr("Runs a hostcli script on the open medium; commands sent meanwhile go in between."));
    m_stop->setToolTip(tr("Stops the script: the command in flight is let go (Ctrl+.)."));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setFormat(tr("%v of %m commands"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_open->setObjectName(QStringLiteral("openScript"));
    m_runEdited->setObjectName(QStringLiteral("runEditedScript"));
    m_editor->setObjectName(QStringLiteral("scriptEditor"));
    m_problems->setObjectName(QStringLiteral("scriptProblems"));
    m_open->setToolTip(tr("Loads a script file into the editor."));
    m_runEdited->setToolTip(tr("Runs the editor's script on the open medium, as Run script... runs a file."));
    m_problems->setToolTip(tr("Lines the script would refuse: choose one to go to it."));
    m_editor->setToolTip(tr("A hostcli script: one command a line, # begins a comment."));
    m_editor->setPlaceholderText(tr("71:00 # one command a line, as in a hostcli script"));
    m_editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_problems->setMaximumHeight(m_problems->fontMetrics().lineSpacing() * 5);
    m_recheck.setSingleShot(true);
    m_recheck.setInterval(kRecheckMs);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_run, 1);
    buttons->addWidget(m_stop);
    auto *editing = new QHBoxLayout;
    editing->addWidget(m_open);
    editing->addWidget(m_runEdited, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addLayout(editing);
    layout->addWidget(m_editor, 1);
    layout->addWidget(m_problems);

    connect(m_run, &QPushButton::clicked, this, &ScriptPanel::runRequested);
    connect(m_stop, &QPushButton::clicked, this, &ScriptPanel::stopRequested);
    connect(m_open, &QPushButton::clicked, this, &ScriptPanel::openFile);
    connect(m_runEdited, &QPushButton::clicked, this, &ScriptPanel::runEdited);
    connect(m_editor, &QPlainTextEdit::textChanged, &m_recheck, QOverload<>::of(&QTimer::start));
    connect(&m_recheck, &QTimer::timeout, this, &ScriptPanel::recheck);
    auto goToChosen = [this](QListWidgetItem *item) { goToLine(item->data(Qt::UserRole).toInt()); };
    connect(m_problems, &QListWidget::itemActivated, this, goToChosen);
    connect(m_problems, &QListWidget::itemClicked, this, goToChosen);
    recheck();
}

QString ScriptPanel::text() const
{
    return m_status->text();
}

int ScriptPanel::progress() const
{
    return m_progress->value();
}

void ScriptPanel::setAvailable(bool available)
{
    m_available = available;
    updateButtons();
}

void ScriptPanel::started(const QString &name, qint64 commands)
{
    m_name = name;
    m_running = true;
    // A progress bar counts in int: a script of more lines is shown to scale.
    m_progress->setRange(0, int(qMin<qint64>(commands, INT_MAX)));
    m_progress->setValue(0);
    m_status->setText(tr("%1: running").arg(name));
    m_status->setStyleSheet(QString());
    updateButtons();
}

void ScriptPanel::advanced(qint64 ended, qint64 commands)
{
    m_progress->setValue(int(qMin<qint64>(qMin(ended, commands), INT_MAX)));
}

void ScriptPanel::ended(int exitCode, const QString &text)
{
    m_running = false;
    m_status->setText(QStringLiteral("%1: %2\n%3").arg(m_name, exitCode == 0 ? tr("done") : tr("failed"), text));
    m_status->setStyleSheet(exitCode == 0 ? QString() : QStringLiteral("color: #c01c28"));
    updateButtons();
}

void ScriptPanel::updateButtons()
{
    m_run->setEnabled(m_available && !m_running);
    m_stop->setEnabled(m_running);
    m_runEdited->setEnabled(m_available && !m_running && m_check.ok() && m_check.commands > 0);
}

void ScriptPanel::recheck()
{
    m_recheck.stop();
    m_check = ScriptCheck::of(m_editor->toPlainText());
    m_problems->clear();
    for (const ScriptCheck::Problem &problem : m_check.problems) {
        auto *item = new QListWidgetItem(tr("line %1: %2").arg(problem.line).arg(problem.text), m_problems);
        item->setData(Qt::UserRole, problem.line);
        item->setForeground(QColor(0xc0, 0x1c, 0x28));
    }
    if (m_check.problemCount > m_check.problems.size())
        m_problems->addItem(tr("and %1 more").arg(m_check.problemCount - m_check.problems.size()));
    updateButtons();
}

void ScriptPanel::goToLine(int line)
{
    const QTextBlock block = m_editor->document()->findBlockByNumber(line - 1);
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    m_editor->setTextCursor(cursor);
    m_editor->centerCursor();
    m_editor->setFocus();
}

void ScriptPanel::runEdited()
{
    // What the run reads is what was checked, never a text typed since.
    recheck();
    if (!m_available || m_running || !m_check.ok() || m_check.commands == 0)
        return;
    emit runTextRequested(m_editedName, m_editor->toPlainText().toUtf8());
}

bool ScriptPanel::loadFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    // Read one byte past the bound: a file that grows meanwhile is still refused.
    const QByteArray bytes = file.read(kMaxEditedBytes + 1);
    if (bytes.size() > kMaxEditedBytes) {
        *error = tr("%1 is larger than %2 MiB: run it with Run script... instead")
                     .arg(path)
                     .arg(kMaxEditedBytes / (1024 * 1024));
        return false;
    }
    m_editedName = QFileInfo(path).fileName();
    m_editor->setPlainText(QString::fromUtf8(bytes));
    recheck();
    return true;
}

void ScriptPanel::openFile()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open a script"), QString(),
                                                      tr("Scripts (*.txt *.script);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!loadFile(path, &error)) {
        m_status->setText(error);
        m_status->setStyleSheet(QStringLiteral("color: #c01c28"));
    }
}
