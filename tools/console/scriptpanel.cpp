#include "scriptpanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <climits>

ScriptPanel::ScriptPanel(QWidget *parent)
    : QWidget(parent)
    , m_run(new QPushButton(tr("Run script..."), this))
    , m_stop(new QPushButton(tr("Stop"), this))
    , m_progress(new QProgressBar(this))
    , m_status(new QLabel(tr("Runs a hostcli script on the open medium."), this))
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

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_run, 1);
    buttons->addWidget(m_stop);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);

    connect(m_run, &QPushButton::clicked, this, &ScriptPanel::runRequested);
    connect(m_stop, &QPushButton::clicked, this, &ScriptPanel::stopRequested);
    updateButtons();
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
}
