#include "sampledjpeg.h"

#include "jpegprobe.h"
#include "nearestsampling.h"
#include "threadclock.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// The toolkit picks other columns or rows than its one-pixel strips show for pictures
// only a few pixels tall or wide; those take the plain path.
constexpr int kShortestSide = 5;
// Rows skipped at once at the end of a picture between looks at the limits.
constexpr JDIMENSION kSkipStep = 256;

struct Decoder
{
    enum Limit { None, Scans, Time };

    jpeg_error_mgr pub;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    std::chrono::nanoseconds deadline;   // of the thread's processor time
    Limit limit;
    bool gaveUp;       // libjpeg's error handler ran
    unsigned calls;    // of checkLimits
    int warnings;
    char firstWarning[JMSG_LENGTH_MAX];
};

void leave(j_common_ptr cinfo)
{
    reinterpret_cast<Decoder *>(cinfo->err)->gaveUp = true;
    std::longjmp(reinterpret_cast<Decoder *>(cinfo->err)->jump, 1);
}

// Counts warnings (damaged data that libjpeg patches over) and keeps the first, without
// printing them.
void countWarnings(j_common_ptr cinfo, int level)
{
    auto *err = reinterpret_cast<Decoder *>(cinfo->err);
    if (level >= 0)
        return;
    if (err->warnings++ == 0)
        (*cinfo->err->format_message)(cinfo, err->firstWarning);
}

// Called by libjpeg as it reads each row of blocks of every scan, and by the row loop
// below: gives up on a file of too many scans or once the deadline has passed.
void checkLimits(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<Decoder *>(cinfo->err);
    const auto *dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    // The clock is a system call; a look at every 16th call is often enough, as each
    // call is at most a row of blocks or a picture row of work.
    if (dinfo->input_scan_number > kMaxJpegScans)
        err->limit = Decoder::Scans;
    else if (++err->calls % 16 == 0 && threadCpuTime() > err->deadline)
        err->limit = Decoder::Time;
    else
        return;
    std::longjmp(err->jump, 1);
}

// Phase 1: header, colour set-up and start. The output is RGB in three bytes straight
// from the decoder's colour conversion, which is the conversion the plain loader's
// 32-bit pixels come from, or CMYK, converted below as the plain loader does. Everything
// else stays at libjpeg's defaults (accurate DCT, smooth chroma upsampling), as the
// plain loader leaves it. Only trivially destructible objects live in these frames, for
// the longjmp. Returns 1 when started, 0 when not covered, -1 when libjpeg gave up.
int start(jpeg_decompress_struct &cinfo, Decoder &err, const unsigned char *data, unsigned long size)
{
    if (setjmp(err.jump))
        return -1;
    jpeg_mem_src(&cinfo, data, size);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return -1;

    const bool color = cinfo.num_components == 3
            && (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB);
    const bool gray = cinfo.num_components == 1 && cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.num_components == 4
            && (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK);
    if ((!color && !gray && !cmyk)
        || int(std::min(cinfo.image_width, cinfo.image_height)) < kShortestSide)
        return 0;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGB;
    jpeg_start_decompress(&cinfo);
    return cinfo.output_components == (cmyk ? 4 : 3) ? 1 : 0;
}

// Which stored pixel each output pixel takes. The output is cut into lines, each of
// which takes pixels from one stored row only: its rows, or its columns when the
// picture is turned sideways. Lines are kept in the order of their stored rows, so
// that the stream is read front to back once.
struct SamplingPlan
{
    bool sideways = false;
    int bytesPerPixel = 3;         // of the decoder's rows: 3 for RGB, 4 for CMYK
    QSize size;                    // of the output
    std::vector<int> lines;        // output lines, ordered by the stored row they take
    std::vector<int> lineRow;      // per output line, the stored row
    std::vector<int> pixelOffset;  // per pixel along a line, its byte offset in that row
};

QVector<int> firstIndices(int from, int to)
{
    QVector<int> indices(std::min(from, to));
    for (int i = 0; i < indices.size(); ++i)
        indices[i] = i;
    return indices;
}

// Turning upright mirrors (left-right), flips (top-bottom), then turns a quarter
// clockwise, as the toolkit's loader does; the maps of the scaling or cut are those of
// the upright picture.
bool makePlan(SamplingPlan &plan, int storedWidth, int storedHeight, const QSize &size, JpegPick pick,
              QImageIOHandler::Transformations transformation)
{
    const bool mirror = transformation & QImageIOHandler::TransformationMirror;
    const bool flip = transformation & QImageIOHandler::TransformationFlip;
    plan.sideways = transformation & QImageIOHandler::TransformationRotate90;
    const int uprightWidth = plan.sideways ? storedHeight : storedWidth;
    const int uprightHeight = plan.sideways ? storedWidth : storedHeight;
    const bool scaled = pick == JpegPick::Scaled;
    const QVector<int> columns = scaled ? nearestSourceIndices(Axis::Columns, uprightWidth, size.width())
                                        : firstIndices(uprightWidth, size.width());
    const QVector<int> rows = scaled ? nearestSourceIndices(Axis::Rows, uprightHeight, size.height())
                                     : firstIndices(uprightHeight, size.height());
    if (columns.isEmpty() || rows.isEmpty())
        return false;
    plan.size = QSize(columns.size(), rows.size());

    // Upright (u, v) is stored (mirror ? W-1-u : u, flip ? H-1-v : v) without the turn,
    // and stored (mirror ? W-1-v : v, flip ? u : H-1-u) with it.
    const QVector<int> &alongLine = plan.sideways ? rows : columns;
    const QVector<int> &acrossLines = plan.sideways ? columns : rows;
    plan.pixelOffset.resize(std::size_t(alongLine.size()));
    for (int i = 0; i < alongLine.size(); ++i)
        plan.pixelOffset[std::size_t(i)] = plan.bytesPerPixel * (mirror ? storedWidth - 1 - alongLine[i] : alongLine[i]);
    plan.lineRow.resize(std::size_t(acrossLines.size()));
    for (int i = 0; i < acrossLines.size(); ++i) {
        const int upright = acrossLines[i];
        plan.lineRow[std::size_t(i)] = plan.sideways ? (flip ? upright : storedHeight - 1 - upright)
                                                     : (flip ? storedHeight - 1 - upright : upright);
    }
    plan.lines.resize(plan.lineRow.size());
    for (std::size_t i = 0; i < plan.lines.size(); ++i)
        plan.lines[i] = int(i);
    std::stable_sort(plan.lines.begin(), plan.lines.end(),
                     [&plan](int a, int b) { return plan.lineRow[std::size_t(a)] < plan.lineRow[std::size_t(b)]; });
    return true;
}

// One decoded pixel as RGB. Four-component files are stored inverted (Adobe), and the
// plain loader takes their colour as each ink times black.
inline void putPixel(uchar *q, const uchar *p, bool cmyk)
{
    if (cmyk) {
        const int k = p[3];
        q[0] = uchar(k * p[0] / 255);
        q[1] = uchar(k * p[1] / 255);
        q[2] = uchar(k * p[2] / 255);
    } else {
        q[0] = p[0];
        q[1] = p[1];
        q[2] = p[2];
    }
}

// Phase 2: reads the rows the plan samples, skips the others, and drains the rest of
// the stream so that damage after the last sampled row is noticed as the plain loader
// would notice it. A stored row sampled by several lines is read once.
bool readSampledRows(jpeg_decompress_struct &cinfo, Decoder &err, const SamplingPlan &plan,
                     uchar *out, int bytesPerLine)
{
    if (setjmp(err.jump))
        return false;
    const j_common_ptr common = reinterpret_cast<j_common_ptr>(&cinfo);
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(common, JPOOL_IMAGE,
                                                 cinfo.output_width * JDIMENSION(plan.bytesPerPixel), 1);
    const bool cmyk = plan.bytesPerPixel == 4;
    const std::size_t pixels = plan.pixelOffset.size();
    // Where pixel i of line L goes: across a row, or down a column when sideways.
    const std::size_t lineStep = plan.sideways ? 3 : std::size_t(bytesPerLine);
    const std::size_t pixelStep = plan.sideways ? std::size_t(bytesPerLine) : 3;
    int previous = -1;
    const uchar *previousLine = nullptr;
    for (const int line : plan.lines) {
        uchar *target = out + std::size_t(line) * lineStep;
        const int wanted = plan.lineRow[std::size_t(line)];
        if (wanted == previous && !plan.sideways) {
            std::memcpy(target, previousLine, pixels * 3);
            continue;
        }
        if (wanted != previous) {
            checkLimits(common);
            if (cinfo.output_scanline < JDIMENSION(wanted))
                jpeg_skip_scanlines(&cinfo, JDIMENSION(wanted) - cinfo.output_scanline);
            if (cinfo.output_scanline != JDIMENSION(wanted) || jpeg_read_scanlines(&cinfo, row, 1) != 1)
                return false;
            previous = wanted;
        }
        const uchar *source = row[0];
        for (std::size_t i = 0; i < pixels; ++i)
            putPixel(target + i * pixelStep, source + plan.pixelOffset[i], cmyk);
        previousLine = target;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        checkLimits(common);
        jpeg_skip_scanlines(&cinfo, std::min(kSkipStep, cinfo.output_height - cinfo.output_scanline));
    }
    return jpeg_finish_decompress(&cinfo);
}

QString libjpegMessage(jpeg_decompress_struct &cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo.err->format_message)(reinterpret_cast<j_common_ptr>(&cinfo), text);
    return QString::fromLocal8Bit(text);
}

void fail(JpegDecode &result, jpeg_decompress_struct &cinfo, const Decoder &err)
{
    result.image = QImage();
    switch (err.limit) {
    case Decoder::Scans:
        result.status = JpegDecode::TooManyScans;
        result.reason = QStringLiteral("too many scans (more than %1)").arg(kMaxJpegScans);
        return;
    case Decoder::Time:
        result.status = JpegDecode::TooSlow;
        result.reason = QStringLiteral("stopped: decoding it is more work than a file of its size can need");
        return;
    case Decoder::None:
        break;
    }
    result.status = err.gaveUp && err.pub.msg_code == JERR_OUT_OF_MEMORY ? JpegDecode::OutOfMemory
                                                                         : JpegDecode::Failed;
    result.reason = err.gaveUp ? libjpegMessage(cinfo) : QStringLiteral("the data ends before the picture");
}

} // namespace

std::chrono::milliseconds jpegDecodeAllowance(qint64 fileBytes)
{
    return std::chrono::milliseconds(750 + fileBytes * 1000 / (1 << 20));
}

JpegDecode decodeJpegSampled(const uchar *data, qint64 length, const QSize &size, JpegPick pick,
                             QImageIOHandler::Transformations transformation,
                             std::chrono::nanoseconds allowance)
{
    JpegDecode result;
    if (length < 4 || data[0] != 0xFF || data[1] != 0xD8 || size.isEmpty()
        || quint64(length) > std::numeric_limits<unsigned long>::max())
        return result;

    jpeg_decompress_struct cinfo;
    Decoder err;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = leave;
    err.pub.emit_message = countWarnings;
    err.progress.progress_monitor = checkLimits;
    err.deadline = threadCpuTime() + allowance;
    err.limit = Decoder::None;
    err.gaveUp = false;
    err.calls = 0;
    err.warnings = 0;
    err.firstWarning[0] = '\0';
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &err.progress;

    SamplingPlan plan;
    const int started = start(cinfo, err, data, static_cast<unsigned long>(length));
    if (started < 0) {
        fail(result, cinfo, err);
    } else if (started > 0) {
        plan.bytesPerPixel = cinfo.output_components;
        if (makePlan(plan, int(cinfo.output_width), int(cinfo.output_height), size, pick, transformation)) {
            result.image = QImage(plan.size, QImage::Format_RGB888);
            if (result.image.isNull()) {
                result.status = JpegDecode::OutOfMemory;
                result.reason = QStringLiteral("out of memory");
            } else if (readSampledRows(cinfo, err, plan, result.image.bits(), result.image.bytesPerLine())) {
                result.status = JpegDecode::Decoded;
            } else {
                fail(result, cinfo, err);
            }
        }
    }
    jpeg_destroy_decompress(&cinfo);
    if (result.status == JpegDecode::Decoded && err.warnings > 0)
        result.damage = QString::fromLocal8Bit(err.firstWarning);
    return result;
}
