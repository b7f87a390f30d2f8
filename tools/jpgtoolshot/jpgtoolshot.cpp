// Shows the picture tool's window with files already imported and optionally saves a
// picture of it, for the documentation. The shipped window reads no options; this
// helper answers its import dialogs from its command line instead.
#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

namespace {

class PreloadedWindow : public MainWindow
{
public:
    void importInto(bool logo, const QStringList &files)
    {
        m_files = files;
        if (logo)
            on_btnImportLogo_clicked();
        else
            on_btnImport_clicked();
        m_files.clear();
    }

protected:
    QStringList pickFiles(const QString &) override { return m_files; }

private:
    QStringList m_files;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption pictures("picture", "Import <file> on the Picture tab.", "file");
    const QCommandLineOption logos("logo", "Import <file> on the Logo tab.", "file");
    const QCommandLineOption tab("tab", "Show tab <index> (0 Picture, 1 Logo).", "index", "0");
    const QCommandLineOption grab("grab", "Save the screen around the window to <png> and quit.", "png");
    parser.addOptions({ pictures, logos, tab, grab });
    parser.process(app);

    PreloadedWindow window;
    window.importInto(false, parser.values(pictures));
    window.importInto(true, parser.values(logos));
    window.findChild<QTabWidget *>("tabWidget")->setCurrentIndex(parser.value(tab).toInt());
    window.move(0, 0);
    window.show();

    if (parser.isSet(grab)) {
        // Give the X server time to map and paint the window, and the thumbnails time
        // to arrive (the window shows a busy cursor until they have), before reading
        // it back.
        auto *poll = new QTimer(&window);
        QElapsedTimer shown;
        shown.start();
        QObject::connect(poll, &QTimer::timeout, &window, [&, poll]() {
            if (shown.elapsed() < 1500 || QApplication::overrideCursor())
                return;
            poll->stop();
            const QRect frame = window.frameGeometry();
            const QPixmap shot = window.screen()->grabWindow(0, frame.x(), frame.y(),
                                                             frame.width(), frame.height());
            const bool saved = shot.save(parser.value(grab));
            std::fprintf(stderr, "%s %dx%d at %d,%d\n", saved ? "saved" : "could not save",
                         shot.width(), shot.height(), frame.x(), frame.y());
            app.exit(saved ? 0 : 1);
        });
        poll->start(100);
    }
    return app.exec();
}
