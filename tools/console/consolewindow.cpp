#include "consolewindow.h"

#include "composerwidget.h"
#include "connectionpanel.h"
#include "countersview.h"
#include "discoverymodel.h"
#include "eventdetailview.h"
#include "roundtripchart.h"
#include "sessionfile.h"
#include "trafficfilter.h"
#include "trafficmodel.h"
#include "udppage.h"

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char *const kSessionFilter = "Sessions (*.jsonl *.json);;All files (*)";

bool isRoundTrip(const ConsoleEvent &e)
{
    return e.kind == ConsoleEvent::Kind::Reply && e.host.matched && e.host.roundTripMs >= 0;
}

} // namespace

ConsoleWindow::ConsoleWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_traffic(new TrafficModel(this))
    , m_filter(new TrafficFilter(this))
    , m_table(new QTableView(this))
    , m_commandFilter(new QLineEdit(this))
    , m_follow(new QCheckBox(tr("Follow the newest"), this))
    , m_detail(new EventDetailView(this))
    , m_countersView(new CountersView(this))
    , m_chart(new RoundTripChart(this))
    , m_devices(new DiscoveryModel(this))
    , m_composer(new ComposerWidget(this))
    , m_connection(new ConnectionPanel(this))
    , m_status(new QLabel(this))
{
    setWindowTitle(tr("hostconsole"));
    setWindowIcon(MediumStateIndicator::plug(MediumStateIndicator::colourOf(MediumState::Open), 64));

    m_filter->setSourceModel(m_traffic);
    m_table->setModel(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing is measured over 100,000 rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int column : {TrafficModel::CmdColumn, TrafficModel::SubColumn, TrafficModel::P1Column,
                       TrafficModel::P2Column, TrafficModel::P3Column, TrafficModel::SnColumn})
        m_table->setColumnWidth(column, digit * 6);
    m_table->setColumnWidth(TrafficModel::KindColumn, digit * 14);
    m_table->setColumnWidth(TrafficModel::OutcomeColumn, digit * 26);
    m_follow->setChecked(true);

    auto *devicesView = new QTableView(this);
    devicesView->setModel(m_devices);
    devicesView->setSelectionBehavior(QAbstractItemView::SelectRows);
    devicesView->horizontalHeader()->setStretchLastSection(true);
    devicesView->verticalHeader()->hide();

    auto *numbers = new QWidget(this);
    auto *numbersLayout = new QVBoxLayout(numbers);
    numbersLayout->addWidget(m_countersView);
    numbersLayout->addWidget(m_chart, 1);

    auto *below = new QTabWidget(this);
    below->addTab(m_detail, tr("Event"));
    below->addTab(numbers, tr("Numbers"));
    below->addTab(devicesView, tr("Devices found"));

    auto *trafficPane = new QWidget(this);
    auto *trafficLayout = new QVBoxLayout(trafficPane);
    trafficLayout->setContentsMargins(0, 0, 0, 0);
    trafficLayout->addWidget(buildFilterBar());
    trafficLayout->addWidget(m_table, 1);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(trafficPane);
    splitter->addWidget(below);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    setCentralWidget(splitter);

    auto *side = new QWidget(this);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->addWidget(m_connection);
    sideLayout->addWidget(m_composer, 1);
    auto *dock = new QDockWidget(tr("Medium and commands"), this);
    dock->setObjectName(QStringLiteral("side"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(side);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    resizeDocks({dock}, {fontMetrics().horizontalAdvance(QLatin1Char('0')) * 48}, Qt::Horizontal);

    statusBar()->addWidget(m_status, 1);
    buildMenus();

    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &ConsoleWindow::showCurrent);
    connect(m_traffic, &TrafficModel::flushed, this, [this] {
        m_countersView->setCounters(m_counters);
        if (m_follow->isChecked())
            m_table->scrollToBottom();
        updateStatus();
    });
    connect(devicesView, &QTableView::activated, this, [this](const QModelIndex &index) {
        const QString address = m_devices->addressAt(index.row());
        m_connection->udpPage()->setHost(address);
        m_connection->chooseMedium(ConnectRequest::Medium::Udp);
        emit deviceChosen(address);
    });
    resize(1280, 800);
    updateStatus();
}

QWidget *ConsoleWindow::buildFilterBar()
{
    auto *bar = new QWidget(this);
    auto *kinds = new QToolButton(bar);
    kinds->setText(tr("Kinds"));
    kinds->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(kinds);
    for (int i = 0; i < ConsoleEvent::kKindCount; ++i) {
        const auto kind = ConsoleEvent::Kind(i);
        QAction *action = menu->addAction(ConsoleEvent::name(kind));
        action->setCheckable(true);
        action->setChecked(m_filter->kindShown(kind));
        connect(action, &QAction::toggled, this, [this, kind](bool on) { m_filter->setKindShown(kind, on); });
    }
    kinds->setMenu(menu);
    m_commandFilter->setPlaceholderText(tr("command: e1 or e1:05"));
    m_commandFilter->setClearButtonEnabled(true);
    connect(m_commandFilter, &QLineEdit::textChanged, this, [this](const QString &text) {
        const bool ok = m_filter->setCommandFilter(text);
        m_commandFilter->setStyleSheet(ok ? QString() : QStringLiteral("color: #c01c28"));
    });
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(kinds);
    layout->addWidget(m_commandFilter, 1);
    layout->addWidget(m_follow);
    return bar;
}

void ConsoleWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    QAction *open = file->addAction(tr("&Open session..."));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] {
        const QString path = pickSessionToOpen();
        QString error;
        if (!path.isEmpty() && !openSession(path, &error))
            showError(error);
    });
    QAction *save = file->addAction(tr("&Save session..."));
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] {
        const QString path = pickSessionToSave();
        QString error;
        if (!path.isEmpty() && !saveSession(path, &error))
            showError(error);
    });
    file->addSeparator();
    QAction *quit = file->addAction(tr("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
}

void ConsoleWindow::addEvent(const ConsoleEvent &event)
{
    m_traffic->append(event);
    m_counters.add(event);
    if (isRoundTrip(event))
        m_chart->addRoundTrip(event.host.timeMs, event.host.roundTripMs);
}

void ConsoleWindow::setSessionHeader(const QString &medium, const QString &description)
{
    m_medium = medium;
    m_description = description;
}

bool ConsoleWindow::openSession(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("Cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    SessionContents contents;
    if (!SessionFile::read(&file, &contents, error)) {
        *error = tr("Cannot read %1: %2").arg(path, *error);
        return false;
    }
    m_medium = contents.medium;
    m_description = contents.description;
    m_summary = contents.summary;
    m_devicesLine = contents.devices;
    m_fileProblems.clear();
    if (contents.badLines > 0)
        m_fileProblems += tr("Lines not read: %1 (first: %2). ").arg(contents.badLines).arg(contents.firstProblem);
    if (contents.unknownLines > 0)
        m_fileProblems += tr("Lines of unknown kinds skipped: %1. ").arg(contents.unknownLines);
    if (contents.events.droppedCount() > 0)
        m_fileProblems += tr("The oldest %1 events are not held. ").arg(contents.events.droppedCount());
    m_traffic->replace(std::move(contents.events));
    m_detail->clear();
    recount();
    setWindowTitle(tr("hostconsole - %1").arg(QFileInfo(path).fileName()));
    return true;
}

bool ConsoleWindow::saveSession(const QString &path, QString *error)
{
    m_traffic->flush();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = tr("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!SessionFile::write(&file, m_medium, m_description, m_traffic->events(), m_summary, m_devicesLine, error)
        || !file.commit()) {
        *error = tr("Cannot write %1: %2").arg(path, error->isEmpty() ? file.errorString() : *error);
        return false;
    }
    return true;
}

void ConsoleWindow::showCurrent()
{
    const QModelIndex index = m_filter->mapToSource(m_table->currentIndex());
    if (index.isValid())
        m_detail->setEvent(m_traffic->event(index.row()));
    else
        m_detail->clear();
}

void ConsoleWindow::recount()
{
    m_counters = TrafficCounters();
    m_chart->clear();
    const TrafficBuffer &events = m_traffic->events();
    for (int i = 0; i < events.size(); ++i) {
        const ConsoleEvent &e = events.at(i);
        m_counters.add(e);
        if (isRoundTrip(e))
            m_chart->addRoundTrip(e.host.timeMs, e.host.roundTripMs);
    }
    m_countersView->setCounters(m_counters);
    updateStatus();
}

void ConsoleWindow::updateStatus()
{
    QString text = tr("%1 events held").arg(m_traffic->rowCount());
    if (m_traffic->droppedCount() > 0)
        text += tr(", the oldest %1 let go").arg(m_traffic->droppedCount());
    m_status->setText(text + QStringLiteral(". ") + m_fileProblems);
}

QString ConsoleWindow::statusText() const
{
    return m_status->text();
}

QString ConsoleWindow::pickSessionToOpen()
{
    return QFileDialog::getOpenFileName(this, tr("Open a session"), QString(), tr(kSessionFilter));
}

QString ConsoleWindow::pickSessionToSave()
{
    return QFileDialog::getSaveFileName(this, tr("Save the session"), QString(), tr(kSessionFilter));
}

void ConsoleWindow::showError(const QString &text)
{
    QMessageBox::warning(this, tr("hostconsole"), text);
}
