#include "consolewindow.h"

#include "composerwidget.h"
#include "connectionpanel.h"
#include "consolesession.h"
#include "countersview.h"
#include "csvexport.h"
#include "discoverymodel.h"
#include "eventdetailview.h"
#include "eventrow.h"
#include "regularfile.h"
#include "roundtripchart.h"
#include "scriptpanel.h"
#include "openprogress.h"
#include "searchbar.h"
#include "sessionfile.h"
#include "sessionreader.h"
#include "trafficfilter.h"
#include "trafficmodel.h"
#include "udppage.h"
#include "wheelguard.h"
#include "wireframes.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSaveFile>
#include <QScrollArea>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char *const kSessionFilter = "Sessions (*.jsonl *.json);;All files (*)";

bool isRoundTrip(const ConsoleEvent &e)
{
    return e.kind() == HostEvent::Kind::Reply && e.host.matched && e.host.roundTripMs >= 0;
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
    , m_script(new ScriptPanel(this))
    , m_status(new QLabel(this))
    , m_session(new ConsoleSession(this))
    , m_reader(new SessionReader(this))
{
    setWindowTitle(tr("hostconsole"));
    setWindowIcon(MediumStateIndicator::plug(MediumStateIndicator::colourOf(MediumState::Open), 64));

    m_filter->setSourceModel(m_traffic);
    m_table->setModel(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows, to copy them.
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing is measured over 100,000 rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const struct {
        int column;
        int digits;
    } widths[] = {{TrafficModel::TimeColumn, 12}, {TrafficModel::SnColumn, 5},        {TrafficModel::KindColumn, 12},
                  {TrafficModel::CmdColumn, 5},   {TrafficModel::SubColumn, 5},       {TrafficModel::P1Column, 4},
                  {TrafficModel::P2Column, 4},    {TrafficModel::P3Column, 4},        {TrafficModel::BlockColumn, 6},
                  {TrafficModel::RoundTripColumn, 10}, {TrafficModel::OutcomeColumn, 23}};
    for (const auto &w : widths)
        m_table->setColumnWidth(w.column, digit * w.digits);
    m_follow->setChecked(true);

    auto *devicesView = new QTableView(this);
    devicesView->setObjectName(QStringLiteral("devices"));
    // Sorted by any column, numbers as numbers; every field shown whole.
    auto *sortedDevices = new QSortFilterProxyModel(this);
    sortedDevices->setSourceModel(m_devices);
    sortedDevices->setSortRole(DiscoveryModel::SortRole);
    devicesView->setModel(sortedDevices);
    devicesView->setSortingEnabled(true);
    devicesView->sortByColumn(DiscoveryModel::AddressColumn, Qt::AscendingOrder);
    devicesView->setSelectionBehavior(QAbstractItemView::SelectRows);
    devicesView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    devicesView->horizontalHeader()->setStretchLastSection(true);
    devicesView->verticalHeader()->hide();

    // What is counted and timed stays in sight beside the event and the devices.
    auto *numbers = new QGroupBox(tr("Numbers"), this);
    auto *numbersLayout = new QVBoxLayout(numbers);
    numbersLayout->addWidget(m_countersView);
    numbersLayout->addWidget(m_chart, 1);

    m_below = new QTabWidget(this);
    m_below->addTab(m_detail, tr("Event"));
    m_below->addTab(devicesView, tr("Devices found"));

    auto *lower = new QSplitter(Qt::Horizontal, this);
    lower->addWidget(m_below);
    lower->addWidget(numbers);
    // The event's hex dump wants its 16 bytes a line.
    lower->setSizes({digit * 80, digit * 50});

    auto *trafficPane = new QWidget(this);
    auto *trafficLayout = new QVBoxLayout(trafficPane);
    trafficLayout->setContentsMargins(0, 0, 0, 0);
    trafficLayout->addWidget(buildFilterBar());
    m_search = new SearchBar(m_filter, this);
    trafficLayout->addWidget(m_search);
    trafficLayout->addWidget(m_table, 1);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(trafficPane);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    setCentralWidget(splitter);

    auto *dock = new QDockWidget(tr("Medium and commands"), this);
    dock->setObjectName(QStringLiteral("side"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    // Scrolled rather than stretching the window past a small screen's height.
    auto *sideScroll = new QScrollArea(dock);
    QWidget *side = buildSide();
    WheelGuard::protect(side);
    sideScroll->setWidget(side);
    // As narrow as the controls allow with the vertical scroll bar beside them;
    // narrower than that only while the content has to change (a long error text).
    sideScroll->setMinimumWidth(side->minimumSizeHint().width()
                                + sideScroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
    sideScroll->setWidgetResizable(true);
    sideScroll->setFrameShape(QFrame::NoFrame);
    // Narrowed past what its controls need, the panel scrolls sideways rather than
    // cutting them.
    sideScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    dock->setWidget(sideScroll);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    resizeDocks({dock}, {digit * 46}, Qt::Horizontal);

    statusBar()->addWidget(m_status, 1);
    buildMenus();
    connectSession();

    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &ConsoleWindow::showCurrent);
    connect(m_traffic, &TrafficModel::flushed, this, [this] {
        m_countersView->setCounters(m_counters);
        if (m_follow->isChecked())
            m_table->scrollToBottom();
        updateStatus();
    });
    connect(devicesView, &QTableView::activated, this, [this, sortedDevices](const QModelIndex &index) {
        MediumOptions udp;
        udp.medium = MediumOptions::Medium::Udp;
        udp.udpHost = m_devices->addressAt(sortedDevices->mapToSource(index).row());
        udp.udpPort = m_discoveryPort;
        openMedium(udp);
        emit deviceChosen(udp.udpHost);
    });
    connectReader();
    fitToScreen();
    onState(MediumState::Closed, QString());
    updateStatus();
}

ConsoleWindow::~ConsoleWindow()
{
    // Before the views it reports to go.
    m_session->shutdown();
}

QWidget *ConsoleWindow::buildSide()
{
    auto *side = new QWidget(this);
    auto *layout = new QVBoxLayout(side);
    auto *medium = new QGroupBox(tr("Medium"), side);
    auto *mediumLayout = new QVBoxLayout(medium);
    mediumLayout->setContentsMargins(4, 4, 4, 4);
    mediumLayout->addWidget(m_connection);
    layout->addWidget(medium);
    // The command and the script share the height left under the medium: on a
    // small screen the script is a tab away rather than below the fold.
    m_work = new QTabWidget(side);
    m_work->setObjectName(QStringLiteral("work"));
    m_work->addTab(m_composer, tr("Command"));
    m_work->addTab(m_script, tr("Script"));
    layout->addWidget(m_work, 1);
    // Tab goes down the panel as it reads: the medium, the tabs, the command's
    // fields, the script; not by the order the parts were made in.
    const auto chainOf = [](QWidget *part) {
        QList<QWidget *> chain;
        for (QWidget *w = part->nextInFocusChain(); w != part; w = w->nextInFocusChain()) {
            if (part->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
                chain << w;
        }
        return chain;
    };
    const QList<QWidget *> order = chainOf(m_connection) + QList<QWidget *>{m_work->tabBar()} + chainOf(m_composer)
        + chainOf(m_script);
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    return side;
}

void ConsoleWindow::fitToScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Room for the frame and the panels the desktop keeps.
    const QRect available = screen->availableGeometry();
    const QSize size = QSize(1600, 900).boundedTo(available.size() * 0.92);
    resize(size);
    move(available.center() - QPoint(size.width() / 2, size.height() / 2));
}

void ConsoleWindow::restoreSize(const QSettings &settings)
{
    const QByteArray geometry = settings.value(QLatin1String(kGeometryKey)).toByteArray();
    // What no longer fits the screen (a smaller one since) is brought onto it.
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void ConsoleWindow::keepSize(QSettings *settings) const
{
    settings->setValue(QLatin1String(kGeometryKey), saveGeometry());
}

void ConsoleWindow::connectSession()
{
    connect(m_connection, &ConnectionPanel::connectRequested, this, &ConsoleWindow::openMedium);
    connect(m_connection, &ConnectionPanel::closeRequested, m_session, &ConsoleSession::close);
    connect(m_connection, &ConnectionPanel::discoverRequested, this, [this](quint16 port) {
        MediumOptions options;
        options.medium = MediumOptions::Medium::Broadcast;
        options.udpPort = port;
        openMedium(options);
    });
    connect(m_composer, &ComposerWidget::sendRequested, m_session, &ConsoleSession::send);
    connect(m_composer, &ComposerWidget::broadcastChanged, this, &ConsoleWindow::updateStatus);
    connect(m_script, &ScriptPanel::runRequested, this, [this] {
        const QString path = pickScript();
        if (!path.isEmpty())
            m_session->runScript(path);
    });
    connect(m_script, &ScriptPanel::stopRequested, m_session, &ConsoleSession::stopScript);
    connect(m_script, &ScriptPanel::runTextRequested, this,
            [this](const QString &name, const QByteArray &text) { m_session->runScriptText(name, text); });

    connect(m_session, &ConsoleSession::stateChanged, this, &ConsoleWindow::onState);
    connect(m_session, &ConsoleSession::opened, this, [this](const QString &medium, const QString &description) {
        if (m_fromFile) {
            m_traffic->clear();
            m_fileProblems.clear();
            m_summary = QJsonObject();
            m_devicesLine = QJsonObject();
            m_fromFile = false;
            recount();
        }
        setSessionHeader(medium, description);
        m_openedMs = QDateTime::currentMSecsSinceEpoch();
        QString logError;
        if (m_log.isOpen() && !m_log.writeOpen(medium, description, m_openedMs, &logError))
            logFailed(logError);
        m_discovering = medium == QLatin1String("broadcast");
        if (m_discovering) {
            m_devices->clear();
            m_below->setCurrentIndex(1);
        }
        setWindowTitle(tr("hostconsole - %1: %2").arg(medium, description));
    });
    connect(m_session, &ConsoleSession::eventsArrived, this, [this](const QVector<ConsoleEvent> &events) {
        // The last of a medium closed for a file to be shown belong to neither.
        if (!m_fromFile)
            addEvents(events);
    });
    connect(m_session, &ConsoleSession::eventsLost, this, [this](qint64 count) {
        m_lostEvents += count;
        updateStatus();
    });
    connect(m_session, &ConsoleSession::scriptStarted, m_script, &ScriptPanel::started);
    connect(m_session, &ConsoleSession::scriptStarted, this, [this] { m_work->setCurrentWidget(m_script); });
    connect(m_session, &ConsoleSession::scriptProgress, m_script, &ScriptPanel::advanced);
    connect(m_session, &ConsoleSession::scriptEnded, this,
            [this](int exitCode, const QString &text, const QJsonObject &summary) {
                m_script->ended(exitCode, text);
                m_summary = summary;
                emit runEnded(exitCode);
            });
    connect(m_session, &ConsoleSession::devicesFound, this,
            [this](const QStringList &addresses, const QString &text, const QJsonObject &line) {
                m_discovering = false;
                m_devicesLine = line;
                statusBar()->showMessage(text);
                emit runEnded(addresses.isEmpty() ? 1 : 0);
            });
    connect(m_session, &ConsoleSession::refused, this, [this](const QString &why) { statusBar()->showMessage(why); });
}

void ConsoleWindow::connectReader()
{
    connect(m_reader, &SessionReader::progressed, this, [this](qint64 bytesRead, qint64 size) {
        if (!m_openProgress)
            return;
        m_openProgress->setValue(OpenProgress::step(bytesRead, size));
        m_openProgress->setLabelText(OpenProgress::text(QFileInfo(m_reader->path()).fileName(), bytesRead, size));
    });
    connect(m_reader, &SessionReader::finished, this, [this](bool read, bool cancelled, const QString &error) {
        delete m_openProgress;
        m_openProgress = nullptr;
        // Cancelled, the window stays as it was before the open.
        if (read)
            showContents(m_reader->path(), m_reader->takeContents());
        else if (!cancelled)
            showError(error);
        emit sessionOpenEnded(read);
    });
}

void ConsoleWindow::openMedium(const MediumOptions &options)
{
    if (options.medium == MediumOptions::Medium::Broadcast)
        m_discoveryPort = quint16(options.udpPort);
    m_connection->showRequest(options);
    m_session->open(options);
}

void ConsoleWindow::onState(MediumState state, const QString &detail)
{
    m_connection->setState(state, detail);
    // A USB device that went away may come back: commands sent meanwhile fail, as
    // the table shows.
    const bool inUse = state == MediumState::Open || state == MediumState::Reopened || state == MediumState::Unplugged;
    m_composer->setCanSend(inUse);
    m_script->setAvailable(inUse);
}

QWidget *ConsoleWindow::buildFilterBar()
{
    auto *bar = new QWidget(this);
    auto *kinds = new QToolButton(bar);
    kinds->setText(tr("Kinds"));
    kinds->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(kinds);
    for (int i = 0; i < kEventKindCount; ++i) {
        const auto kind = HostEvent::Kind(i);
        QAction *action = menu->addAction(TrafficModel::kindName(kind));
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
    connect(open, &QAction::triggered, this, &ConsoleWindow::openChosenSession);
    QAction *save = file->addAction(tr("&Save session..."));
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] {
        const QString path = pickSessionToSave();
        QString error;
        if (!path.isEmpty() && !saveSession(path, &error))
            showError(error);
    });
    QAction *exportCsv = file->addAction(tr("&Export shown rows as CSV..."));
    exportCsv->setObjectName(QStringLiteral("exportCsv"));
    exportCsv->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(exportCsv, &QAction::triggered, this, [this] {
        const QString path = pickCsvToSave();
        QString error;
        if (!path.isEmpty() && !exportVisible(path, &error))
            showError(error);
    });
    QAction *log = file->addAction(tr("&Log to file..."));
    log->setObjectName(QStringLiteral("logToFile"));
    log->setCheckable(true);
    connect(log, &QAction::triggered, this, [this, log](bool on) {
        QString error;
        if (!on) {
            stopLog();
        } else {
            const QString path = pickLogFile();
            if (!path.isEmpty() && !startLog(path, &error))
                showError(error);
        }
        log->setChecked(m_log.isOpen());
    });
    file->addSeparator();
    QAction *quit = file->addAction(tr("&Quit"));
    QMenu *commands = menuBar()->addMenu(tr("&Commands"));
    // What the buttons do, from wherever the focus is; each does nothing when its
    // button could not be pressed.
    QAction *send = commands->addAction(tr("&Send"));
    send->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    send->setShortcutContext(Qt::WindowShortcut);
    connect(send, &QAction::triggered, m_composer, &ComposerWidget::send);
    QAction *stop = commands->addAction(tr("S&top the script"));
    stop->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Period));
    connect(stop, &QAction::triggered, this, [this] {
        if (m_script->isRunning())
            m_session->stopScript();
    });
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    QAction *find = edit->addAction(tr("&Find"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, m_search, &SearchBar::focusSearch);
    // Only while the table has the focus: elsewhere Ctrl+C copies a field's text.
    QAction *copy = edit->addAction(tr("&Copy rows"));
    copy->setObjectName(QStringLiteral("copyRows"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    m_table->addAction(copy);
    connect(copy, &QAction::triggered, this, &ConsoleWindow::copySelectedRows);
    QMenu *view = menuBar()->addMenu(tr("&View"));
    // Every byte as it came and went, garbage and bad checksums included, as rows
    // of their own beside the decoded ones.
    QAction *wire = view->addAction(tr("Show the bytes on the &wire"));
    wire->setObjectName(QStringLiteral("showWire"));
    wire->setCheckable(true);
    wire->setToolTip(tr("Every byte the medium reads and writes, before any decoding, as a \"wire\" row"));
    connect(wire, &QAction::toggled, m_session, &ConsoleSession::showWire);
}

void ConsoleWindow::openChosenSession()
{
    if (m_reader->isReading())
        return;
    // A file shown while a medium runs would take the medium's next events
    // under its own, and a later save would mix the two.
    if (mediumInUse()) {
        if (!askToCloseMedium())
            return;
        m_session->close();
    }
    if (!settleUnsaved())
        return;
    const QString path = pickSessionToOpen();
    if (!path.isEmpty())
        openSessionInBackground(path);
}

bool ConsoleWindow::settleUnsaved()
{
    if (!m_unsaved)
        return true;
    switch (askToSave()) {
    case Unsaved::Discard:
        return true;
    case Unsaved::Cancel:
        return false;
    case Unsaved::Save:
        break;
    }
    const QString path = pickSessionToSave();
    if (path.isEmpty())
        return false;
    QString error;
    if (!saveSession(path, &error)) {
        showError(error);
        return false;
    }
    return true;
}

bool ConsoleWindow::mediumInUse() const
{
    const MediumState state = m_connection->state();
    return state != MediumState::Closed && state != MediumState::Failed;
}

void ConsoleWindow::addEvent(const ConsoleEvent &event)
{
    QString logError;
    if (m_log.isOpen() && !m_log.write(event, &logError))
        logFailed(logError);
    m_unsaved = true;
    m_traffic->append(event);
    m_counters.add(event);
    if (isRoundTrip(event))
        m_chart->addRoundTrip(event.host.timeMs, event.host.roundTripMs);
    if (m_discovering && (event.kind() == HostEvent::Kind::Reply || event.kind() == HostEvent::Kind::Drop))
        m_devices->addAnswer(event.host);
}

void ConsoleWindow::addEvents(const QVector<ConsoleEvent> &events)
{
    for (const ConsoleEvent &e : events)
        addEvent(e);
}

void ConsoleWindow::showNewestReply()
{
    m_traffic->flush();
    int chosen = -1;
    for (int row = m_traffic->rowCount() - 1; row >= 0; --row) {
        const ConsoleEvent &e = m_traffic->event(row);
        if (e.kind() != HostEvent::Kind::Reply)
            continue;
        if (chosen < 0)
            chosen = row;
        // One with a block shows most of itself.
        if (e.extent.blockLength > 0) {
            chosen = row;
            break;
        }
    }
    if (chosen < 0)
        return;
    const QModelIndex index = m_filter->mapFromSource(m_traffic->index(chosen, 0));
    m_table->setCurrentIndex(index);
    m_table->scrollTo(index);
    m_below->setCurrentIndex(0);
}

void ConsoleWindow::setSessionHeader(const QString &medium, const QString &description)
{
    m_medium = medium;
    m_description = description;
}

bool ConsoleWindow::openSession(const QString &path, QString *error)
{
    QFile file(path);
    if (!SessionReader::openFile(&file, error))
        return false;
    SessionContents contents;
    if (!SessionFile::read(&file, &contents, error)) {
        *error = tr("Cannot read %1: %2").arg(path, *error);
        return false;
    }
    showContents(path, std::move(contents));
    return true;
}

void ConsoleWindow::openSessionInBackground(const QString &path)
{
    QString error;
    if (!m_reader->start(path, &error)) {
        showError(error);
        emit sessionOpenEnded(false);
        return;
    }
    // Window-modal: nothing else is asked of the window until the file is in or
    // the read is cancelled.
    m_openProgress = new QProgressDialog(this);
    m_openProgress->setObjectName(QStringLiteral("openProgress"));
    m_openProgress->setWindowTitle(tr("Open a session"));
    m_openProgress->setWindowModality(Qt::WindowModal);
    m_openProgress->setMinimumDuration(0);
    m_openProgress->setAutoClose(false);
    m_openProgress->setAutoReset(false);
    m_openProgress->setRange(0, int(OpenProgress::kSteps));
    m_openProgress->setLabelText(OpenProgress::text(QFileInfo(path).fileName(), 0, m_reader->size()));
    connect(m_openProgress, &QProgressDialog::canceled, m_reader, &SessionReader::cancel);
}

void ConsoleWindow::showContents(const QString &path, SessionContents contents)
{
    m_medium = contents.medium;
    m_description = contents.description;
    m_openedMs = contents.openedMs;
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
    m_fromFile = true;
    m_unsaved = false;
    m_lostEvents = 0;
    m_detail->clear();
    recount();
    setWindowTitle(tr("hostconsole - %1").arg(QFileInfo(path).fileName()));
}

bool ConsoleWindow::saveSession(const QString &path, QString *error)
{
    // Renamed over a FIFO or a device node, the saved file would take its place.
    if (RegularFile::isOther(path)) {
        *error = RegularFile::refusal(tr("write"), path);
        return false;
    }
    m_traffic->flush();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = tr("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!SessionFile::write(&file, m_medium, m_description, m_traffic->events(), m_summary, m_devicesLine, error,
                            m_openedMs)
        || !file.commit()) {
        *error = tr("Cannot write %1: %2").arg(path, error->isEmpty() ? file.errorString() : *error);
        return false;
    }
    m_unsaved = false;
    return true;
}

bool ConsoleWindow::exportVisible(const QString &path, QString *error)
{
    if (RegularFile::isOther(path)) {
        *error = RegularFile::refusal(tr("write"), path);
        return false;
    }
    m_traffic->flush();
    QList<int> rows;
    rows.reserve(m_filter->rowCount());
    for (int row = 0; row < m_filter->rowCount(); ++row)
        rows << m_filter->mapToSource(m_filter->index(row, 0)).row();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = tr("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!CsvExport::write(&file, *m_traffic, rows, error) || !file.commit()) {
        *error = tr("Cannot write %1: %2").arg(path, error->isEmpty() ? file.errorString() : *error);
        return false;
    }
    return true;
}

void ConsoleWindow::copySelectedRows()
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows << m_filter->mapToSource(index).row();
    if (rows.isEmpty())
        return;
    // In the order of the table, not of the clicks.
    std::sort(rows.begin(), rows.end());
    QGuiApplication::clipboard()->setText(EventRow::tabSeparated(*m_traffic, rows));
}

bool ConsoleWindow::startLog(const QString &path, QString *error)
{
    m_logProblem.clear();
    if (!m_log.open(path, error)) {
        updateStatus();
        return false;
    }
    // The medium already open heads the file, as it heads a saved session.
    if (!m_medium.isEmpty() && !m_fromFile && !m_log.writeOpen(m_medium, m_description, m_openedMs, error)) {
        updateStatus();
        return false;
    }
    updateStatus();
    return true;
}

void ConsoleWindow::logFailed(const QString &why)
{
    // Said in the status bar rather than a dialog: events keep coming meanwhile.
    m_logProblem = why;
    if (auto *action = findChild<QAction *>(QStringLiteral("logToFile")))
        action->setChecked(false);
    updateStatus();
}

void ConsoleWindow::stopLog()
{
    m_log.close();
    m_logProblem.clear();
    updateStatus();
}

void ConsoleWindow::showCurrent()
{
    const QModelIndex index = m_filter->mapToSource(m_table->currentIndex());
    if (index.isValid()) {
        m_detail->setEvent(m_traffic->event(index.row()));
        m_detail->setWireText(WireFrames::paneText(m_traffic->events(), index.row()));
    } else
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
    if (m_lostEvents > 0)
        text += tr(", %1 not shown: the device sent faster than the window took them").arg(m_lostEvents);
    text += QStringLiteral(". ");
    // Said where the eye goes, since a command sent so reaches every device.
    if (m_composer->broadcast())
        text += tr("Commands go to every device (broadcast). ");
    if (m_log.isOpen())
        text += tr("Logging to %1. ").arg(QDir::toNativeSeparators(m_log.path()));
    else if (!m_logProblem.isEmpty())
        text += tr("Logging stopped: %1. ").arg(m_logProblem);
    m_status->setText(text + m_fileProblems);
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

QString ConsoleWindow::pickScript()
{
    return QFileDialog::getOpenFileName(this, tr("Run a script"), QString(),
                                        tr("Scripts (*.txt *.script);;All files (*)"));
}

QString ConsoleWindow::pickCsvToSave()
{
    return QFileDialog::getSaveFileName(this, tr("Export the rows shown"), QString(),
                                        tr("Comma-separated values (*.csv);;All files (*)"));
}

QString ConsoleWindow::pickLogFile()
{
    return QFileDialog::getSaveFileName(this, tr("Log the session to a file"), QString(), tr(kSessionFilter));
}

void ConsoleWindow::closeEvent(QCloseEvent *event)
{
    if (!settleUnsaved()) {
        event->ignore();
        return;
    }
    // The medium is closed and the session's thread joined now, not when the
    // window object goes; a file still being read is not shown.
    m_session->shutdown();
    m_reader->cancel();
    QMainWindow::closeEvent(event);
}

ConsoleWindow::Unsaved ConsoleWindow::askToSave()
{
    const auto answer = QMessageBox::question(
        this, tr("hostconsole"), tr("The session's events have not been saved. Save them first?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return Unsaved::Save;
    return answer == QMessageBox::Discard ? Unsaved::Discard : Unsaved::Cancel;
}

bool ConsoleWindow::askToCloseMedium()
{
    return QMessageBox::question(this, tr("hostconsole"),
                                 tr("A medium is open. Close it to show a saved session?"),
                                 QMessageBox::Close | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Close;
}

void ConsoleWindow::showError(const QString &text)
{
    QMessageBox::warning(this, tr("hostconsole"), text);
}
