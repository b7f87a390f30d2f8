#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "exportrun.h"
#include "thumbnailcache.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QGridLayout;
class QLayout;

namespace Ui {
class MainWindow;
}

// The picture tool's window: a "Picture" and a "Logo" tab, each with a list of up to 20
// files shown as thumbnails and exported as fixed-size JPEG files.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The imported files in list order; a file's position is its export number - 1.
    const QStringList &pictureList() const { return m_picList; }
    const QStringList &logoList() const { return m_logoList; }

public slots:
    void on_btnImport_clicked();
    void on_btnExport_clicked();
    void on_btnImportLogo_clicked();
    void on_btnExportLogo_clicked();
    void on_PictureBoxDbClicked();
    void on_LogoPictureBoxDbClicked();
    void clearLayout(QLayout *layout);
    void addLayoutPicBox(QGridLayout *layout, int id, QString filepath);
    void addLogoLayoutPicBox(QGridLayout *layout, int id, QString filepath);

protected:
    // The dialogs, one function each, so that a test can answer them.
    // pickFiles: the chosen files, empty when cancelled.
    virtual QStringList pickFiles(const QString &title);
    // pickDirectory: the chosen directory, empty when cancelled.
    virtual QString pickDirectory(const QString &title);
    // confirm: false only when the user answers No.
    virtual bool confirm(const QString &text);
    virtual void showError(const QString &text);

private:
    using AddBox = void (MainWindow::*)(QGridLayout *, int, QString);

    void importFiles(QStringList &list, QGridLayout *layout, const QString &title, AddBox add);
    void removeFile(QStringList &list, QGridLayout *layout, AddBox add);
    void exportFiles(const QStringList &list, const QString &title, const QString &question,
                     ExportItem::Kind kind);
    void addBox(QGridLayout *layout, int id, const QString &filepath,
                void (MainWindow::*onDoubleClick)());
    // Shows path's thumbnail on every tile of that file, once it is decoded.
    void showThumbnail(const QString &path, const QImage &image);
    void showBusy(bool busy);

    Ui::MainWindow *ui;
    QStringList m_picList;
    QStringList m_logoList;
    ThumbnailCache m_thumbnails;
    bool m_busyCursor = false;
};

#endif // MAINWINDOW_H
