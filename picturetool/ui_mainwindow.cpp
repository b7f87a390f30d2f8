#include "ui_mainwindow.h"

#include <algorithm>

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>

namespace {

// The form's 12 pixels cut the underscores and descenders of the file-name rule in
// most fonts; the label keeps its place and width and takes the height its font needs.
int fittedHeight(const QLabel *label)
{
    return std::max(12, label->fontMetrics().height());
}

} // namespace

void Ui_MainWindow::setupUi(QMainWindow *MainWindow)
{
    if (MainWindow->objectName().isEmpty())
        MainWindow->setObjectName(QString::fromUtf8("MainWindow"));
    MainWindow->resize(869, 504);

    centralwidget = new QWidget(MainWindow);
    centralwidget->setObjectName(QString::fromUtf8("centralwidget"));
    tabWidget = new QTabWidget(centralwidget);
    tabWidget->setObjectName(QString::fromUtf8("tabWidget"));
    tabWidget->setGeometry(QRect(-2, -2, 865, 479));

    tabPic = new QWidget();
    tabPic->setObjectName(QString::fromUtf8("tabPic"));
    label = new QLabel(tabPic);
    label->setObjectName(QString::fromUtf8("label"));
    label->setGeometry(QRect(292, 18, 445, fittedHeight(label)));
    btnImport = new QPushButton(tabPic);
    btnImport->setObjectName(QString::fromUtf8("btnImport"));
    btnImport->setGeometry(QRect(14, 12, 121, 23));
    btnExport = new QPushButton(tabPic);
    btnExport->setObjectName(QString::fromUtf8("btnExport"));
    btnExport->setGeometry(QRect(144, 12, 121, 23));
    gridLayoutWidget = new QWidget(tabPic);
    gridLayoutWidget->setObjectName(QString::fromUtf8("gridLayoutWidget"));
    gridLayoutWidget->setGeometry(QRect(12, 50, 843, 401));
    gridLayout = new QGridLayout(gridLayoutWidget);
    gridLayout->setObjectName(QString::fromUtf8("gridLayout"));
    gridLayout->setContentsMargins(0, 0, 0, 0);
    tabWidget->addTab(tabPic, QString());

    tabLogo = new QWidget();
    tabLogo->setObjectName(QString::fromUtf8("tabLogo"));
    label_3 = new QLabel(tabLogo);
    label_3->setObjectName(QString::fromUtf8("label_3"));
    label_3->setGeometry(QRect(292, 18, 445, fittedHeight(label_3)));
    btnImportLogo = new QPushButton(tabLogo);
    btnImportLogo->setObjectName(QString::fromUtf8("btnImportLogo"));
    btnImportLogo->setGeometry(QRect(14, 12, 121, 23));
    btnExportLogo = new QPushButton(tabLogo);
    btnExportLogo->setObjectName(QString::fromUtf8("btnExportLogo"));
    btnExportLogo->setGeometry(QRect(144, 12, 121, 23));
    gridLayoutWidget_3 = new QWidget(tabLogo);
    gridLayoutWidget_3->setObjectName(QString::fromUtf8("gridLayoutWidget_3"));
    gridLayoutWidget_3->setGeometry(QRect(12, 50, 843, 401));
    glLogo = new QGridLayout(gridLayoutWidget_3);
    glLogo->setObjectName(QString::fromUtf8("glLogo"));
    glLogo->setContentsMargins(0, 0, 0, 0);
    tabWidget->addTab(tabLogo, QString());

    MainWindow->setCentralWidget(centralwidget);
    menubar = new QMenuBar(MainWindow);
    menubar->setObjectName(QString::fromUtf8("menubar"));
    menubar->setGeometry(QRect(0, 0, 869, 23));
    MainWindow->setMenuBar(menubar);

    retranslateUi(MainWindow);

    tabWidget->setCurrentIndex(0);

    QMetaObject::connectSlotsByName(MainWindow);
}

void Ui_MainWindow::retranslateUi(QMainWindow *MainWindow)
{
    MainWindow->setWindowTitle(QCoreApplication::translate("MainWindow", "Velmora JPG V1.0.5", nullptr));
    label->setText(QCoreApplication::translate("MainWindow", "FileName Rules: *_1920x1080.jpg and *_320x180.jpg", nullptr));
    btnImport->setText(QCoreApplication::translate("MainWindow", "Import Picture", nullptr));
    btnExport->setText(QCoreApplication::translate("MainWindow", "Export Picture", nullptr));
    tabWidget->setTabText(tabWidget->indexOf(tabPic), QCoreApplication::translate("MainWindow", "Picture", nullptr));
    label_3->setText(QCoreApplication::translate("MainWindow", "FileName Rules: Logo*_480x540.jpg", nullptr));
    btnImportLogo->setText(QCoreApplication::translate("MainWindow", "Import Logo", nullptr));
    btnExportLogo->setText(QCoreApplication::translate("MainWindow", "Export Logo", nullptr));
    tabWidget->setTabText(tabWidget->indexOf(tabLogo), QCoreApplication::translate("MainWindow", "Logo", nullptr));
}
