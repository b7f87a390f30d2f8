#include "mainwindow.h"

#include "shownname.h"

#include "picturebox.h"
#include "threadstart.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLayout>
#include <QLayoutItem>
#include <QMessageBox>
#include <QProgressDialog>

#include <thread>

namespace {

constexpr int kMaxFiles = 20;
constexpr int kColumns = 5;

// Busy cursor for the length of a synchronous export.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      m_thumbnails(QSize(160, 90))
{
    ui->setupUi(this);
    connect(&m_thumbnails, &ThumbnailCache::imageReady, this, &MainWindow::showThumbnail);
    connect(&m_thumbnails, &ThumbnailCache::busyChanged, this, &MainWindow::showBusy);
}

MainWindow::~MainWindow()
{
    showBusy(false);
    delete ui;
}

void MainWindow::on_btnImport_clicked()
{
    importFiles(m_picList, ui->gridLayout, QStringLiteral("Selected Picture"),
                &MainWindow::addLayoutPicBox);
}

void MainWindow::on_btnExport_clicked()
{
    exportFiles(m_picList, QStringLiteral("Save Picture"),
                QStringLiteral("Confirm to overwrite the file with the same file name (File Name Format: *_320x180.jpg, *_1920x1080.jpg)"),
                ExportItem::Picture);
}

void MainWindow::on_btnImportLogo_clicked()
{
    importFiles(m_logoList, ui->glLogo, QStringLiteral("Selected Logo"),
                &MainWindow::addLogoLayoutPicBox);
}

void MainWindow::on_btnExportLogo_clicked()
{
    exportFiles(m_logoList, QStringLiteral("Save Logo"),
                QStringLiteral("Confirm to overwrite the file with the same file name (File Name Format: Logo*_480x540.jpg)"),
                ExportItem::Logo);
}

void MainWindow::on_PictureBoxDbClicked()
{
    removeFile(m_picList, ui->gridLayout, &MainWindow::addLayoutPicBox);
}

void MainWindow::on_LogoPictureBoxDbClicked()
{
    removeFile(m_logoList, ui->glLogo, &MainWindow::addLogoLayoutPicBox);
}

void MainWindow::clearLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            // The tile that was double-clicked is still inside its own event handler
            // when this runs; deleting it now would pull the object from under that
            // handler. Hide it and let the event loop delete it.
            widget->hide();
            widget->deleteLater();
        }
        if (QLayout *child = item->layout())
            clearLayout(child);
        delete item;
    }
}

void MainWindow::addLayoutPicBox(QGridLayout *layout, int id, QString filepath)
{
    addBox(layout, id, filepath, &MainWindow::on_PictureBoxDbClicked);
}

void MainWindow::addLogoLayoutPicBox(QGridLayout *layout, int id, QString filepath)
{
    addBox(layout, id, filepath, &MainWindow::on_LogoPictureBoxDbClicked);
}

QStringList MainWindow::pickFiles(const QString &title)
{
    QFileDialog dialog(this);
    dialog.setWindowTitle(title);
    dialog.setNameFilters(QStringList() << QStringLiteral("Image files (*.png *.bmp *.jpg)"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString MainWindow::pickDirectory(const QString &title)
{
    QFileDialog dialog(this);
    dialog.setWindowTitle(title);
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

bool MainWindow::confirm(const QString &text)
{
    return QMessageBox::question(nullptr, QString(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::NoButton)
            != QMessageBox::No;
}

void MainWindow::showError(const QString &text)
{
    QMessageBox::warning(this, windowTitle(), text);
}

void MainWindow::importFiles(QStringList &list, QGridLayout *layout, const QString &title,
                             AddBox add)
{
    layout->setSpacing(10);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Which selected files the list takes is settled first, so that their thumbnails
    // can be decoded together before the tiles are added in order.
    const QStringList selected = pickFiles(title);
    QStringList accepted;
    for (const QString &path : selected) {
        if (list.size() + accepted.size() >= kMaxFiles)
            break;
        if (list.contains(path) || accepted.contains(path))
            continue;
        accepted.append(path);
    }
    // Decoded in the background, in list order; the tiles are there at once, white
    // until their picture arrives.
    m_thumbnails.request(accepted);
    for (const QString &path : accepted) {
        list.append(path);
        (this->*add)(layout, list.size() - 1, path);
    }
}

void MainWindow::removeFile(QStringList &list, QGridLayout *layout, AddBox add)
{
    const QString filepath = sender() ? sender()->property("filepath").toString() : QString();
    clearLayout(layout);
    list.removeOne(filepath);
    if (!m_picList.contains(filepath) && !m_logoList.contains(filepath))
        m_thumbnails.forget(filepath);
    for (int i = 0; i < list.size(); ++i)
        (this->*add)(layout, i, list[i]);
}

void MainWindow::exportFiles(const QStringList &list, const QString &title,
                             const QString &question, ExportItem::Kind kind)
{
    const QString directory = pickDirectory(title);
    if (directory.isEmpty())
        return;
    if (!confirm(question))
        return;
    qDebug() << directory;

    QVector<ExportItem> items;
    for (int i = 0; i < list.size(); ++i)
        items.append({ kind, i, list[i] });

    // The pictures are rendered on worker threads; this thread keeps painting and
    // shows the progress. The form is disabled meanwhile, so the lists cannot change
    // and no second export can start before the progress dialog appears.
    ExportOutcome outcome;
    {
        BusyCursor busy;
        ui->centralwidget->setEnabled(false);
        QProgressDialog progress(tr("Exporting..."), QString(), 0, list.size(), this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setCancelButton(nullptr);
        progress.setMinimumDuration(500);
        progress.setValue(0);
        // The queued calls are named, not lambdas: that way each call is made, run
        // and freed wholly inside Qt's event queue, which hands it from thread to
        // thread under its own lock.
        QEventLoop loop;
        const auto exportAll = [&]() {
            outcome = runExport(directory, items,
                                [&progress](int position, const ExportItem &, const RenditionResult &,
                                            const QStringList &) {
                                    QMetaObject::invokeMethod(&progress, "setValue", Qt::QueuedConnection,
                                                              Q_ARG(int, position + 1));
                                });
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
        };
        std::thread exporter;
        // Without a thread of its own the export runs here; the window waits for it.
        if (!ThreadStart::start(exporter, exportAll))
            exportAll();
        loop.exec();
        if (exporter.joinable())
            exporter.join();
        progress.setValue(list.size());
        ui->centralwidget->setEnabled(true);
    }
    const RenditionResult &failure = outcome.failure;
    const auto lines = [](const QVector<SourceNote> &notes) {
        QStringList text;
        for (const SourceNote &note : notes)
            text.append(QStringLiteral("%1: %2").arg(shownPath(note.sourcePath), note.text));
        return text.join(QLatin1Char('\n'));
    };

    QStringList paragraphs;
    if (failure.status == RenditionResult::WriteFailed) {
        paragraphs.append(tr("Could not write %1:\n%2\n\nThe export stopped there.")
                                  .arg(shownPath(failure.failedPath), failure.reason));
    }
    if (!outcome.skipped.isEmpty())
        paragraphs.append(tr("These files could not be used and were skipped:\n%1").arg(lines(outcome.skipped)));
    if (!outcome.damaged.isEmpty())
        paragraphs.append(tr("These files are damaged; what could be decoded was exported:\n%1").arg(lines(outcome.damaged)));
    if (!paragraphs.isEmpty())
        showError(paragraphs.join(QStringLiteral("\n\n")));
}

void MainWindow::addBox(QGridLayout *layout, int id, const QString &filepath,
                        void (MainWindow::*onDoubleClick)())
{
    qDebug() << QFileInfo(filepath).fileName();

    auto *box = new PictureBox;
    if (m_thumbnails.holds(filepath)) {
        QImage image = m_thumbnails.image(filepath);
        box->setImage(image, 1.0);
    } else {
        m_thumbnails.request({ filepath });
    }
    box->setProperty("id", id);
    box->setProperty("filepath", filepath);
    connect(box, &PictureBox::doubleClicked, this, onDoubleClick);
    layout->addWidget(box, id / kColumns, id % kColumns);
}

void MainWindow::showThumbnail(const QString &path, const QImage &image)
{
    QImage shown = image;
    for (QGridLayout *grid : { ui->gridLayout, ui->glLogo }) {
        for (int i = 0; i < grid->count(); ++i) {
            auto *box = qobject_cast<PictureBox *>(grid->itemAt(i)->widget());
            if (box && box->property("filepath").toString() == path)
                box->setImage(shown, 1.0);
        }
    }
}

void MainWindow::showBusy(bool busy)
{
    // The window stays usable meanwhile: the cursor that says "working, but go on".
    if (busy == m_busyCursor)
        return;
    m_busyCursor = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}
