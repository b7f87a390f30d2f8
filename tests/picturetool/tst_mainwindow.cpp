#include "mainwindow.h"
#include "picturebox.h"
#include "scriptedwindow.h"
#include "testimages.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

// One tab of the window as the tests drive it.
struct Tab
{
    bool logo;

    QPushButton *importButton(MainWindow &w) const
    {
        return w.findChild<QPushButton *>(logo ? "btnImportLogo" : "btnImport");
    }
    QPushButton *exportButton(MainWindow &w) const
    {
        return w.findChild<QPushButton *>(logo ? "btnExportLogo" : "btnExport");
    }
    QGridLayout *grid(MainWindow &w) const
    {
        return w.findChild<QGridLayout *>(logo ? "glLogo" : "gridLayout");
    }
    const QStringList &list(const MainWindow &w) const
    {
        return logo ? w.logoList() : w.pictureList();
    }
    // The files an export of n listed files writes, sorted.
    QStringList outputs(const QList<int> &numbers) const
    {
        QStringList names;
        for (int n : numbers) {
            if (logo) {
                names << QStringLiteral("Logo%1_480x540.jpg").arg(n);
            } else {
                names << QStringLiteral("%1_1920x1080.jpg").arg(n)
                      << QStringLiteral("%1_320x180.jpg").arg(n);
            }
        }
        names.sort();
        return names;
    }
    QString firstOutput(int n) const
    {
        return logo ? QStringLiteral("Logo%1_480x540.jpg").arg(n)
                    : QStringLiteral("%1_1920x1080.jpg").arg(n);
    }
};

Q_DECLARE_METATYPE(Tab)

namespace {

const QString kPictureQuestion = QStringLiteral(
        "Confirm to overwrite the file with the same file name (File Name Format: *_320x180.jpg, *_1920x1080.jpg)");
const QString kLogoQuestion = QStringLiteral(
        "Confirm to overwrite the file with the same file name (File Name Format: Logo*_480x540.jpg)");

QStringList entries(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

// count small opaque images with distinct colours; returns their paths.
QStringList makeImages(const QTemporaryDir &dir, int count, const QString &stem = "image")
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QStringLiteral("%1 %2.png").arg(stem).arg(i + 1));
        writeSolidImage(path, QSize(64, 36), QColor::fromHsv((i * 37) % 360, 255, 220));
        paths << path;
    }
    return paths;
}

void import(ScriptedWindow &window, const Tab &tab, const QStringList &files)
{
    window.filesToPick = files;
    tab.importButton(window)->click();
}

// The thumbnails of the files just picked are read off the GUI thread, under a busy
// cursor. Windows lets no file be removed while it is read, so a test that changes
// a picked file waits for them first.
bool thumbnailsRead()
{
    return QTest::qWaitFor([] { return !QApplication::overrideCursor(); }, 30000);
}

void addTabColumn()
{
    QTest::addColumn<Tab>("tab");
}

void addTabRows(const char *what)
{
    QTest::newRow(qPrintable(QStringLiteral("picture: %1").arg(what))) << Tab { false };
    QTest::newRow(qPrintable(QStringLiteral("logo: %1").arg(what))) << Tab { true };
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void window();
    void form_data();
    void form();
    void dialogTitlesAndQuestions_data();
    void dialogTitlesAndQuestions();
    void importLimit_data();
    void importLimit();
    void importSkipsDuplicates_data();
    void importSkipsDuplicates();
    void thumbnailsFillRowsOfFive_data();
    void thumbnailsFillRowsOfFive();
    void doubleClickRemovesAndRenumbers_data();
    void doubleClickRemovesAndRenumbers();
    void rebuiltTilesFollowTheFiles();
    void exportStopsWithoutDirectoryOrConsent_data();
    void exportStopsWithoutDirectoryOrConsent();
    void exportOfEmptyListWritesNothing_data();
    void exportOfEmptyListWritesNothing();
    void tabsKeepSeparateLists();
    void writeFailureIsReportedAndListsKept_data();
    void writeFailureIsReportedAndListsKept();
    void exportNamesWhatItCouldNotUse_data();
    void exportNamesWhatItCouldNotUse();
    void thumbnailsArriveWhileTheWindowRuns();
    void logoThatNoLongerDecodesIsBlack();
    void pathsWithSpacesAndNonAscii();
    void windowKeepsRunningDuringExport();
};

void TestMainWindow::window()
{
    ScriptedWindow w;
    QCOMPARE(w.objectName(), QString("MainWindow"));
    QCOMPARE(w.windowTitle(), QString("Velmora JPG V1.0.5"));
    QCOMPARE(w.size(), QSize(869, 504));
    QCOMPARE(w.centralWidget()->objectName(), QString("centralwidget"));
    QCOMPARE(w.menuBar()->objectName(), QString("menubar"));

    auto *tabs = w.findChild<QTabWidget *>("tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->widget(0)->objectName(), QString("tabPic"));
    QCOMPARE(tabs->tabText(0), QString("Picture"));
    QCOMPARE(tabs->widget(1)->objectName(), QString("tabLogo"));
    QCOMPARE(tabs->tabText(1), QString("Logo"));

    for (const char *name : { "gridLayout", "glLogo" }) {
        auto *grid = w.findChild<QGridLayout *>(name);
        QVERIFY2(grid, name);
        QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    }
    QCOMPARE(w.findChild<QGridLayout *>("gridLayout")->parentWidget()->objectName(),
             QString("gridLayoutWidget"));
    QCOMPARE(w.findChild<QGridLayout *>("glLogo")->parentWidget()->objectName(),
             QString("gridLayoutWidget_3"));
}

void TestMainWindow::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("tabWidget") << "tabWidget" << "QTabWidget" << "centralwidget"
                               << QRect(-2, -2, 865, 479) << "";
    // Labels keep their place and width; their height is what their font needs (0 here).
    QTest::newRow("label") << "label" << "QLabel" << "tabPic" << QRect(292, 18, 445, 0)
                           << "FileName Rules: *_1920x1080.jpg and *_320x180.jpg";
    QTest::newRow("btnImport") << "btnImport" << "QPushButton" << "tabPic"
                               << QRect(14, 12, 121, 23) << "Import Picture";
    QTest::newRow("btnExport") << "btnExport" << "QPushButton" << "tabPic"
                               << QRect(144, 12, 121, 23) << "Export Picture";
    QTest::newRow("gridLayoutWidget") << "gridLayoutWidget" << "QWidget" << "tabPic"
                                      << QRect(12, 50, 843, 401) << "";
    QTest::newRow("label_3") << "label_3" << "QLabel" << "tabLogo" << QRect(292, 18, 445, 0)
                             << "FileName Rules: Logo*_480x540.jpg";
    QTest::newRow("btnImportLogo") << "btnImportLogo" << "QPushButton" << "tabLogo"
                                   << QRect(14, 12, 121, 23) << "Import Logo";
    QTest::newRow("btnExportLogo") << "btnExportLogo" << "QPushButton" << "tabLogo"
                                   << QRect(144, 12, 121, 23) << "Export Logo";
    QTest::newRow("gridLayoutWidget_3") << "gridLayoutWidget_3" << "QWidget" << "tabLogo"
                                        << QRect(12, 50, 843, 401) << "";
}

void TestMainWindow::form()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    ScriptedWindow w;
    auto *widget = w.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    if (geometry.height() == 0) {
        // The file-name rule's underscores and descenders are not cut off.
        geometry.setHeight(widget->height());
        QVERIFY2(widget->height() >= widget->sizeHint().height(), qPrintable(QString::number(widget->height())));
        QVERIFY(widget->height() >= widget->fontMetrics().height());
    }
    QCOMPARE(widget->geometry(), geometry);
    if (!text.isEmpty())
        QCOMPARE(widget->property("text").toString(), text);
}

void TestMainWindow::dialogTitlesAndQuestions_data()
{
    addTabColumn();
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("question");

    QTest::newRow("picture") << Tab { false } << QStringList { "Selected Picture", "Save Picture" }
                             << kPictureQuestion;
    QTest::newRow("logo") << Tab { true } << QStringList { "Selected Logo", "Save Logo" }
                          << kLogoQuestion;
}

void TestMainWindow::dialogTitlesAndQuestions()
{
    QFETCH(Tab, tab);
    QFETCH(QStringList, titles);
    QFETCH(QString, question);

    QTemporaryDir out;
    ScriptedWindow w;
    import(w, tab, {});
    w.directoryToPick = out.path();
    tab.exportButton(w)->click();
    QCOMPARE(w.dialogTitles, titles);
    QCOMPARE(w.questions, QStringList() << question);
    QVERIFY(w.errors.isEmpty());
}

void TestMainWindow::importLimit_data()
{
    addTabColumn();
    QTest::addColumn<int>("listedBefore");
    QTest::addColumn<int>("selected");

    for (bool logo : { false, true }) {
        const char *kind = logo ? "logo" : "picture";
        QTest::addRow("%s: 25 selected on an empty tab", kind) << Tab { logo } << 0 << 25;
        QTest::addRow("%s: 25 more with 3 listed", kind) << Tab { logo } << 3 << 25;
        QTest::addRow("%s: more with 20 listed", kind) << Tab { logo } << 20 << 4;
        QTest::addRow("%s: exactly 20", kind) << Tab { logo } << 0 << 20;
    }
}

void TestMainWindow::importLimit()
{
    QFETCH(Tab, tab);
    QFETCH(int, listedBefore);
    QFETCH(int, selected);

    QTemporaryDir dir;
    const QStringList before = makeImages(dir, listedBefore, "before");
    const QStringList chosen = makeImages(dir, selected, "chosen");
    ScriptedWindow w;
    import(w, tab, before);

    import(w, tab, chosen);
    const QStringList expected = (before + chosen).mid(0, 20);
    QCOMPARE(tab.list(w), expected);
    QCOMPARE(tab.grid(w)->count(), expected.size());
}

void TestMainWindow::importSkipsDuplicates_data()
{
    addTabColumn();
    addTabRows("file listed already");
}

void TestMainWindow::importSkipsDuplicates()
{
    QFETCH(Tab, tab);

    QTemporaryDir dir;
    const QStringList p = makeImages(dir, 4);
    ScriptedWindow w;
    import(w, tab, { p[0], p[1] });
    import(w, tab, { p[2], p[0], p[0], p[3], p[1] });
    QCOMPARE(tab.list(w), QStringList({ p[0], p[1], p[2], p[3] }));
    QCOMPARE(tab.grid(w)->count(), 4);
}

void TestMainWindow::thumbnailsFillRowsOfFive_data()
{
    addTabColumn();
    addTabRows("7 files");
}

void TestMainWindow::thumbnailsFillRowsOfFive()
{
    QFETCH(Tab, tab);

    QTemporaryDir dir;
    const QStringList paths = makeImages(dir, 7);
    ScriptedWindow w;
    import(w, tab, paths);

    QGridLayout *grid = tab.grid(w);
    QCOMPARE(grid->spacing(), 10);
    QCOMPARE(grid->alignment(), Qt::AlignLeft | Qt::AlignTop);
    QCOMPARE(grid->count(), 7);
    for (int i = 0; i < paths.size(); ++i) {
        auto *box = qobject_cast<PictureBox *>(grid->itemAtPosition(i / 5, i % 5)->widget());
        QVERIFY(box);
        QCOMPARE(box->property("id").toInt(), i);
        QCOMPARE(box->property("filepath").toString(), paths[i]);
    }
    QCOMPARE(grid->itemAtPosition(1, 0)->widget()->property("filepath").toString(), paths[5]);
}

void TestMainWindow::doubleClickRemovesAndRenumbers_data()
{
    addTabColumn();
    addTabRows("second of three");
}

void TestMainWindow::doubleClickRemovesAndRenumbers()
{
    QFETCH(Tab, tab);

    QTemporaryDir dir;
    QTemporaryDir out;
    const QStringList paths = { dir.filePath("red.png"), dir.filePath("green.png"),
                                dir.filePath("blue.png") };
    QVERIFY(writeSolidImage(paths[0], QSize(64, 36), Qt::red));
    QVERIFY(writeSolidImage(paths[1], QSize(64, 36), Qt::green));
    QVERIFY(writeSolidImage(paths[2], QSize(64, 36), Qt::blue));
    ScriptedWindow w;
    import(w, tab, paths);

    QGridLayout *grid = tab.grid(w);
    QTest::mouseDClick(grid->itemAtPosition(0, 1)->widget(), Qt::LeftButton);
    QCOMPARE(tab.list(w), QStringList({ paths[0], paths[2] }));
    QCOMPARE(grid->count(), 2);
    QCOMPARE(grid->itemAtPosition(0, 0)->widget()->property("filepath").toString(), paths[0]);
    QCOMPARE(grid->itemAtPosition(0, 1)->widget()->property("filepath").toString(), paths[2]);
    QCOMPARE(grid->itemAtPosition(0, 1)->widget()->property("id").toInt(), 1);

    // The replaced tiles go once control is back in the event loop.
    QTRY_COMPARE_WITH_TIMEOUT(tab.grid(w)->parentWidget()->findChildren<PictureBox *>().size(), 2,
                              10000);

    w.directoryToPick = out.path();
    tab.exportButton(w)->click();
    QCOMPARE(entries(out.path()), tab.outputs({ 1, 2 }));
    QVERIFY(nearColor(QImage(out.filePath(tab.firstOutput(1))).pixel(10, 10), Qt::red));
    QVERIFY(nearColor(QImage(out.filePath(tab.firstOutput(2))).pixel(10, 10), Qt::blue));
}

// After a removal the grid is rebuilt from the list: a file changed on disk shows its
// new picture, and one that is gone shows the white placeholder, as export would find
// them.
void TestMainWindow::rebuiltTilesFollowTheFiles()
{
    QTemporaryDir dir;
    const QStringList paths = { dir.filePath("one.bmp"), dir.filePath("two.bmp"),
                                dir.filePath("three.bmp") };
    for (const QString &path : paths)
        QVERIFY(writeSolidImage(path, QSize(64, 36), Qt::red));
    const Tab tab { false };
    ScriptedWindow w;
    import(w, tab, paths);
    QVERIFY(thumbnailsRead());

    // Same size in bytes; a later modification time tells it apart.
    QVERIFY(writeSolidImage(paths[0], QSize(64, 36), Qt::blue));
    QFile changed(paths[0]);
    QVERIFY(changed.open(QIODevice::ReadWrite));
    QVERIFY(changed.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    changed.close();
    QVERIFY(QFile::remove(paths[2]));

    QGridLayout *grid = tab.grid(w);
    QTest::mouseDClick(grid->itemAtPosition(0, 1)->widget(), Qt::LeftButton);
    QCOMPARE(tab.list(w), QStringList({ paths[0], paths[2] }));
    const auto tileCentre = [grid](int column) {
        return grid->itemAtPosition(0, column)->widget()->grab().toImage().pixel(80, 45);
    };
    QTRY_VERIFY_WITH_TIMEOUT(nearColor(tileCentre(0), Qt::blue, 4), 30000);
    QVERIFY(nearColor(tileCentre(1), Qt::white, 0));
}

void TestMainWindow::exportStopsWithoutDirectoryOrConsent_data()
{
    addTabColumn();
    QTest::addColumn<bool>("pickDirectory");
    QTest::addColumn<int>("questionsAsked");

    QTest::newRow("picture: directory dialog cancelled") << Tab { false } << false << 0;
    QTest::newRow("picture: answered No") << Tab { false } << true << 1;
    QTest::newRow("logo: directory dialog cancelled") << Tab { true } << false << 0;
    QTest::newRow("logo: answered No") << Tab { true } << true << 1;
}

void TestMainWindow::exportStopsWithoutDirectoryOrConsent()
{
    QFETCH(Tab, tab);
    QFETCH(bool, pickDirectory);
    QFETCH(int, questionsAsked);

    QTemporaryDir dir;
    QTemporaryDir out;
    ScriptedWindow w;
    import(w, tab, makeImages(dir, 2));
    w.directoryToPick = pickDirectory ? out.path() : QString();
    w.answerYes = false;
    tab.exportButton(w)->click();
    QCOMPARE(w.questions.size(), questionsAsked);
    QCOMPARE(entries(out.path()), QStringList());
}

void TestMainWindow::exportOfEmptyListWritesNothing_data()
{
    addTabColumn();
    addTabRows("empty list");
}

void TestMainWindow::exportOfEmptyListWritesNothing()
{
    QFETCH(Tab, tab);

    QTemporaryDir out;
    ScriptedWindow w;
    w.directoryToPick = out.path();
    tab.exportButton(w)->click();
    QCOMPARE(w.questions.size(), 1);
    QCOMPARE(entries(out.path()), QStringList());
    QVERIFY(w.errors.isEmpty());
}

void TestMainWindow::tabsKeepSeparateLists()
{
    QTemporaryDir dir;
    QTemporaryDir pictureOut;
    QTemporaryDir logoOut;
    const QStringList pictures = makeImages(dir, 20, "picture");
    const QStringList logos = makeImages(dir, 20, "logo");
    const Tab pictureTab { false };
    const Tab logoTab { true };
    ScriptedWindow w;
    import(w, pictureTab, pictures);
    import(w, logoTab, logos);
    QCOMPARE(w.pictureList(), pictures);
    QCOMPARE(w.logoList(), logos);
    QCOMPARE(pictureTab.grid(w)->count(), 20);
    QCOMPARE(logoTab.grid(w)->count(), 20);

    QList<int> all;
    for (int n = 1; n <= 20; ++n)
        all << n;
    w.directoryToPick = pictureOut.path();
    pictureTab.exportButton(w)->click();
    QCOMPARE(entries(pictureOut.path()), pictureTab.outputs(all));
    w.directoryToPick = logoOut.path();
    logoTab.exportButton(w)->click();
    QCOMPARE(entries(logoOut.path()), logoTab.outputs(all));
    QVERIFY(w.errors.isEmpty());
}

void TestMainWindow::writeFailureIsReportedAndListsKept_data()
{
    addTabColumn();
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QStringList>("leftBehind");

    // A directory where the second output should go makes the write fail part-way.
    QTest::newRow("picture: directory vanished") << Tab { false } << "" << QStringList();
    QTest::newRow("picture: second file blocked")
            << Tab { false } << "2_1920x1080.jpg"
            << QStringList { "1_1920x1080.jpg", "1_320x180.jpg", "2_1920x1080.jpg" };
    QTest::newRow("logo: directory vanished") << Tab { true } << "" << QStringList();
    QTest::newRow("logo: second file blocked")
            << Tab { true } << "Logo2_480x540.jpg"
            << QStringList { "Logo1_480x540.jpg", "Logo2_480x540.jpg" };
}

void TestMainWindow::writeFailureIsReportedAndListsKept()
{
    QFETCH(Tab, tab);
    QFETCH(QString, obstacle);
    QFETCH(QStringList, leftBehind);

    QTemporaryDir dir;
    QTemporaryDir out;
    const QStringList paths = makeImages(dir, 3);
    ScriptedWindow w;
    import(w, tab, paths);

    QString failedName;
    if (obstacle.isEmpty()) {
        w.directoryToPick = out.filePath("vanished");
        failedName = tab.firstOutput(1);
    } else {
        QVERIFY(QDir(out.path()).mkpath(obstacle + "/inside"));
        w.directoryToPick = out.path();
        failedName = obstacle;
    }
    tab.exportButton(w)->click();

    QCOMPARE(w.errors.size(), 1);
    QVERIFY2(w.errors[0].contains(failedName), qPrintable(w.errors[0]));
    QCOMPARE(entries(out.path()), leftBehind);
    QCOMPARE(tab.list(w), paths);
    QCOMPARE(tab.grid(w)->count(), 3);
}

void TestMainWindow::exportNamesWhatItCouldNotUse_data()
{
    addTabColumn();
    QTest::addColumn<QString>("second");        // what the second of three files becomes
    QTest::addColumn<QList<int>>("written");    // numbers written
    QTest::addColumn<QStringList>("message");   // texts of the window's warning

    QTest::newRow("picture no longer decodes") << Tab { false } << "text" << QList<int> { 1, 3 }
                                               << QStringList { "skipped", "not a picture that can be read" };
    QTest::newRow("picture too large") << Tab { false } << "bomb" << QList<int> { 1, 3 }
                                       << QStringList { "skipped", "too large (60000 \u00d7 60000)" };
    QTest::newRow("logo too large") << Tab { true } << "bomb" << QList<int> { 1, 3 }
                                    << QStringList { "skipped", "too large (60000 \u00d7 60000)" };
    QTest::newRow("picture damaged") << Tab { false } << "cut" << QList<int> { 1, 2, 3 }
                                     << QStringList { "damaged", "Premature end" };
}

void TestMainWindow::exportNamesWhatItCouldNotUse()
{
    QFETCH(Tab, tab);
    QFETCH(QString, second);
    QFETCH(QList<int>, written);
    QFETCH(QStringList, message);

    QTemporaryDir dir;
    QTemporaryDir out;
    QStringList paths = makeImages(dir, 3);
    ScriptedWindow w;
    import(w, tab, paths);
    QVERIFY(thumbnailsRead());
    QVERIFY(QFile::remove(paths[1]));
    if (second == "text")
        QVERIFY(writeNotAnImage(paths[1]));
    else
        QVERIFY(writeTruncatedJpeg(paths[1], second == "bomb" ? QSize(60000, 60000) : QSize(64, 64)));

    w.directoryToPick = out.path();
    tab.exportButton(w)->click();
    QCOMPARE(entries(out.path()), tab.outputs(written));
    QCOMPARE(w.errors.size(), 1);
    QVERIFY2(w.errors[0].contains(QDir::toNativeSeparators(paths[1])), qPrintable(w.errors[0]));
    for (const QString &text : message)
        QVERIFY2(w.errors[0].contains(text), qPrintable(w.errors[0]));
    QCOMPARE(tab.list(w), paths);
}

// Thumbnails are decoded off the GUI thread: the tiles are there when the import
// returns, a busy cursor shows until the last picture arrives, and each lands on its
// own tile.
void TestMainWindow::thumbnailsArriveWhileTheWindowRuns()
{
    QTemporaryDir dir;
    QStringList paths;
    QList<QColor> colors;
    for (int i = 0; i < 6; ++i) {
        paths << dir.filePath(QStringLiteral("large %1.png").arg(i));
        colors << QColor::fromHsv(i * 50, 255, 230);
        QVERIFY(writeSolidImage(paths.last(), QSize(1600, 900), colors.last()));
    }
    const Tab tab { false };
    ScriptedWindow w;
    import(w, tab, paths);
    QCOMPARE(tab.grid(w)->count(), 6);
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);

    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::overrideCursor(), 30000);
    for (int i = 0; i < paths.size(); ++i) {
        QWidget *tile = tab.grid(w)->itemAtPosition(i / 5, i % 5)->widget();
        QVERIFY2(nearColor(tile->grab().toImage().pixel(80, 45), colors[i], 8), qPrintable(paths[i]));
    }
}

void TestMainWindow::logoThatNoLongerDecodesIsBlack()
{
    QTemporaryDir dir;
    QTemporaryDir out;
    QStringList paths = makeImages(dir, 2);
    const Tab tab { true };
    ScriptedWindow w;
    import(w, tab, paths);
    QVERIFY(thumbnailsRead());
    QVERIFY(QFile::remove(paths[0]));

    w.directoryToPick = out.path();
    tab.exportButton(w)->click();
    QCOMPARE(entries(out.path()), tab.outputs({ 1, 2 }));
    QCOMPARE(boundsOfPixelsNot(QImage(out.filePath("Logo1_480x540.jpg")), Qt::black), QRect());
    QVERIFY(w.errors.isEmpty());
}

void TestMainWindow::pathsWithSpacesAndNonAscii()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("Urlaub am Meer ü 写真.png");
    const QString target = dir.filePath("Ziel Ordner ß");
    QVERIFY(writeSolidImage(source, QSize(64, 36), Qt::magenta));
    QVERIFY(QDir().mkpath(target));
    const Tab tab { false };
    ScriptedWindow w;
    import(w, tab, { source });
    QCOMPARE(w.pictureList(), QStringList { source });

    w.directoryToPick = target;
    tab.exportButton(w)->click();
    QVERIFY(w.errors.isEmpty());
    QCOMPARE(entries(target), tab.outputs({ 1 }));
}

// The pictures are rendered off the GUI thread: its event loop keeps running (timers
// fire, the window repaints) while the form is disabled, and the export is complete
// when the button's click returns.
void TestMainWindow::windowKeepsRunningDuringExport()
{
    QTemporaryDir dir;
    QTemporaryDir out;
    QStringList paths;
    for (int i = 0; i < 4; ++i) {
        paths << dir.filePath(QStringLiteral("large %1.jpg").arg(i));
        QVERIFY(writeSolidImage(paths.last(), QSize(2400, 1600), QColor::fromHsv(i * 60, 200, 200)));
    }
    const Tab tab { false };
    ScriptedWindow w;
    import(w, tab, paths);

    int ticks = 0;
    int ticksWhileDisabled = 0;
    QTimer timer;
    timer.setInterval(1);
    connect(&timer, &QTimer::timeout, [&]() {
        ++ticks;
        if (!w.centralWidget()->isEnabled())
            ++ticksWhileDisabled;
    });
    timer.start();
    w.directoryToPick = out.path();
    tab.exportButton(w)->click();
    timer.stop();

    QCOMPARE(entries(out.path()), tab.outputs({ 1, 2, 3, 4 }));
    QVERIFY(ticksWhileDisabled > 0);
    QCOMPARE(ticksWhileDisabled, ticks);
    QVERIFY(w.centralWidget()->isEnabled());
    QVERIFY(w.errors.isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
