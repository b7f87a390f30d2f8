#include "sampledjpeg.h"

#include "nearestsampling.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace {

struct Decoder
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int warnings;
};

void leave(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<Decoder *>(cinfo->err)->jump, 1);
}

// Counts warnings (damaged data that libjpeg patches over) without printing them; a
// stream with any is left to the plain path.
void countWarnings(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++reinterpret_cast<Decoder *>(cinfo->err)->warnings;
}

bool isExif(const jpeg_saved_marker_ptr marker)
{
    return marker->data_length >= 6 && std::memcmp(marker->data, "Exif\0\0", 6) == 0;
}

// Phase 1: header, colour set-up and start. The output is RGB in three bytes straight
// from the decoder's colour conversion, which is the conversion the plain loader's
// 32-bit pixels come from. Everything else stays at libjpeg's defaults (accurate DCT,
// smooth chroma upsampling), as the plain loader leaves it. Only trivially
// destructible objects live in these frames, for the longjmp.
bool start(jpeg_decompress_struct &cinfo, Decoder &err, const unsigned char *data,
           unsigned long size, bool *hasExif)
{
    if (setjmp(err.jump))
        return false;
    jpeg_mem_src(&cinfo, data, size);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
        *hasExif = *hasExif || isExif(m);

    const bool color = cinfo.num_components == 3
            && (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB);
    const bool gray = cinfo.num_components == 1 && cinfo.jpeg_color_space == JCS_GRAYSCALE;
    if (!color && !gray)
        return false;
    cinfo.out_color_space = JCS_EXT_RGB;
    jpeg_start_decompress(&cinfo);
    return cinfo.output_components == 3;
}

// Phase 2: reads the rows the scaling samples, skips the others, and drains the rest
// of the stream so that damage after the last sampled row is noticed as the plain
// loader would notice it. A source row sampled by several output rows is read once.
bool readSampledRows(jpeg_decompress_struct &cinfo, Decoder &err, const int *xOffsets,
                     int width, const int *rowMap, int height, uchar *out, int bytesPerLine)
{
    if (setjmp(err.jump))
        return false;
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                 JPOOL_IMAGE, cinfo.output_width * 3, 1);
    for (int y = 0; y < height; ++y) {
        uchar *line = out + std::size_t(y) * std::size_t(bytesPerLine);
        if (y > 0 && rowMap[y] == rowMap[y - 1]) {
            std::memcpy(line, line - bytesPerLine, std::size_t(width) * 3);
            continue;
        }
        const JDIMENSION wanted = JDIMENSION(rowMap[y]);
        if (cinfo.output_scanline < wanted)
            jpeg_skip_scanlines(&cinfo, wanted - cinfo.output_scanline);
        if (cinfo.output_scanline != wanted || jpeg_read_scanlines(&cinfo, row, 1) != 1)
            return false;
        const uchar *source = row[0];
        for (int x = 0; x < width; ++x) {
            const uchar *p = source + xOffsets[x];
            line[3 * x] = p[0];
            line[3 * x + 1] = p[1];
            line[3 * x + 2] = p[2];
        }
    }
    if (cinfo.output_scanline < cinfo.output_height)
        jpeg_skip_scanlines(&cinfo, cinfo.output_height - cinfo.output_scanline);
    return jpeg_finish_decompress(&cinfo) && err.warnings == 0;
}

bool nondecreasing(const QVector<int> &map)
{
    for (int i = 1; i < map.size(); ++i) {
        if (map[i] < map[i - 1])
            return false;
    }
    return true;
}

} // namespace

QImage decodeJpegSampled(const QByteArray &file, const QSize &size, bool *hasExif)
{
    bool exif = false;
    if (hasExif)
        *hasExif = false;
    if (file.size() < 4 || uchar(file[0]) != 0xFF || uchar(file[1]) != 0xD8 || size.isEmpty())
        return {};

    jpeg_decompress_struct cinfo;
    Decoder err;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = leave;
    err.pub.emit_message = countWarnings;
    err.warnings = 0;
    jpeg_create_decompress(&cinfo);

    QImage image;
    if (start(cinfo, err, reinterpret_cast<const unsigned char *>(file.constData()),
              static_cast<unsigned long>(file.size()), &exif)) {
        const QVector<int> columns = nearestSourceIndices(Axis::Columns, int(cinfo.output_width), size.width());
        const QVector<int> rows = nearestSourceIndices(Axis::Rows, int(cinfo.output_height), size.height());
        if (!columns.isEmpty() && !rows.isEmpty() && nondecreasing(rows)) {
            std::vector<int> offsets(std::size_t(columns.size()));
            for (int x = 0; x < columns.size(); ++x)
                offsets[std::size_t(x)] = columns[x] * 3;
            image = QImage(size, QImage::Format_RGB888);
            if (image.isNull()
                || !readSampledRows(cinfo, err, offsets.data(), size.width(), rows.constData(),
                                    size.height(), image.bits(), image.bytesPerLine()))
                image = QImage();
        }
    }
    jpeg_destroy_decompress(&cinfo);
    if (hasExif)
        *hasExif = exif;
    return image;
}
