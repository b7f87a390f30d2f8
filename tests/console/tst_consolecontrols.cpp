#include "composerwidget.h"
#include "consolewindow.h"
#include "testevents.h"
#include "connectionpanel.h"
#include "eventdetailview.h"
#include "scriptpanel.h"
#include "specialfiles.h"
#include "trafficfilter.h"
#include "trafficmodel.h"

#include <QAbstractButton>
#include <QAction>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTabBar>
#include <QTabWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>


// The side panel's controls as a person handles them: the wheel scrolls past a box
// it is over unless that box was chosen, and a command that goes to every device
// says so before and after it leaves.
class TestConsoleControls : public QObject
{
    Q_OBJECT

private slots:
    void wheelOverUnfocusedBox_data();
    void wheelOverUnfocusedBox();
    void wheelOverFocusedBox();
    void broadcastShown();
    void nothingClipped_data();
    void nothingClipped();
    void scriptInSightAtSmallScreen();
    void sizeRemembered();
    void unsavedAsked_data();
    void unsavedAsked();
    void fileWhileMediumOpen_data();
    void fileWhileMediumOpen();
    void timeoutSaysWhatItCounts_data();
    void timeoutSaysWhatItCounts();
    void onlyFilesOpened_data();
    void onlyFilesOpened();
    void everyControlExplained();
    void oneNamePerKind();
    void shortcutsAndTab();
};

namespace {

QWidget *sidePanel(ConsoleWindow &window)
{
    auto *dock = window.findChild<QDockWidget *>(QStringLiteral("side"));
    return dock ? dock->widget() : nullptr;
}

// The box's value as a person reads it.
QString valueOf(QWidget *box)
{
    if (auto *combo = qobject_cast<QComboBox *>(box))
        return QString::number(combo->currentIndex());
    return qobject_cast<QAbstractSpinBox *>(box)->text();
}

// Puts the box where one notch of the wheel either way would change it.
void placeMidway(QWidget *box, int notch)
{
    if (auto *combo = qobject_cast<QComboBox *>(box))
        combo->setCurrentIndex(notch > 0 ? combo->count() - 1 : 0);
    else if (auto *spin = qobject_cast<QSpinBox *>(box))
        spin->setValue((spin->minimum() + spin->maximum()) / 2);
}

void wheel(QWidget *box, int notch)
{
    const QPoint at(box->width() / 2, box->height() / 2);
    QWheelEvent event(QPointF(at), QPointF(box->mapToGlobal(at)), QPoint(), QPoint(0, notch), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &event);
}

QList<QWidget *> boxesOf(QWidget *panel)
{
    QList<QWidget *> boxes;
    for (QComboBox *box : panel->findChildren<QComboBox *>())
        boxes.append(box);
    for (QAbstractSpinBox *box : panel->findChildren<QAbstractSpinBox *>())
        boxes.append(box);
    return boxes;
}

// What a person reads or clicks; the parts of a combo, a spin box or a tab bar are
// checked as the whole they make.
bool isControl(QWidget *w)
{
    QWidget *parent = w->parentWidget();
    if (qobject_cast<QComboBox *>(parent) || qobject_cast<QAbstractSpinBox *>(parent) || qobject_cast<QTabBar *>(parent))
        return false;
    return qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractSpinBox *>(w)
        || qobject_cast<QLineEdit *>(w) || qobject_cast<QLabel *>(w) || qobject_cast<QProgressBar *>(w)
        || qobject_cast<QTabBar *>(w);
}

// The controls shown under the panel that are smaller than their layout promises
// them (the size hint where they cannot shrink, the minimum where they can, the
// height their text needs at their width), or that stick out of what holds them.
QStringList clipped(QScrollArea *scroll)
{
    QStringList found;
    QWidget *contents = scroll->widget();
    if (contents->width() > scroll->viewport()->width() && !scroll->horizontalScrollBar()->isVisible())
        found << QStringLiteral("the panel is wider than its view, without a scroll bar");
    if (contents->height() > scroll->viewport()->height() && !scroll->verticalScrollBar()->isVisible())
        found << QStringLiteral("the panel is higher than its view, without a scroll bar");
    for (QWidget *w : contents->findChildren<QWidget *>()) {
        if (!w->isVisible() || !isControl(w))
            continue;
        const QSizePolicy policy = w->sizePolicy();
        QSize need = w->minimumSizeHint();
        if (!(policy.horizontalPolicy() & QSizePolicy::ShrinkFlag))
            need.setWidth(w->sizeHint().width());
        if (!(policy.verticalPolicy() & QSizePolicy::ShrinkFlag))
            need.setHeight(w->sizeHint().height());
        if (w->hasHeightForWidth())
            need.setHeight(qMax(need.height(), w->heightForWidth(w->width())));
        QString text;
        if (auto *label = qobject_cast<QLabel *>(w))
            text = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            text = button->text();
        const QString name = QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), text);
        if (w->width() < need.width() || w->height() < need.height())
            found << QStringLiteral("%1: %2x%3 of %4x%5").arg(name).arg(w->width()).arg(w->height()).arg(need.width()).arg(need.height());
        if (!w->parentWidget()->rect().contains(w->geometry()))
            found << QStringLiteral("%1: outside what holds it").arg(name);
    }
    return found;
}

// Every page of every tab widget of the panel in turn: what each shows is checked.
QStringList clippedOnEveryPage(QScrollArea *scroll)
{
    QStringList found;
    const QList<QTabWidget *> tabs = scroll->widget()->findChildren<QTabWidget *>();
    for (QTabWidget *tab : tabs) {
        for (int page = 0; page < tab->count(); ++page) {
            tab->setCurrentIndex(page);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            found += clipped(scroll);
        }
        tab->setCurrentIndex(0);
    }
    return found;
}

QScrollArea *sideScroll(ConsoleWindow &window)
{
    return qobject_cast<QScrollArea *>(sidePanel(window));
}

// A window whose questions and file dialogs a test answers, and which counts them.
class AnsweringWindow : public ConsoleWindow
{
public:
    Unsaved saveAnswer = Unsaved::Cancel;
    bool closeAnswer = false;
    QString openPath;
    QString savePath;
    int saveAsked = 0;
    int closeAsked = 0;
    int openPicked = 0;

protected:
    Unsaved askToSave() override
    {
        ++saveAsked;
        return saveAnswer;
    }
    bool askToCloseMedium() override
    {
        ++closeAsked;
        return closeAnswer;
    }
    QString pickSessionToOpen() override
    {
        ++openPicked;
        return openPath;
    }
    QString pickSessionToSave() override { return savePath; }
    void showError(const QString &text) override { QFAIL(qPrintable(text)); }
};

QAction *fileAction(ConsoleWindow &window, const QString &text)
{
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void addTwoEvents(ConsoleWindow &window)
{
    const ProtocolData command = TestEvents::record(1, 0x71, 0x00);
    window.addEvent(ConsoleEvent::fromHost(TestEvents::send(10, command)));
    window.addEvent(ConsoleEvent::fromHost(TestEvents::reply(15, command, 5.0)));
}

} // namespace

void TestConsoleControls::wheelOverUnfocusedBox_data()
{
    QTest::addColumn<int>("notch");
    QTest::newRow("wheel down") << -120;
    QTest::newRow("wheel up") << 120;
}

void TestConsoleControls::wheelOverUnfocusedBox()
{
    QFETCH(int, notch);
    ConsoleWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget *panel = sidePanel(window);
    QVERIFY(panel);
    const QList<QWidget *> boxes = boxesOf(panel);
    // The send mode and timeout, the baud rate and line settings, the UDP port.
    QVERIFY2(boxes.size() >= 9, qPrintable(QString::number(boxes.size())));
    for (QWidget *box : boxes) {
        placeMidway(box, notch);
        QVERIFY(!box->hasFocus());
        const QString before = valueOf(box);
        wheel(box, notch);
        QVERIFY2(valueOf(box) == before, qPrintable(box->objectName() + QLatin1Char(' ') + box->metaObject()->className()));
        // Nor does the wheel give it the focus that would let the next notch in.
        QVERIFY(box->focusPolicy() == Qt::StrongFocus);
    }
    // Scrolled down past the Send box, the command still goes to one device.
    if (notch < 0) {
        QVERIFY(!window.composer()->broadcast());
        QVERIFY(!window.statusText().contains(QStringLiteral("every device")));
    }
}

void TestConsoleControls::wheelOverFocusedBox()
{
    ConsoleWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *mode = window.findChild<QComboBox *>(QStringLiteral("sendMode"));
    auto *timeout = window.findChild<QSpinBox *>(QStringLiteral("timeout"));
    QVERIFY(mode && timeout);
    // Chosen by a click (or Tab), a box takes the wheel as it always did.
    mode->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(mode->hasFocus());
    wheel(mode, -120);
    QCOMPARE(mode->currentIndex(), 1);
    timeout->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(timeout->hasFocus());
    const int before = timeout->value();
    wheel(timeout, 120);
    QCOMPARE(timeout->value(), before + timeout->singleStep());
}

void TestConsoleControls::broadcastShown()
{
    ConsoleWindow window;
    window.setSessionHeader(QStringLiteral("UDP"), QStringLiteral("127.0.0.3:5000"));
    window.show();
    auto *send = window.findChild<QPushButton *>(QStringLiteral("send"));
    QVERIFY(send);
    QCOMPARE(send->text(), QStringLiteral("Send"));
    CommandDraft draft;
    draft.cmd = QStringLiteral("71");
    draft.sub = QStringLiteral("00");
    draft.broadcast = true;
    window.composer()->setDraft(draft);
    QCOMPARE(send->text(), QStringLiteral("Send to every device"));
    QVERIFY2(window.statusText().contains(QStringLiteral("Commands go to every device (broadcast)")),
             qPrintable(window.statusText()));

    // A broadcast's send, then a unicast's: only the first carries the mark.
    ProtocolData everyone = TestEvents::record(1, 0x71, 0x00);
    everyone.bySendMode = 1;
    window.addEvent(ConsoleEvent::fromHost(TestEvents::send(10, everyone)));
    window.addEvent(ConsoleEvent::fromHost(TestEvents::send(20, everyone, true)));
    window.addEvent(ConsoleEvent::fromHost(TestEvents::send(30, TestEvents::record(2, 0x71, 0x00))));
    QTRY_COMPARE(window.traffic()->rowCount(), 3);
    const QStringList outcomes{QStringLiteral("sent to every device"), QStringLiteral("sent again to every device"),
                               QStringLiteral("sent")};
    for (int row = 0; row < outcomes.size(); ++row)
        QCOMPARE(window.traffic()->index(row, TrafficModel::OutcomeColumn).data().toString(), outcomes.at(row));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("session.jsonl"));
    QString error;
    QVERIFY2(window.saveSession(path, &error), qPrintable(error));
    ConsoleWindow reopened;
    QVERIFY2(reopened.openSession(path, &error), qPrintable(error));
    QCOMPARE(reopened.traffic()->rowCount(), 3);
    for (int row = 0; row < outcomes.size(); ++row)
        QCOMPARE(reopened.traffic()->index(row, TrafficModel::OutcomeColumn).data().toString(), outcomes.at(row));

    draft.broadcast = false;
    window.composer()->setDraft(draft);
    QCOMPARE(send->text(), QStringLiteral("Send"));
    QVERIFY(!window.statusText().contains(QStringLiteral("every device")));
}

void TestConsoleControls::nothingClipped_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("narrowest"); // the panel as narrow as the splitter lets it
    QTest::addColumn<QString>("block");
    QTest::newRow("1280x720") << QSize(1280, 720) << false << QString();
    QTest::newRow("1280x720, panel narrowest") << QSize(1280, 720) << true << QString();
    QTest::newRow("1280x720, a long block typed") << QSize(1280, 720) << false << QStringLiteral("0a0b0c0d").repeated(40);
    QTest::newRow("1366x768") << QSize(1366, 768) << false << QString();
    QTest::newRow("1920x1080") << QSize(1920, 1080) << false << QString();
    QTest::newRow("1920x1080, panel narrowest, a long block")
        << QSize(1920, 1080) << true << QStringLiteral("5a").repeated(300);
}

void TestConsoleControls::nothingClipped()
{
    QFETCH(QSize, size);
    QFETCH(bool, narrowest);
    QFETCH(QString, block);
    ConsoleWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(size);
    auto *dock = window.findChild<QDockWidget *>(QStringLiteral("side"));
    QVERIFY(dock);
    if (narrowest)
        window.resizeDocks({dock}, {1}, Qt::Horizontal);
    if (!block.isEmpty()) {
        CommandDraft draft;
        draft.cmd = QStringLiteral("e0");
        draft.sub = QStringLiteral("01");
        draft.block = block;
        // As p2/p3 announce it: the line that leaves is shown whole.
        const int length = block.size() / 2;
        draft.p2 = QString::number(length & 0xFF, 16);
        draft.p3 = QString::number(length >> 8, 16);
        QVERIFY2(draft.check().ok, qPrintable(draft.check().error));
        window.composer()->setDraft(draft);
    }
    QScrollArea *scroll = sideScroll(window);
    QVERIFY(scroll);
    QTRY_COMPARE(window.size(), size);
    QTRY_COMPARE(clippedOnEveryPage(scroll).join(QLatin1Char('\n')), QString());
    // Nor does what is typed widen the panel past its side.
    QVERIFY(!scroll->horizontalScrollBar()->isVisible());
}

void TestConsoleControls::scriptInSightAtSmallScreen()
{
    ConsoleWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(1366, 768);
    QTRY_COMPARE(window.size(), QSize(1366, 768));
    auto *work = window.findChild<QTabWidget *>(QStringLiteral("work"));
    QVERIFY(work);
    // One click on its tab, no scrolling.
    QTest::mouseClick(work->tabBar(), Qt::LeftButton, {}, work->tabBar()->tabRect(1).center());
    auto *run = window.findChild<QAbstractButton *>(QStringLiteral("runScript"));
    auto *stop = window.findChild<QAbstractButton *>(QStringLiteral("stopScript"));
    QVERIFY(run && stop);
    QTRY_VERIFY(run->isVisible());
    QScrollArea *scroll = sideScroll(window);
    QCOMPARE(scroll->verticalScrollBar()->value(), 0);
    QWidget *view = scroll->viewport();
    for (QWidget *button : {static_cast<QWidget *>(run), static_cast<QWidget *>(stop)}) {
        const QRect seen(button->mapTo(view, QPoint(0, 0)), button->size());
        QVERIFY2(view->rect().contains(seen), qPrintable(button->objectName()));
    }
}

void TestConsoleControls::sizeRemembered()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QSettings settings(dir.filePath(QStringLiteral("hostconsole.ini")), QSettings::IniFormat);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QRect chosen;
    {
        // Nothing kept yet: a size the screen has room for.
        ConsoleWindow window;
        window.restoreSize(settings);
        QVERIFY2(available.width() >= window.width() && available.height() >= window.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(window.width()).arg(window.height())));
        QVERIFY(window.width() > available.width() / 2);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // A person makes it lower and moves it.
        chosen = QRect(available.topLeft() + QPoint(30, 20), QSize(window.width(), window.height() - 60));
        window.setGeometry(chosen);
        QTRY_COMPARE(window.geometry(), chosen);
        window.keepSize(&settings);
    }
    ConsoleWindow again;
    again.restoreSize(settings);
    QCOMPARE(again.geometry(), chosen);
}

void TestConsoleControls::unsavedAsked_data()
{
    QTest::addColumn<QString>("action");   // the File menu's entry
    QTest::addColumn<bool>("eventsCame");  // since the window opened
    QTest::addColumn<int>("answer");       // ConsoleWindow::Unsaved
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("done");        // the window closed, or the file shown
    QTest::addColumn<bool>("saved");

    const int save = int(ConsoleWindow::Unsaved::Save);
    const int discard = int(ConsoleWindow::Unsaved::Discard);
    const int cancel = int(ConsoleWindow::Unsaved::Cancel);
    QTest::newRow("quit, nothing to lose") << "&Quit" << false << cancel << false << true << false;
    QTest::newRow("quit, saved first") << "&Quit" << true << save << true << true << true;
    QTest::newRow("quit, events let go") << "&Quit" << true << discard << true << true << false;
    QTest::newRow("quit cancelled") << "&Quit" << true << cancel << true << false << false;
    QTest::newRow("open, nothing to lose") << "&Open session..." << false << cancel << false << true << false;
    QTest::newRow("open, saved first") << "&Open session..." << true << save << true << true << true;
    QTest::newRow("open, events let go") << "&Open session..." << true << discard << true << true << false;
    QTest::newRow("open cancelled") << "&Open session..." << true << cancel << true << false << false;
}

void TestConsoleControls::unsavedAsked()
{
    QFETCH(QString, action);
    QFETCH(bool, eventsCame);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, done);
    QFETCH(bool, saved);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A session saved before, to open.
    const QString earlier = dir.filePath(QStringLiteral("earlier.jsonl"));
    {
        ConsoleWindow writer;
        writer.setSessionHeader(QStringLiteral("UDP"), QStringLiteral("127.0.0.1:5000"));
        for (const ConsoleEvent &e : TestEvents::everyKind())
            writer.addEvent(e);
        QString error;
        QVERIFY2(writer.saveSession(earlier, &error), qPrintable(error));
    }

    AnsweringWindow window;
    window.setSessionHeader(QStringLiteral("UDP"), QStringLiteral("127.0.0.1:5000"));
    window.saveAnswer = ConsoleWindow::Unsaved(answer);
    window.openPath = earlier;
    window.savePath = dir.filePath(QStringLiteral("kept.jsonl"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (eventsCame)
        addTwoEvents(window);
    QAction *entry = fileAction(window, action);
    QVERIFY(entry);
    entry->trigger();
    QCOMPARE(window.saveAsked, asked ? 1 : 0);
    QCOMPARE(QFile::exists(window.savePath), saved);
    if (action == QLatin1String("&Quit")) {
        QCOMPARE(window.isVisible(), !done);
    } else {
        QCOMPARE(window.openPicked, done ? 1 : 0);
        QTRY_COMPARE(window.traffic()->rowCount(), done ? TestEvents::everyKind().size() : 2);
        // What was opened is no news: going again asks nothing.
        window.saveAsked = 0;
        entry->trigger();
        QCOMPARE(window.saveAsked, done ? 0 : 1);
    }
    if (saved) {
        ConsoleWindow reopened;
        QString error;
        QVERIFY2(reopened.openSession(window.savePath, &error), qPrintable(error));
        QCOMPARE(reopened.traffic()->rowCount(), 2);
    }
    // Let go without questions.
    window.saveAnswer = ConsoleWindow::Unsaved::Discard;
}

void TestConsoleControls::fileWhileMediumOpen_data()
{
    QTest::addColumn<bool>("closeIt");
    QTest::newRow("medium closed, file shown") << true;
    QTest::newRow("medium kept, no file") << false;
}

void TestConsoleControls::fileWhileMediumOpen()
{
    QFETCH(bool, closeIt);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString earlier = dir.filePath(QStringLiteral("earlier.jsonl"));
    {
        ConsoleWindow writer;
        writer.setSessionHeader(QStringLiteral("serial"), QStringLiteral("/dev/ttyS9"));
        addTwoEvents(writer);
        QString error;
        QVERIFY2(writer.saveSession(earlier, &error), qPrintable(error));
    }
    AnsweringWindow window;
    window.closeAnswer = closeIt;
    window.saveAnswer = ConsoleWindow::Unsaved::Discard;
    window.openPath = earlier;
    window.show();
    // UDP opens without a device there: nothing is sent.
    MediumOptions udp;
    udp.medium = MediumOptions::Medium::Udp;
    udp.udpHost = QStringLiteral("127.0.0.1");
    udp.udpPort = 9;
    window.openMedium(udp);
    QTRY_COMPARE(window.connection()->state(), MediumState::Open);
    fileAction(window, QStringLiteral("&Open session..."))->trigger();
    QCOMPARE(window.closeAsked, 1);
    QCOMPARE(window.openPicked, closeIt ? 1 : 0);
    if (closeIt) {
        QTRY_COMPARE(window.connection()->state(), MediumState::Closed);
        // Read on a thread of its own.
        QTRY_COMPARE(window.traffic()->rowCount(), 2);
    } else {
        QCOMPARE(window.connection()->state(), MediumState::Open);
        QCOMPARE(window.traffic()->rowCount(), 0);
    }
}

void TestConsoleControls::timeoutSaysWhatItCounts_data()
{
    QTest::addColumn<int>("counted");
    QTest::addColumn<QString>("shown");
    QTest::newRow("the default") << 1000 << "about 0.7 s";
    QTest::newRow("1500: a second") << 1500 << "about 1.0 s";
    QTest::newRow("5000") << 5000 << "about 3.3 s";
    QTest::newRow("none") << 0 << "about 0.0 s";
}

void TestConsoleControls::timeoutSaysWhatItCounts()
{
    QFETCH(int, counted);
    QFETCH(QString, shown);
    ComposerWidget composer;
    auto *timeout = composer.findChild<QSpinBox *>(QStringLiteral("timeout"));
    QVERIFY(timeout);
    timeout->setValue(counted);
    QVERIFY(timeout->text().endsWith(QStringLiteral(" ms, counted")));
    QVERIFY(!timeout->toolTip().isEmpty());
    QStringList labels;
    for (QLabel *label : composer.findChildren<QLabel *>())
        labels << label->text();
    QVERIFY2(labels.contains(shown), qPrintable(labels.join(QLatin1String(" | "))));
}

void TestConsoleControls::onlyFilesOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a FIFO no one writes to") << "fifo";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a device") << "device";
}

void TestConsoleControls::onlyFilesOpened()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(kind);
    if (kind == QLatin1String("fifo")) {
        if (!SpecialFiles::makeFifo(path))
            QSKIP("no FIFOs in folders here");
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(path));
    } else {
        path = SpecialFiles::endlessDevice();
        if (path.isEmpty())
            QSKIP("no device named by a path here");
    }
    ConsoleWindow window;
    addTwoEvents(window);
    QString error;
    QVERIFY(!window.openSession(path, &error));
    QVERIFY2(error.contains(QStringLiteral("not a regular file")), qPrintable(error));
    QTRY_COMPARE(window.traffic()->rowCount(), 2);
}

void TestConsoleControls::everyControlExplained()
{
    ConsoleWindow window;
    QWidget *panel = sideScroll(window)->widget();
    QStringList bare;
    for (QWidget *w : panel->findChildren<QWidget *>()) {
        const bool control = (isControl(w) && !qobject_cast<QLabel *>(w) && !qobject_cast<QProgressBar *>(w)
                              && !qobject_cast<QTabBar *>(w))
            || qobject_cast<QPlainTextEdit *>(w) || qobject_cast<QListWidget *>(w);
        if (control && w->toolTip().isEmpty())
            bare << QStringLiteral("%1 %2").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
    }
    QCOMPARE(bare.join(QLatin1String(", ")), QString());
}

void TestConsoleControls::oneNamePerKind()
{
    ConsoleWindow window;
    QStringList menu;
    for (QToolButton *button : window.findChildren<QToolButton *>()) {
        if (button->text() == QLatin1String("Kinds") && button->menu()) {
            for (QAction *action : button->menu()->actions())
                menu << action->text();
        }
    }
    QCOMPARE(menu.size(), kEventKindCount);
    // Each kind in the table as in the filter's menu.
    const QList<ConsoleEvent> kinds = TestEvents::everyKind();
    for (const ConsoleEvent &e : kinds) {
        if (!(e.kind() == HostEvent::Kind::Send && e.host.resend))
            window.addEvent(e);
    }
    QTRY_VERIFY(window.traffic()->rowCount() > 0);
    for (int row = 0; row < window.traffic()->rowCount(); ++row) {
        const QString shown = window.traffic()->index(row, TrafficModel::KindColumn).data().toString();
        QVERIFY2(menu.contains(shown), qPrintable(shown));
        QCOMPARE(shown, menu.at(int(window.traffic()->event(row).kind())));
        window.trafficView()->setCurrentIndex(window.filter()->mapFromSource(window.traffic()->index(row, 0)));
        QVERIFY2(window.detail()->fieldsText().startsWith(shown + QStringLiteral(" at ")),
                 qPrintable(window.detail()->fieldsText()));
    }
}

void TestConsoleControls::shortcutsAndTab()
{
    ConsoleWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy sent(window.composer(), &ComposerWidget::sendRequested);
    CommandDraft draft;
    draft.cmd = QStringLiteral("71");
    draft.sub = QStringLiteral("00");
    window.composer()->setDraft(draft);
    window.composer()->setCanSend(true);
    auto *block = window.composer()->findChild<QPlainTextEdit *>();
    QVERIFY(block);
    block->setFocus();
    QTRY_VERIFY(block->hasFocus());
    // From the block's field, where Return is a new line.
    QTest::keyClick(block, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(sent.count(), 1);
    QVERIFY(block->toPlainText().isEmpty());
    // No medium: Send is off, and so is its shortcut.
    window.composer()->setCanSend(false);
    QTest::keyClick(block, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(sent.count(), 1);

    QStringList shortcuts;
    for (QAction *action : window.menuBar()->findChildren<QAction *>())
        shortcuts << action->shortcut().toString();
    for (const QKeySequence &key : {QKeySequence(QKeySequence::Open), QKeySequence(QKeySequence::Save),
                                    QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Period)})
        QVERIFY2(shortcuts.contains(key.toString()), qPrintable(key.toString()));

    // Tab from Open goes on through the side panel, to the command's fields,
    // before anything of the traffic.
    auto *open = window.findChild<QWidget *>(QStringLiteral("open"));
    QVERIFY(open);
    window.connection()->setState(MediumState::Closed);
    open->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(open->hasFocus());
    QWidget *panel = sideScroll(window)->widget();
    QStringList path;
    bool reachedCommand = false;
    for (int i = 0; i < 12 && !reachedCommand; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        QVERIFY(now);
        path << QString::fromLatin1(now->metaObject()->className()) + QLatin1Char(' ') + now->objectName();
        QVERIFY2(panel->isAncestorOf(now), qPrintable(path.join(QLatin1String(" > "))));
        reachedCommand = window.composer()->isAncestorOf(now);
    }
    QVERIFY2(reachedCommand, qPrintable(path.join(QLatin1String(" > "))));
}

QTEST_MAIN(TestConsoleControls)
#include "tst_consolecontrols.moc"
