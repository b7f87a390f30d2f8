#include "consolewindow.h"
#include "csvexport.h"
#include "eventtime.h"
#include "searchbar.h"
#include "specialfiles.h"
#include "testevents.h"
#include "trafficfilter.h"
#include "trafficmodel.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

// Finding rows in a long session and keeping them: the search over 100,000 events
// and its CSV export read back, the CSV's quoting, rows copied with Ctrl+C, the
// Find and Export shortcuts, and the log written while events come, opened again
// as a session.
class TestFindAndKeep : public QObject
{
    Q_OBJECT

private slots:
    void searchAndExportRoundTrip();
    void csvField_data();
    void csvField();
    void copiesSelectedRows();
    void findAndExportShortcuts();
    void logWrittenAsEventsCome();
    void refusesWhatItCannotWrite_data();
    void refusesWhatItCannotWrite();
    void outcomeFilterNamesAsTheTable_data();
    void outcomeFilterNamesAsTheTable();

private:
    QTemporaryDir m_dir;
};

namespace {

// The file dialogs answered by the test.
class Window : public ConsoleWindow
{
public:
    QString csvPath;

protected:
    QString pickCsvToSave() override { return csvPath; }
    void showError(const QString &text) override { qWarning("%s", qPrintable(text)); }
    Unsaved askToSave() override { return Unsaved::Discard; }
};

// RFC 4180 read back: fields quoted or not, doubled quotes, line breaks inside
// quotes, records ending in CR LF.
QList<QStringList> parseCsv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
            record << field;
            records << record;
            record.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

// 100,000 events of ten devices: a send and its reply each, some replies
// dropped, every hundredth a note whose text needs quoting.
QVector<ConsoleEvent> longSession(qint64 wallStart)
{
    QVector<ConsoleEvent> events;
    events.reserve(100000);
    for (int i = 0; events.size() < 100000; ++i) {
        const qint64 at = qint64(i) * 3;
        ConsoleEvent e;
        if (i % 100 == 99) {
            HostEvent note;
            note.timeMs = at;
            note.text = QStringLiteral("note %1: \"quoted\", with a comma,\nand a second line").arg(i);
            e = ConsoleEvent::fromHost(note);
        } else if (i % 2 == 0) {
            e = ConsoleEvent::fromHost(TestEvents::send(at, TestEvents::record(quint8(i), 0x71, quint8(i % 7))));
        } else {
            ProtocolData r = TestEvents::record(quint8(i - 1), 0x71, quint8((i - 1) % 7), QByteArray(4, char(i)));
            r.strSource = QStringLiteral("10.0.0.%1").arg(i % 10);
            HostEvent reply = TestEvents::reply(at, r, 1.5);
            if (i % 13 == 0)
                reply.kind = HostEvent::Kind::Drop;
            e = ConsoleEvent::fromHost(reply);
        }
        e.host.wallMs = wallStart + at;
        events.append(e);
    }
    return events;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestFindAndKeep::searchAndExportRoundTrip()
{
    Window window;
    window.show();
    const qint64 wallStart = QDateTime(QDate(2026, 12, 9), QTime(14, 3, 25, 512)).toMSecsSinceEpoch();
    window.addEvents(longSession(wallStart));
    window.traffic()->flush();
    QCOMPARE(window.traffic()->rowCount(), 100000);
    SearchBar *search = window.searchBar();
    QCOMPARE(search->countText(), QStringLiteral("100000 of 100000 shown"));

    // One change of the search at a time, each timed: the rows shown follow at once.
    QElapsedTimer timer;
    timer.start();
    search->sourceField()->setText(QStringLiteral("10.0.0.3"));
    const qint64 sourceMs = timer.restart();
    search->outcomeBox()->setCurrentIndex(search->outcomeBox()->findData(int(TrafficModel::Outcome::Answered)));
    const qint64 outcomeMs = timer.restart();
    search->modeBox()->setCurrentIndex(search->modeBox()->findData(int(EventQuery::Search::Bytes)));
    search->searchField()->setText(QStringLiteral("71 03"));
    const qint64 bytesMs = timer.restart();
    search->fromField()->setText(QStringLiteral("14:03:30"));
    search->toField()->setText(QStringLiteral("200"));
    const qint64 timeMs = timer.restart();
    qInfo("filter changes on 100,000 rows: source %lld ms, outcome %lld ms, bytes %lld ms, time range %lld ms",
          sourceMs, outcomeMs, bytesMs, timeMs);

    // Replies i (odd, i % 10 == 3, i % 13 != 0) answering sub-command 3, at 3 ms a
    // step from 4.488 s to 200 s since the start.
    int expected = 0;
    for (int i = 0; i < 100000; ++i) {
        const qint64 at = qint64(i) * 3;
        if (i % 100 != 99 && i % 2 == 1 && i % 10 == 3 && i % 13 != 0 && (i - 1) % 7 == 3 && at >= 4488
            && at <= 200000)
            ++expected;
    }
    QVERIFY(expected > 100);
    const int shown = window.filter()->rowCount();
    QCOMPARE(shown, expected);
    QCOMPARE(search->countText(), QStringLiteral("%1 of 100000 shown").arg(expected));

    // Every row shown, exported, read back: the times and what the table shows.
    const QString path = m_dir.filePath(QStringLiteral("shown.csv"));
    QString error;
    timer.restart();
    QVERIFY2(window.exportVisible(path, &error), qPrintable(error));
    const qint64 exportMs = timer.elapsed();
    const QList<QStringList> records = parseCsv(readAll(path));
    QCOMPARE(records.size(), shown + 1);
    QCOMPARE(records.first().mid(0, 3), (QStringList{"Date and time", "Since start (s)", "SN"}));
    for (int row = 0; row < shown; ++row) {
        const QModelIndex index = window.filter()->mapToSource(window.filter()->index(row, 0));
        const ConsoleEvent &e = window.traffic()->event(index.row());
        const QStringList &record = records.at(row + 1);
        QCOMPARE(record.size(), TrafficModel::ColumnCount + 1);
        QCOMPARE(QDateTime::fromString(record.at(0), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toMSecsSinceEpoch(),
                 e.host.wallMs);
        QCOMPARE(qint64(record.at(1).toDouble() * 1000 + 0.5), e.host.timeMs);
        for (int column = TrafficModel::SnColumn; column < TrafficModel::ColumnCount; ++column)
            QCOMPARE(record.at(column + 1), window.filter()->index(row, column).data().toString());
    }

    // All 100,000, notes and their quoted line breaks among them.
    search->modeBox()->setCurrentIndex(search->modeBox()->findData(int(EventQuery::Search::Text)));
    for (QLineEdit *field : {search->searchField(), search->sourceField(), search->fromField(), search->toField()})
        field->clear();
    search->outcomeBox()->setCurrentIndex(0);
    QCOMPARE(window.filter()->rowCount(), 100000);
    timer.restart();
    QVERIFY2(window.exportVisible(path, &error), qPrintable(error));
    const qint64 exportAllMs = timer.elapsed();
    const QList<QStringList> all = parseCsv(readAll(path));
    QCOMPARE(all.size(), 100001);
    QCOMPARE(all.at(100).last(), window.traffic()->event(99).host.text);
    QCOMPARE(all.at(100000).at(1), EventTime::sinceStart(window.traffic()->event(99999).host.timeMs));
    qInfo("export: %d rows in %lld ms, 100,000 rows in %lld ms", shown, exportMs, exportAllMs);

    // The kinds and the command, beside the search.
    timer.restart();
    window.filter()->setKindShown(HostEvent::Kind::Note, false);
    const qint64 kindMs = timer.restart();
    QVERIFY(window.filter()->setCommandFilter(QStringLiteral("71:03")));
    const qint64 commandMs = timer.restart();
    qInfo("kind filter %lld ms, command filter %lld ms", kindMs, commandMs);
    QCOMPARE(search->countText(), QStringLiteral("%1 of 100000 shown").arg(window.filter()->rowCount()));
    // Bounds a loaded machine meets many times over.
    QVERIFY2(std::max({sourceMs, outcomeMs, bytesMs, timeMs, kindMs, commandMs}) < 5000,
             "a filter change took over 5 s");
    QVERIFY2(exportAllMs < 30000, "the export took over 30 s");
}

void TestFindAndKeep::csvField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("plain") << "answered" << QByteArray("answered");
    QTest::newRow("empty") << "" << QByteArray("");
    QTest::newRow("comma") << "a, b" << QByteArray("\"a, b\"");
    QTest::newRow("quotes doubled") << "say \"hi\"" << QByteArray("\"say \"\"hi\"\"\"");
    QTest::newRow("line feed") << "one\ntwo" << QByteArray("\"one\ntwo\"");
    QTest::newRow("carriage return") << "one\rtwo" << QByteArray("\"one\rtwo\"");
    QTest::newRow("spaces kept as they are") << " x " << QByteArray(" x ");
    QTest::newRow("not ASCII, in UTF-8") << QString::fromUtf8("µs") << QByteArray("\xc2\xb5s");
}

void TestFindAndKeep::csvField()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    QCOMPARE(CsvExport::field(text), field);
    // And read back as it was, as the only field of a record.
    QCOMPARE(parseCsv(CsvExport::record({text})), QList<QStringList>{{text}});
}

void TestFindAndKeep::copiesSelectedRows()
{
    Window window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QList<ConsoleEvent> kinds = TestEvents::everyKind();
    for (const ConsoleEvent &e : kinds)
        window.addEvent(e);
    HostEvent note;
    note.timeMs = 5000;
    note.wallMs = QDateTime(QDate(2026, 12, 9), QTime(14, 3, 27, 512)).toMSecsSinceEpoch();
    note.text = QStringLiteral("tab\there,\nnew line");
    window.addEvent(ConsoleEvent::fromHost(note));
    window.traffic()->flush();
    QCOMPARE(window.trafficView()->model()->index(kinds.size(), TrafficModel::TimeColumn).data().toString(),
             QStringLiteral("14:03:27.512"));

    QTableView *table = window.trafficView();
    QItemSelectionModel *selection = table->selectionModel();
    const auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    selection->select(table->model()->index(kinds.size(), 0), flags);
    selection->select(table->model()->index(1, 0), flags);
    table->setFocus();
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);

    const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).startsWith(QStringLiteral("Date and time\tSince start (s)\tSN\tKind")), qPrintable(lines.at(0)));
    for (const QString &line : lines)
        QCOMPARE(line.count(QLatin1Char('\t')), TrafficModel::ColumnCount);
    // In the table's order, whatever order they were selected in.
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("\t0.005\t1\treply\te1")), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).startsWith(QStringLiteral("2026-12-09 14:03:27.512\t5.000\t")), qPrintable(lines.at(2)));
    QVERIFY2(lines.at(2).endsWith(QStringLiteral("tab here, new line")), qPrintable(lines.at(2)));

    // Ctrl+C in a field copies the field's text, not rows.
    QLineEdit *field = window.searchBar()->searchField();
    field->setText(QStringLiteral("needle"));
    field->selectAll();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("needle"));
}

void TestFindAndKeep::findAndExportShortcuts()
{
    Window window;
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    for (const ConsoleEvent &e : TestEvents::everyKind())
        window.addEvent(e);
    window.traffic()->flush();
    window.trafficView()->setFocus();

    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(window.searchBar()->searchField()->hasFocus());
    QTest::keyClicks(window.searchBar()->searchField(), QStringLiteral("went away"));
    QCOMPARE(window.searchBar()->countText(), QStringLiteral("1 of 15 shown"));

    window.csvPath = m_dir.filePath(QStringLiteral("shortcut.csv"));
    QTest::keyClick(&window, Qt::Key_E, Qt::ControlModifier);
    const QList<QStringList> records = parseCsv(readAll(window.csvPath));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(1).last(), QStringLiteral("the device went away"));

    // Escape anywhere in the bar shows every row again.
    window.searchBar()->outcomeBox()->setCurrentIndex(1);
    window.searchBar()->sourceField()->setText(QStringLiteral("10.0.0.7"));
    QCOMPARE(window.searchBar()->countText(), QStringLiteral("0 of 15 shown"));
    QTest::keyClick(window.searchBar()->searchField(), Qt::Key_Escape);
    QCOMPARE(window.searchBar()->countText(), QStringLiteral("15 of 15 shown"));
    QVERIFY(window.searchBar()->searchField()->text().isEmpty());
}

void TestFindAndKeep::logWrittenAsEventsCome()
{
    const QString path = m_dir.filePath(QStringLiteral("running.jsonl"));
    QList<ConsoleEvent> events = TestEvents::everyKind();
    const qint64 opened = QDateTime(QDate(2026, 12, 9), QTime(14, 3, 25, 512)).toMSecsSinceEpoch();
    for (ConsoleEvent &e : events)
        e.host.wallMs = opened + e.host.timeMs;
    {
        Window window;
        window.setSessionHeader(QStringLiteral("UDP"), QStringLiteral("127.0.0.1:5000"));
        QString error;
        QVERIFY2(window.startLog(path, &error), qPrintable(error));
        QVERIFY2(window.statusText().contains(QStringLiteral("Logging to")), qPrintable(window.statusText()));
        for (int i = 0; i < events.size(); ++i) {
            window.addEvent(events.at(i));
            // On the disk before the table has even shown it: a crash now loses nothing.
            QCOMPARE(readAll(path).count('\n'), i + 2);
        }
        window.stopLog();
        window.addEvent(events.first());
        QCOMPARE(readAll(path).count('\n'), events.size() + 1);
    }

    Window reader;
    QString error;
    QVERIFY2(reader.openSession(path, &error), qPrintable(error));
    QCOMPARE(reader.statusText(), QStringLiteral("%1 events held. ").arg(events.size()));
    QCOMPARE(reader.traffic()->rowCount(), events.size());
    for (int i = 0; i < events.size(); ++i) {
        QCOMPARE(reader.traffic()->event(i).kind(), events.at(i).kind());
        QCOMPARE(reader.traffic()->event(i).host.wallMs, events.at(i).host.wallMs);
        QCOMPARE(reader.traffic()->event(i).host.record.baData, events.at(i).host.record.baData);
    }
}

// The log, the CSV export and Save session each refuse what is not a regular file
// (a FIFO stays a FIFO: a file saved whole is not renamed over it), and say why
// when the folder is not there.
void TestFindAndKeep::refusesWhatItCannotWrite_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("reason");
    for (const QString writer : {"log", "export", "save"}) {
        const auto row = [&writer](const char *what) -> QTestData & { return QTest::newRow(qPrintable(writer + ", " + what)); };
        const bool log = writer == QLatin1String("log");
        row("a folder") << writer << "folder" << "not a regular file";
        row("a FIFO") << writer << "fifo" << "not a regular file";
        // Only the log tries a device: a file saved whole that let one through would
        // be renamed over the device itself, and the tests run as root.
        if (log)
            row("a device") << writer << "device" << "not a regular file";
        row("a folder that is not there") << writer << "missing" << (log ? "Cannot log to" : "Cannot write");
    }
}

void TestFindAndKeep::refusesWhatItCannotWrite()
{
    QFETCH(QString, writer);
    QFETCH(QString, what);
    QFETCH(QString, reason);
    QString path;
    if (what == QLatin1String("folder")) {
        path = m_dir.path();
    } else if (what == QLatin1String("fifo")) {
        path = m_dir.filePath(writer + QStringLiteral(".fifo"));
        if (!SpecialFiles::makeFifo(path))
            QSKIP("no FIFOs here");
    } else if (what == QLatin1String("device")) {
        path = SpecialFiles::endlessDevice();
        if (path.isEmpty())
            QSKIP("no device named by a path here");
    } else {
        path = m_dir.filePath(QStringLiteral("not/there/") + writer);
    }
    Window window;
    window.setSessionHeader(QStringLiteral("UDP"), QStringLiteral("127.0.0.1:5000"));
    for (const ConsoleEvent &e : TestEvents::everyKind())
        window.addEvent(e);
    QString error;
    const bool written = writer == QLatin1String("log")      ? window.startLog(path, &error)
                         : writer == QLatin1String("export") ? window.exportVisible(path, &error)
                                                             : window.saveSession(path, &error);
    QVERIFY(!written);
    QVERIFY2(error.contains(reason), qPrintable(error));
    // Nor does a later event start the log.
    window.addEvent(TestEvents::everyKind().first());
    QVERIFY(!window.eventLog().isOpen());
    if (what != QLatin1String("device"))
        QVERIFY(!QFileInfo(path).isFile());
}

// Each outcome a reply can have is offered by the filter under the name the table
// shows, and picking it shows that reply alone.
void TestFindAndKeep::outcomeFilterNamesAsTheTable_data()
{
    QTest::addColumn<bool>("matched");
    QTest::addColumn<bool>("answersBroadcast");
    QTest::addColumn<QString>("name");

    QTest::newRow("answered") << true << false << "answered";
    QTest::newRow("no command of its serial number") << false << false << "no command of this serial number";
    QTest::newRow("answered the broadcast") << false << true << "answered the broadcast";
}

void TestFindAndKeep::outcomeFilterNamesAsTheTable()
{
    QFETCH(bool, matched);
    QFETCH(bool, answersBroadcast);
    QFETCH(QString, name);

    ConsoleWindow window;
    HostEvent picked = TestEvents::reply(20, TestEvents::record(2, 0x71, 0x03), 1.5, matched);
    picked.answersBroadcast = answersBroadcast;
    // Beside it, a reply of every other outcome.
    HostEvent other = TestEvents::reply(10, TestEvents::record(1, 0x71, 0x03), 1.5, !matched || answersBroadcast);
    HostEvent broadcast = TestEvents::reply(30, TestEvents::record(3, 0x71, 0x03), 1.5, false);
    broadcast.answersBroadcast = !answersBroadcast;
    window.addEvents({ConsoleEvent::fromHost(other), ConsoleEvent::fromHost(picked), ConsoleEvent::fromHost(broadcast)});
    window.traffic()->flush();
    QCOMPARE(window.traffic()->index(1, TrafficModel::OutcomeColumn).data().toString(), name);

    QComboBox *box = window.searchBar()->outcomeBox();
    const int item = box->findText(name);
    QVERIFY2(item > 0, qPrintable(name));
    box->setCurrentIndex(item);
    QCOMPARE(window.filter()->rowCount(), 1);
    QCOMPARE(window.filter()->index(0, TrafficModel::SnColumn).data().toString(), QStringLiteral("2"));
}

QTEST_MAIN(TestFindAndKeep)
#include "tst_findandkeep.moc"
