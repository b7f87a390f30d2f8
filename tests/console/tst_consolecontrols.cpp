#include "composerwidget.h"
#include "consolewindow.h"
#include "testevents.h"
#include "trafficmodel.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
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

QTEST_MAIN(TestConsoleControls)
#include "tst_consolecontrols.moc"
