// Export and import timings of the picture tool, beside ImageMagick and libvips making
// the same renditions and the decode-plus-compress floor of the work. Sources are
// generated in a temporary directory; import runs in child processes so each peak
// memory figure is its own (Linux: the peak is read from /proc).
#include "hostilefiles.h"
#include "jpegwriter.h"
#include "mainwindow.h"
#include "peakmemory.h"
#include "picturebox.h"
#include "renditions.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <jpeglib.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kCount = 20;

// The window with its dialogs answered by the benchmark.
class BenchWindow : public MainWindow
{
public:
    QStringList files;
    QString directory;

protected:
    QStringList pickFiles(const QString &) override { return files; }
    QString pickDirectory(const QString &) override { return directory; }
    bool confirm(const QString &) override { return true; }
    void showError(const QString &text) override
    {
        std::fprintf(stderr, "export reported: %s\n", qPrintable(text));
    }
};

// Smooth shapes with sensor-like noise, so the files compress like photographs. The
// shapes are drawn at a quarter of the size and enlarged, which keeps generation quick.
QImage photoLike(const QSize &size, unsigned seed)
{
    std::mt19937 random(seed);
    const QSize small = size / 4;
    QImage sketch(small, QImage::Format_RGB32);
    sketch.fill(QColor::fromHsv(int(random() % 360), 120, 200));
    QPainter painter(&sketch);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 12; ++i) {
        const QPointF centre(random() % small.width(), random() % small.height());
        const qreal radius = small.width() / 8 + random() % (small.width() / 3);
        QRadialGradient gradient(centre, radius);
        gradient.setColorAt(0, QColor::fromHsv(int(random() % 360), 200, 250));
        gradient.setColorAt(1, QColor::fromHsv(int(random() % 360), 180, 60, 0));
        painter.setBrush(gradient);
        painter.drawEllipse(centre, radius, radius);
    }
    painter.end();

    QImage image = sketch.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    quint32 state = seed * 2654435761u + 1;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int n = int(state % 13) - 6;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + n, 255), qBound(0, qGreen(p) + n, 255),
                           qBound(0, qBlue(p) + n, 255));
        }
    }
    return image;
}

QStringList makeSources(const QString &dir, const QString &stem, const QSize &size,
                        const char *format, int distinct)
{
    QStringList paths;
    QDir().mkpath(dir);
    for (int i = 0; i < kCount; ++i) {
        const QString path = QDir(dir).filePath(QStringLiteral("%1%2.%3").arg(stem).arg(i + 1, 2, 10, QLatin1Char('0')).arg(format));
        if (i < distinct)
            photoLike(size, unsigned(i + 1)).save(path, format, 92);
        else
            QFile::copy(paths[i % distinct], path);
        paths << path;
    }
    return paths;
}

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// CPU time (user + system) of this process or of its waited-for children. Printed
// beside wall time because the build machine is shared and wall time alone swings.
double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall and CPU time of one measured stretch.
struct Span
{
    double wall = -1;
    double cpu = -1;
};

class Stopwatch
{
public:
    explicit Stopwatch(int who)
        : m_who(who),
          m_cpu(cpuSeconds(who))
    {
        m_timer.start();
    }
    Span stop() const { return { seconds(m_timer), cpuSeconds(m_who) - m_cpu }; }

private:
    int m_who;
    double m_cpu;
    QElapsedTimer m_timer;
};

void printSpan(const char *what, const Span &span, const QString &detail = QString())
{
    if (span.wall < 0) {
        std::printf("  %-52s not available or failed\n", what);
        return;
    }
    std::printf("  %-52s %7.3f s wall %7.3f s CPU%s\n", what, span.wall, span.cpu,
                qPrintable(detail));
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
}

// Decodes every row of a JPEG file to RGB with libjpeg's defaults: the decoding part of
// the floor.
void decodeWholeJpeg(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_RGB;
    jpeg_start_decompress(&cinfo);
    std::vector<unsigned char> row(std::size_t(cinfo.output_width) * 3);
    JSAMPROW rows[1] = { row.data() };
    while (cinfo.output_scanline < cinfo.output_height)
        jpeg_read_scanlines(&cinfo, rows, 1);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

// Mean absolute difference per channel of two same-sized images, 0..255.
double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                    + std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

// Copies of the camera files with the 160 x 107 thumbnail a camera embeds in the EXIF
// block.
QStringList withThumbnails(const QString &dir, const QStringList &photos)
{
    QStringList paths;
    QDir().mkpath(dir);
    for (const QString &photo : photos) {
        QFile in(photo);
        if (!in.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = in.readAll();
        QByteArray thumbnail;
        QBuffer buffer(&thumbnail);
        buffer.open(QIODevice::WriteOnly);
        QImage::fromData(bytes).scaled(160, 107, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(&buffer, "JPG", 80);
        const QString path = QDir(dir).filePath(QFileInfo(photo).fileName());
        QFile out(path);
        const QByteArray tagged = withExifThumbnail(bytes, thumbnail);
        if (!out.open(QIODevice::WriteOnly) || out.write(tagged) != tagged.size())
            return {};
        paths << path;
    }
    return paths;
}

// Child: import the files in the given way and print wall time and peak memory.
int importChild(const QString &mode, const QStringList &files)
{
    QElapsedTimer timer;
    if (mode == QLatin1String("tool")) {
        // The import returns with the tiles in place; the thumbnails arrive on the
        // event loop, and the busy cursor goes with the last of them.
        BenchWindow window;
        window.files = files;
        timer.start();
        window.on_btnImport_clicked();
        const double returned = seconds(timer);
        while (QApplication::overrideCursor())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::printf("%.3f %.1f %.3f\n", seconds(timer), peakResidentMegabytes(), returned);
    } else if (mode == QLatin1String("whole")) {
        // The thumbnail made from the whole decoded file, for comparison.
        std::vector<PictureBox *> boxes;
        timer.start();
        for (const QString &path : files) {
            auto *box = new PictureBox;
            QImage image(path);
            box->setImage(image, 1.0);
            boxes.push_back(box);
        }
        std::printf("%.3f %.1f\n", seconds(timer), peakResidentMegabytes());
        qDeleteAll(boxes);
    } else {
        std::printf("0 %.1f\n", peakResidentMegabytes());
    }
    std::fflush(stdout);
    return 0;
}

struct ImportFigures
{
    double wallSeconds = -1;
    double cpuSeconds = -1;
    double peakMegabytes = -1;
    double returnedSeconds = -1;   // until the import call returned, where it is not all
};

ImportFigures measureImport(const QString &self, const QString &mode, const QStringList &files)
{
    int out[2];
    if (::pipe(out) != 0)
        return {};
    const QByteArray program = self.toLocal8Bit();
    std::vector<QByteArray> args { program, "--import-child", mode.toLocal8Bit() };
    for (const QString &f : files)
        args.push_back(f.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return {};
    }
    QByteArray text;
    char chunk[256];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, int(n));
    ::close(out[0]);
    int status = 0;
    rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)
        || WEXITSTATUS(status) != 0)
        return {};
    ImportFigures figures;
    const QList<QByteArray> fields = text.trimmed().split(' ');
    figures.wallSeconds = fields.value(0).toDouble();
    figures.peakMegabytes = fields.value(1).toDouble();
    if (fields.size() > 2)
        figures.returnedSeconds = fields.value(2).toDouble();
    figures.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return figures;
}

void printImport(const char *what, const ImportFigures &f)
{
    std::printf("  %-52s %7.3f s wall %7.1f MB peak RSS (process CPU %.2f s)", what,
                f.wallSeconds, f.peakMegabytes, f.cpuSeconds);
    if (f.returnedSeconds >= 0)
        std::printf("; the window was free again after %.3f s", f.returnedSeconds);
    std::printf("\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "default.debug=false");
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("--import-child"))
        return importChild(args[2], args.mid(3));

    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const QDir root(work.path());
    QElapsedTimer timer;

    std::printf("bench_jpgtool: %d pictures (4000x3000 JPEG) and %d logos (640x640 PNG)\n",
                kCount, kCount);
    timer.start();
    const QStringList pictures = makeSources(root.filePath("pictures"), "photo", QSize(4000, 3000), "jpg", kCount);
    const QStringList logos = makeSources(root.filePath("logos"), "logo", QSize(640, 640), "png", kCount);
    const QStringList camera = makeSources(root.filePath("camera"), "camera", QSize(6000, 4000), "jpg", 4);
    const QStringList cameraWithThumbnails = withThumbnails(root.filePath("camera-exif"), camera);
    std::printf("  sources generated in %.1f s\n", seconds(timer));
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        std::printf("  load average before the runs: %s\n", loadavg.readAll().trimmed().constData());
    std::printf("\n");

    // jpgtool, through the window's export.
    const QString toolOut = root.filePath("out-tool");
    QDir().mkpath(toolOut);
    BenchWindow window;
    window.files = pictures;
    window.on_btnImport_clicked();
    window.files = logos;
    window.on_btnImportLogo_clicked();
    // The thumbnails are decoded in the background; the export is timed without them.
    while (QApplication::overrideCursor())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    window.directory = toolOut;
    Stopwatch toolWatch(RUSAGE_SELF);
    window.on_btnExport_clicked();
    const Span toolPictures = toolWatch.stop();
    Stopwatch toolLogoWatch(RUSAGE_SELF);
    window.on_btnExportLogo_clicked();
    const Span toolLogos = toolLogoWatch.stop();

    // ImageMagick, the same renditions: sample-scaled, quality 85, 4:4:4, baseline.
    // ImageMagick's own binary by its Debian name first, so that a wrapper script that
    // comes earlier on PATH does not add its start-up time to every call.
    QString magick = QStandardPaths::findExecutable("convert-im6.q16");
    if (magick.isEmpty())
        magick = QStandardPaths::findExecutable("convert");
    const QString magickOut = root.filePath("out-magick");
    QDir().mkpath(magickOut);
    Span magickPictures;
    Span magickLogos;
    if (!magick.isEmpty()) {
        const QStringList jpegOptions { "-quality", "85", "-sampling-factor", "1x1", "-interlace", "none" };
        bool ok = true;
        Stopwatch pictureWatch(RUSAGE_CHILDREN);
        for (int i = 0; i < kCount && ok; ++i) {
            const QString n = QString::number(i + 1);
            ok = run(magick, QStringList { pictures[i], "-sample", "1920x1080!" } + jpegOptions
                             + QStringList { "-write", QDir(magickOut).filePath(n + "_1920x1080.jpg"),
                                             "-sample", "320x180!",
                                             QDir(magickOut).filePath(n + "_320x180.jpg") });
        }
        if (ok)
            magickPictures = pictureWatch.stop();
        Stopwatch logoWatch(RUSAGE_CHILDREN);
        for (int i = 0; i < kCount && ok; ++i) {
            ok = run(magick, QStringList { logos[i], "-background", "black", "-crop", "480x540+0+0",
                                           "+repage", "-extent", "480x540" }
                             + jpegOptions
                             + QStringList { QDir(magickOut).filePath(QStringLiteral("Logo%1_480x540.jpg").arg(i + 1)) });
        }
        if (ok)
            magickLogos = logoWatch.stop();
    }

    // libvips, one rendition per process: the 1920x1080 picture, nearest-neighbour,
    // quality 85, no chroma subsampling.
    const QString vips = QStandardPaths::findExecutable("vips");
    const QString vipsOut = root.filePath("out-vips");
    QDir().mkpath(vipsOut);
    Span vipsPictures;
    if (!vips.isEmpty()) {
        bool ok = true;
        Stopwatch vipsWatch(RUSAGE_CHILDREN);
        for (int i = 0; i < kCount && ok; ++i) {
            const QString target = QDir(vipsOut).filePath(QStringLiteral("%1_1920x1080.jpg[Q=85,subsample_mode=off]").arg(i + 1));
            ok = run(vips, { "resize", pictures[i], target, "0.48", "--vscale", "0.36", "--kernel", "nearest" });
        }
        if (ok)
            vipsPictures = vipsWatch.stop();
    }

    // The floor of one picture's work on one core: decoding the whole source (libjpeg,
    // every row to RGB) plus compressing the two renditions, in this process; and djpeg
    // decoding the same sources, for reference.
    std::vector<QImage> fulls;
    for (int i = 0; i < kCount; ++i)
        fulls.push_back(pictureFullSizePlain(pictures[i]));
    Stopwatch decodeWatch(RUSAGE_SELF);
    for (int i = 0; i < kCount; ++i)
        decodeWholeJpeg(pictures[i]);
    const Span decodeSpan = decodeWatch.stop();
    Stopwatch encodeWatch(RUSAGE_SELF);
    for (int i = 0; i < kCount; ++i) {
        QByteArray jpeg;
        encodeJpeg(85, 1920, 1080, fulls[std::size_t(i)].constBits(), &jpeg);
        const QImage preview = fulls[std::size_t(i)].scaled(320, 180, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        encodeJpeg(85, 320, 180, preview.constBits(), &jpeg);
    }
    const Span encodeSpan = encodeWatch.stop();
    const QString djpeg = QStandardPaths::findExecutable("djpeg");
    Span djpegSpan;
    if (!djpeg.isEmpty()) {
        bool ok = true;
        Stopwatch djpegWatch(RUSAGE_CHILDREN);
        for (int i = 0; i < kCount && ok; ++i)
            ok = run(djpeg, { "-outfile", QDir(root.path()).filePath("decoded.ppm"), pictures[i] });
        if (ok)
            djpegSpan = djpegWatch.stop();
    }

    const auto sum = [](const Span &a, const Span &b) {
        return a.wall < 0 || b.wall < 0 ? Span() : Span { a.wall + b.wall, a.cpu + b.cpu };
    };
    const auto split = [](const Span &pictureSpan, const Span &logoSpan) {
        return QStringLiteral("  (pictures %1 s, logos %2 s wall)")
                .arg(pictureSpan.wall, 0, 'f', 3)
                .arg(logoSpan.wall, 0, 'f', 3);
    };
    const int cores = QThread::idealThreadCount();
    const double perPictureMs = 1000.0 * toolPictures.wall / kCount;
    const double perPictureCpuMs = 1000.0 * toolPictures.cpu / kCount;
    const double floorMs = 1000.0 * (decodeSpan.cpu + encodeSpan.cpu) / kCount;
    std::printf("Export of %d pictures (1920x1080 + 320x180 each) and %d logos (480x540), %d cores:\n",
                kCount, kCount, cores);
    printSpan("jpgtool", sum(toolPictures, toolLogos), split(toolPictures, toolLogos));
    printSpan("ImageMagick convert, one process per file", sum(magickPictures, magickLogos),
              split(magickPictures, magickLogos));
    printSpan("libvips resize, 1920x1080 only, one process each", vipsPictures);
    printSpan("floor: libjpeg decode of the 20 sources", decodeSpan);
    printSpan("floor: compressing the 40 picture renditions", encodeSpan);
    printSpan("djpeg decode of the 20 sources (one process each)", djpegSpan);
    std::printf("\n");
    if (magickPictures.wall > 0) {
        std::printf("  jpgtool is %.2fx faster than ImageMagick (goal >= 5)\n",
                    sum(magickPictures, magickLogos).wall / sum(toolPictures, toolLogos).wall);
    }
    if (vipsPictures.wall > 0) {
        std::printf("  per picture: jpgtool %.1f ms for both renditions, libvips %.1f ms for one: "
                    "%.2fx (goal >= 1.5)\n",
                    perPictureMs, 1000.0 * vipsPictures.wall / kCount,
                    1000.0 * vipsPictures.wall / kCount / perPictureMs);
    }
    std::printf("  per picture on one core: jpgtool %.1f ms CPU, floor %.1f ms (decode %.1f + compress %.1f): "
                "%.2fx the floor (goal <= 1.3)\n",
                perPictureCpuMs, floorMs, 1000.0 * decodeSpan.cpu / kCount,
                1000.0 * encodeSpan.cpu / kCount, perPictureCpuMs / floorMs);
    std::printf("  cores in use during the picture export: %.2f of %d\n",
                toolPictures.cpu / toolPictures.wall, cores);

    const double pictureDiff = meanDifference(QImage(QDir(toolOut).filePath("1_1920x1080.jpg")),
                                              QImage(QDir(magickOut).filePath("1_1920x1080.jpg")));
    const double logoDiff = meanDifference(QImage(QDir(toolOut).filePath("Logo1_480x540.jpg")),
                                           QImage(QDir(magickOut).filePath("Logo1_480x540.jpg")));
    const double vipsDiff = meanDifference(QImage(QDir(toolOut).filePath("1_1920x1080.jpg")),
                                           QImage(QDir(vipsOut).filePath("1_1920x1080.jpg")));
    std::printf("  output vs jpgtool, mean abs difference (of 255): ImageMagick picture 1 %.2f, logo 1 %.2f; "
                "libvips picture 1 %.2f\n\n",
                pictureDiff, logoDiff, vipsDiff);

    std::printf("Import (thumbnails of 160x90), child process each:\n");
    const QString self = QCoreApplication::applicationFilePath();
    printImport("window only, nothing imported", measureImport(self, "none", {}));
    std::printf("  (jpgtool: until every thumbnail is shown)\n");
    printImport("jpgtool, 20 x 4000x3000 JPEG", measureImport(self, "tool", pictures));
    printImport("jpgtool, 20 x 6000x4000 JPEG, EXIF thumbnails (goal < 0.5 s)",
                measureImport(self, "tool", cameraWithThumbnails));
    printImport("jpgtool, 20 x 6000x4000 JPEG, none (< 100 MB)", measureImport(self, "tool", camera));
    printImport("whole-file thumbnails, 20 x 6000x4000 JPEG", measureImport(self, "whole", camera));
    return 0;
}
