#include "scriptcheck.h"
#include "scriptpanel.h"
#include "scriptreader.h"

#include <QBuffer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

// A script written or loaded in the window's editor: the lines it would refuse,
// each by number, as the script reader refuses them in a file; the cursor taken to
// such a line; and Run, only for a script that would run.
class TestScriptEditor : public QObject
{
    Q_OBJECT

private slots:
    void problems_data();
    void problems();
    void problemsBounded();
    void editorShowsAndRuns_data();
    void editorShowsAndRuns();
    void loadFile_data();
    void loadFile();
};

void TestScriptEditor::problems_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("commands");
    QTest::addColumn<QString>("problems"); // "line:part of the reason", by "|"

    QTest::newRow("good, comments and blanks") << "# hello\n71:00\n\n  e1:00 timeout=500 # named\n" << 2 << "";
    QTest::newRow("every bad line, not only the first")
        << "71:00\nzz:00\n76:00 expect=maybe\n71:00 colour=red\n" << 1
        << "2:\"zz\" in|3:expect=maybe|4:\"colour=red\"";
    QTest::newRow("CR LF line ends") << "71:00\r\nzz:00\r\n" << 1 << "2:\"zz\" in \"zz:00\"";
    QTest::newRow("no line end after the last") << "71:00\nzz" << 1 << "2:";
    QTest::newRow("a NUL") << QStringLiteral("71:00\n71:00 #a") + QChar(0) + QStringLiteral("b\n") << 1
                           << "2:9: a NUL byte";
    QTest::newRow("a line too long") << QStringLiteral("71:00 #") + QString(ScriptReader::kMaxLineLength, 'x') << 0
                                     << "1:line longer than";
    QTest::newRow("empty") << "" << 0 << "";
}

void TestScriptEditor::problems()
{
    QFETCH(QString, text);
    QFETCH(int, commands);
    QFETCH(QString, problems);

    const ScriptCheck check = ScriptCheck::of(text);
    QCOMPARE(check.commands, qint64(commands));
    const QStringList want = problems.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QCOMPARE(check.problems.size(), want.size());
    QCOMPARE(check.problemCount, qint64(want.size()));
    QCOMPARE(check.ok(), want.isEmpty());
    for (int i = 0; i < want.size(); ++i) {
        QCOMPARE(check.problems.at(i).line, want.at(i).section(QLatin1Char(':'), 0, 0).toInt());
        QVERIFY2(check.problems.at(i).text.contains(want.at(i).section(QLatin1Char(':'), 1, -1)),
                 qPrintable(check.problems.at(i).text));
    }
    // The first is the one the script reader stops at, when it reads the same text.
    QByteArray bytes = text.toUtf8();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QString error;
    const qint64 counted = ScriptReader::check(&buffer, QStringLiteral("s"), CommandDefaults(), &error);
    if (want.isEmpty()) {
        QCOMPARE(counted, qint64(commands));
    } else {
        QCOMPARE(counted, qint64(-1));
        QVERIFY2(error.startsWith(QStringLiteral("s:%1:").arg(check.problems.first().line)), qPrintable(error));
    }
}

// A pasted file of garbage: the list stays short, the count whole.
void TestScriptEditor::problemsBounded()
{
    const ScriptCheck check = ScriptCheck::of(QStringLiteral("zz\n").repeated(5000));
    QCOMPARE(check.problems.size(), ScriptCheck::kMaxProblems);
    QCOMPARE(check.problemCount, qint64(5000));
    QCOMPARE(check.problems.last().line, ScriptCheck::kMaxProblems);
}

void TestScriptEditor::editorShowsAndRuns_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("available"); // a medium is open
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<bool>("runs");

    QTest::newRow("good script, medium open") << "71:00\n77:21 # two\n" << true << QStringList() << true;
    QTest::newRow("good script, no medium") << "71:00\n" << false << QStringList() << false;
    QTest::newRow("a bad line, listed with its number")
        << "71:00\n\n72:00 timeout=soon\n" << true << QStringList{"line 3: timeout=soon"} << false;
    QTest::newRow("two bad lines") << "x\n71:00\ny\n" << true << QStringList{"line 1: ", "line 3: "} << false;
    QTest::newRow("only comments") << "# nothing to send\n" << true << QStringList() << false;
}

void TestScriptEditor::editorShowsAndRuns()
{
    QFETCH(QString, typed);
    QFETCH(bool, available);
    QFETCH(QStringList, listed);
    QFETCH(bool, runs);

    ScriptPanel panel;
    panel.show();
    panel.setAvailable(available);
    QSignalSpy run(&panel, &ScriptPanel::runTextRequested);
    auto *editor = panel.findChild<QPlainTextEdit *>(QStringLiteral("scriptEditor"));
    auto *list = panel.findChild<QListWidget *>(QStringLiteral("scriptProblems"));
    auto *runButton = panel.findChild<QPushButton *>(QStringLiteral("runEditedScript"));
    QVERIFY(editor && list && runButton);
    editor->setFocus();
    // Typed as a person types, a line end by Return.
    const QStringList lines = typed.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, lines.at(i));
    }
    QCOMPARE(editor->toPlainText(), typed);
    // Checked once the typing pauses.
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), listed.size(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(runButton->isEnabled(), runs, 5000);
    for (int i = 0; i < listed.size(); ++i)
        QVERIFY2(list->item(i)->text().startsWith(listed.at(i)), qPrintable(list->item(i)->text()));

    // Choosing a listed line puts the cursor at its start.
    for (int i = 0; i < list->count(); ++i) {
        const int line = list->item(i)->data(Qt::UserRole).toInt();
        editor->moveCursor(QTextCursor::End);
        const QRect rect = list->visualItemRect(list->item(i));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QCOMPARE(editor->textCursor().blockNumber() + 1, line);
        QCOMPARE(editor->textCursor().positionInBlock(), 0);
    }

    QTest::mouseClick(runButton, Qt::LeftButton);
    // The run asked for is the text as it stands, with the editor's name.
    panel.runEdited();
    QCOMPARE(run.size(), runs ? 2 : 0);
    if (runs) {
        QCOMPARE(run.first().at(0).toString(), QStringLiteral("edited script"));
        QCOMPARE(run.first().at(1).toByteArray(), typed.toUtf8());
        // Running, it cannot be asked again until it ends.
        panel.started(QStringLiteral("edited script"), 2);
        QVERIFY(!runButton->isEnabled());
        panel.ended(0, QString());
        QVERIFY(runButton->isEnabled());
    }
}

void TestScriptEditor::loadFile_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("loaded");

    QTest::newRow("a script") << qint64(12) << true;
    QTest::newRow("as large as the editor takes") << ScriptPanel::kMaxEditedBytes << true;
    QTest::newRow("larger: run it from its file") << ScriptPanel::kMaxEditedBytes + 1 << false;
}

void TestScriptEditor::loadFile()
{
    QFETCH(qint64, size);
    QFETCH(bool, loaded);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("probe.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // Comment lines of 64 bytes, the first a command.
    QByteArray bytes = QByteArray("71:00\n") + QByteArray(63, '#').append('\n').repeated(int(size / 64) + 1);
    bytes.truncate(int(size));
    QCOMPARE(file.write(bytes), size);
    file.close();

    ScriptPanel panel;
    panel.setAvailable(true);
    panel.editor()->setPlainText(QStringLiteral("zz\n"));
    QString error;
    QCOMPARE(panel.loadFile(path, &error), loaded);
    if (loaded) {
        QCOMPARE(panel.editor()->toPlainText().size(), int(size));
        QCOMPARE(panel.check().commands, qint64(1));
        QVERIFY(panel.check().ok());
    } else {
        QVERIFY2(error.contains(QStringLiteral("Run script...")), qPrintable(error));
        // What was in the editor stays.
        QCOMPARE(panel.editor()->toPlainText(), QStringLiteral("zz\n"));
    }
    QVERIFY(!panel.loadFile(dir.filePath(QStringLiteral("none.txt")), &error));
    QVERIFY(error.contains(QStringLiteral("none.txt")));
}

QTEST_MAIN(TestScriptEditor)
#include "tst_scripteditor.moc"
