#include "sampledjpeg.h"

#include "nearestsampling.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include <jpeglib.h>

namespace {

// The toolkit picks other columns or rows than its one-pixel strips show for pictures
// only a few pixels tall or wide; those take the plain path.
constexpr int kShortestSide = 5;

struct Decoder
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int warnings;
    char firstWarning[JMSG_LENGTH_MAX];
};

void leave(j_common_ptr cinfo)
{
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

// Phase 1: header, colour set-up and start. The output is RGB in three bytes straight
// from the decoder's colour conversion, which is the conversion the plain loader's
// 32-bit pixels come from. Everything else stays at libjpeg's defaults (accurate DCT,
// smooth chroma upsampling), as the plain loader leaves it. Only trivially
// destructible objects live in these frames, for the longjmp.
bool start(jpeg_decompress_struct &cinfo, Decoder &err, const unsigned char *data,
           unsigned long size)
{
    if (setjmp(err.jump))
        return false;
    jpeg_mem_src(&cinfo, data, size);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return false;

    const bool color = cinfo.num_components == 3
            && (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB);
    const bool gray = cinfo.num_components == 1 && cinfo.jpeg_color_space == JCS_GRAYSCALE;
    if (!color && !gray)
        return false;
    cinfo.out_color_space = JCS_EXT_RGB;
    jpeg_start_decompress(&cinfo);
    return cinfo.output_components == 3;
}

// Which stored pixel each output pixel takes. The output is cut into lines, each of
// which takes pixels from one stored row only: its rows, or its columns when the
// picture is turned sideways. Lines are kept in the order of their stored rows, so
// that the stream is read front to back once.
struct SamplingPlan
{
    bool sideways = false;
    std::vector<int> lines;        // output lines, ordered by the stored row they take
    std::vector<int> lineRow;      // per output line, the stored row
    std::vector<int> pixelOffset;  // per pixel along a line, its byte offset in that row
};

// Turning upright mirrors (left-right), flips (top-bottom), then turns a quarter
// clockwise, as the toolkit's loader does; the maps of the scaling are those of the
// upright picture.
bool makePlan(SamplingPlan &plan, int storedWidth, int storedHeight, const QSize &size,
              QImageIOHandler::Transformations transformation)
{
    const bool mirror = transformation & QImageIOHandler::TransformationMirror;
    const bool flip = transformation & QImageIOHandler::TransformationFlip;
    plan.sideways = transformation & QImageIOHandler::TransformationRotate90;
    const int uprightWidth = plan.sideways ? storedHeight : storedWidth;
    const int uprightHeight = plan.sideways ? storedWidth : storedHeight;
    const QVector<int> columns = nearestSourceIndices(Axis::Columns, uprightWidth, size.width());
    const QVector<int> rows = nearestSourceIndices(Axis::Rows, uprightHeight, size.height());
    if (columns.isEmpty() || rows.isEmpty())
        return false;

    // Upright (u, v) is stored (mirror ? W-1-u : u, flip ? H-1-v : v) without the turn,
    // and stored (mirror ? W-1-v : v, flip ? u : H-1-u) with it.
    const QVector<int> &alongLine = plan.sideways ? rows : columns;
    const QVector<int> &acrossLines = plan.sideways ? columns : rows;
    plan.pixelOffset.resize(std::size_t(alongLine.size()));
    for (int i = 0; i < alongLine.size(); ++i)
        plan.pixelOffset[std::size_t(i)] = 3 * (mirror ? storedWidth - 1 - alongLine[i] : alongLine[i]);
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

// Phase 2: reads the rows the plan samples, skips the others, and drains the rest of
// the stream so that damage after the last sampled row is noticed as the plain loader
// would notice it. A stored row sampled by several lines is read once.
bool readSampledRows(jpeg_decompress_struct &cinfo, Decoder &err, const SamplingPlan &plan,
                     uchar *out, int bytesPerLine)
{
    if (setjmp(err.jump))
        return false;
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                 JPOOL_IMAGE, cinfo.output_width * 3, 1);
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
            if (cinfo.output_scanline < JDIMENSION(wanted))
                jpeg_skip_scanlines(&cinfo, JDIMENSION(wanted) - cinfo.output_scanline);
            if (cinfo.output_scanline != JDIMENSION(wanted) || jpeg_read_scanlines(&cinfo, row, 1) != 1)
                return false;
            previous = wanted;
        }
        const uchar *source = row[0];
        for (std::size_t i = 0; i < pixels; ++i) {
            const uchar *p = source + plan.pixelOffset[i];
            uchar *q = target + i * pixelStep;
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
        previousLine = target;
    }
    if (cinfo.output_scanline < cinfo.output_height)
        jpeg_skip_scanlines(&cinfo, cinfo.output_height - cinfo.output_scanline);
    return jpeg_finish_decompress(&cinfo);
}

} // namespace

QImage decodeJpegSampled(const uchar *data, qint64 length, const QSize &size,
                         QImageIOHandler::Transformations transformation, QString *damage)
{
    if (length < 4 || data[0] != 0xFF || data[1] != 0xD8 || size.isEmpty()
        || quint64(length) > std::numeric_limits<unsigned long>::max())
        return {};

    jpeg_decompress_struct cinfo;
    Decoder err;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = leave;
    err.pub.emit_message = countWarnings;
    err.warnings = 0;
    err.firstWarning[0] = '\0';
    jpeg_create_decompress(&cinfo);

    QImage image;
    SamplingPlan plan;
    if (start(cinfo, err, data, static_cast<unsigned long>(length))
        && int(std::min(cinfo.output_width, cinfo.output_height)) >= kShortestSide
        && makePlan(plan, int(cinfo.output_width), int(cinfo.output_height), size, transformation)) {
        image = QImage(size, QImage::Format_RGB888);
        if (image.isNull() || !readSampledRows(cinfo, err, plan, image.bits(), image.bytesPerLine()))
            image = QImage();
    }
    jpeg_destroy_decompress(&cinfo);
    if (err.warnings > 0) {
        if (!damage)
            return {};
        *damage = QString::fromLocal8Bit(err.firstWarning);
    }
    return image;
}
