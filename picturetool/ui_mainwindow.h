#ifndef UI_MAINWINDOW_H
#define UI_MAINWINDOW_H

class QGridLayout;
class QLabel;
class QMainWindow;
class QMenuBar;
class QPushButton;
class QTabWidget;
class QWidget;

// The picture tool's form, built in code in the shape a form editor would produce.
class Ui_MainWindow
{
public:
    QWidget *centralwidget;
    QTabWidget *tabWidget;
    QWidget *tabPic;
    QLabel *label;
    QPushButton *btnImport;
    QPushButton *btnExport;
    QWidget *gridLayoutWidget;
    QGridLayout *gridLayout;
    QWidget *tabLogo;
    QLabel *label_3;
    QPushButton *btnImportLogo;
    QPushButton *btnExportLogo;
    QWidget *gridLayoutWidget_3;
    QGridLayout *glLogo;
    QMenuBar *menubar;

    void setupUi(QMainWindow *MainWindow);
    void retranslateUi(QMainWindow *MainWindow);
};

namespace Ui {
class MainWindow : public Ui_MainWindow
{
};
} // namespace Ui

#endif // UI_MAINWINDOW_H
