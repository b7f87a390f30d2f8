#include "sourcekinds.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

struct JpegLayout
{
    J_COLOR_SPACE fileSpace = JCS_YCbCr;
    int lumaH = 2;
    int lumaV = 2;
    bool progressive = false;
    int restartRows = 0;
    int exifOrientation = 0; // 0: no EXIF block
};

// A minimal big-endian EXIF block holding one IFD with the orientation tag.
QByteArray exifWithOrientation(int orientation)
{
    const unsigned char block[] = {
        'E', 'x', 'i', 'f', 0, 0,
        'M', 'M', 0, 0x2A, 0, 0, 0, 8,         // TIFF header, IFD at offset 8
        0, 1,                                  // one entry
        0x01, 0x12, 0, 3, 0, 0, 0, 1,          // orientation, SHORT, count 1
        0, static_cast<unsigned char>(orientation), 0, 0,
        0, 0, 0, 0,                            // no next IFD
    };
    return QByteArray(reinterpret_cast<const char *>(block), int(sizeof block));
}

// Writes the image through libjpeg, which the image writer of the toolkit cannot be
// told to do for most of these layouts. Only ever called with valid parameters, so the
// standard error handler (which ends the process) never fires.
bool writeJpeg(const QString &path, const QImage &rgb, const JpegLayout &layout)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;

    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);

    const bool gray = layout.fileSpace == JCS_GRAYSCALE;
    const bool cmyk = layout.fileSpace == JCS_CMYK;
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = gray ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, layout.fileSpace);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (!gray) {
        cinfo.comp_info[0].h_samp_factor = layout.lumaH;
        cinfo.comp_info[0].v_samp_factor = layout.lumaV;
        for (int c = 1; c < cinfo.num_components; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
        if (cmyk) {
            cinfo.comp_info[3].h_samp_factor = layout.lumaH;
            cinfo.comp_info[3].v_samp_factor = layout.lumaV;
        }
    }
    if (layout.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.restart_in_rows = layout.restartRows;

    jpeg_start_compress(&cinfo, TRUE);
    if (layout.exifOrientation) {
        const QByteArray exif = exifWithOrientation(layout.exifOrientation);
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET *>(exif.constData()),
                          unsigned(exif.size()));
    }
    std::vector<JSAMPLE> row(std::size_t(rgb.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uchar *in = rgb.constScanLine(int(cinfo.next_scanline));
        for (int x = 0; x < rgb.width(); ++x) {
            const uchar r = in[3 * x], g = in[3 * x + 1], b = in[3 * x + 2];
            if (gray) {
                row[std::size_t(x)] = JSAMPLE((r * 3 + g * 4 + b) / 8);
            } else if (cmyk) {
                // Adobe files store CMYK inverted: 255 is no ink.
                const uchar k = std::max({ r, g, b });
                row[std::size_t(4 * x)] = JSAMPLE(k ? 255 - (k - r) * 255 / k : 255);
                row[std::size_t(4 * x + 1)] = JSAMPLE(k ? 255 - (k - g) * 255 / k : 255);
                row[std::size_t(4 * x + 2)] = JSAMPLE(k ? 255 - (k - b) * 255 / k : 255);
                row[std::size_t(4 * x + 3)] = JSAMPLE(k);
            } else {
                row[std::size_t(3 * x)] = r;
                row[std::size_t(3 * x + 1)] = g;
                row[std::size_t(3 * x + 2)] = b;
            }
        }
        JSAMPROW rows[1] = { row.data() };
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

JpegLayout layoutOf(SourceKind kind)
{
    //                                         colour space   luma h, v  progr.  restart EXIF
    switch (kind) {
    case SourceKind::Jpeg444:            return { JCS_YCbCr,     1, 1,     false,  0,      0 };
    case SourceKind::Jpeg422:            return { JCS_YCbCr,     2, 1,     false,  0,      0 };
    case SourceKind::Jpeg440:            return { JCS_YCbCr,     1, 2,     false,  0,      0 };
    case SourceKind::Jpeg411:            return { JCS_YCbCr,     4, 1,     false,  0,      0 };
    case SourceKind::JpegRestarts:       return { JCS_YCbCr,     2, 2,     false,  1,      0 };
    case SourceKind::JpegProgressive:    return { JCS_YCbCr,     2, 2,     true,   0,      0 };
    case SourceKind::JpegProgressive444: return { JCS_YCbCr,     1, 1,     true,   0,      0 };
    case SourceKind::JpegGray:           return { JCS_GRAYSCALE, 1, 1,     false,  0,      0 };
    case SourceKind::JpegRgb:            return { JCS_RGB,       1, 1,     false,  0,      0 };
    case SourceKind::JpegCmyk:           return { JCS_CMYK,      2, 2,     false,  0,      0 };
    default:                             return { JCS_YCbCr,     2, 2,     false,  0,      0 };
    }
}

} // namespace

QImage patternImage(const QSize &size, unsigned seed)
{
    QImage image(size, QImage::Format_RGB888);
    quint32 state = seed * 2654435761u + 7;
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            line[3 * x] = uchar(x * 3 + y);
            line[3 * x + 1] = uchar(y * 5 + ((x ^ y) & 1) * 96);
            line[3 * x + 2] = uchar((x * 255) / size.width() + int(state % 32));
        }
    }
    return image;
}

QString sourceSuffix(SourceKind kind)
{
    switch (kind) {
    case SourceKind::PngAlpha:
    case SourceKind::PngOpaque:
    case SourceKind::PngGray:
        return QStringLiteral("png");
    case SourceKind::Bmp:
        return QStringLiteral("bmp");
    default:
        return QStringLiteral("jpg");
    }
}

bool writeSource(const QString &path, SourceKind kind, const QSize &size, unsigned seed,
                 int orientation)
{
    const QImage rgb = patternImage(size, seed);
    switch (kind) {
    case SourceKind::PngAlpha: {
        QImage argb = rgb.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(argb.scanLine(y));
            for (int x = 0; x < argb.width(); ++x)
                line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), (x + 2 * y) & 0xFF);
        }
        return argb.save(path, "PNG");
    }
    case SourceKind::PngOpaque:
        return rgb.save(path, "PNG");
    case SourceKind::PngGray:
        return rgb.convertToFormat(QImage::Format_Grayscale8).save(path, "PNG");
    case SourceKind::Bmp:
        return rgb.save(path, "BMP");
    default: {
        JpegLayout layout = layoutOf(kind);
        layout.exifOrientation = kind == SourceKind::JpegExif ? orientation : 0;
        return writeJpeg(path, rgb, layout);
    }
    }
}

QList<SourceCase> allSourceCases()
{
    const QList<QPair<QString, SourceKind>> kinds = {
        { "baseline 4:4:4", SourceKind::Jpeg444 },
        { "baseline 4:2:2", SourceKind::Jpeg422 },
        { "baseline 4:2:0", SourceKind::Jpeg420 },
        { "baseline 4:4:0", SourceKind::Jpeg440 },
        { "baseline 4:1:1", SourceKind::Jpeg411 },
        { "restart markers", SourceKind::JpegRestarts },
        { "progressive 4:2:0", SourceKind::JpegProgressive },
        { "progressive 4:4:4", SourceKind::JpegProgressive444 },
        { "grayscale JPEG", SourceKind::JpegGray },
        { "RGB JPEG", SourceKind::JpegRgb },
        { "CMYK JPEG", SourceKind::JpegCmyk },
        { "PNG with alpha", SourceKind::PngAlpha },
        { "PNG opaque", SourceKind::PngOpaque },
        { "PNG grayscale", SourceKind::PngGray },
        { "BMP", SourceKind::Bmp },
    };
    // Smaller than the rendition (every source row used, some twice) and larger (rows
    // and columns left out), at sizes that are no multiple of a block.
    const QList<QSize> sizes = { QSize(331, 187), QSize(1931, 1087) };
    QList<SourceCase> cases;
    for (const auto &kind : kinds) {
        for (const QSize &size : sizes) {
            cases.append({ QStringLiteral("%1 %2x%3").arg(kind.first).arg(size.width()).arg(size.height()),
                           kind.second, size });
        }
    }
    // Tall and wide sources leave whole rows of blocks, or most columns, unsampled; the
    // exact rendition size and a single pixel are the edge cases of the sampling.
    cases.append({ "baseline 4:2:0 tall 643x4001", SourceKind::Jpeg420, QSize(643, 4001) });
    cases.append({ "baseline 4:4:4 tall 643x4001", SourceKind::Jpeg444, QSize(643, 4001) });
    cases.append({ "progressive 4:2:0 tall 643x4001", SourceKind::JpegProgressive, QSize(643, 4001) });
    cases.append({ "grayscale tall 643x4001", SourceKind::JpegGray, QSize(643, 4001) });
    cases.append({ "baseline 4:2:2 wide 7001x503", SourceKind::Jpeg422, QSize(7001, 503) });
    cases.append({ "baseline 4:2:0 1920x1080", SourceKind::Jpeg420, QSize(1920, 1080) });
    cases.append({ "baseline 4:4:4 1921x1081", SourceKind::Jpeg444, QSize(1921, 1081) });
    cases.append({ "baseline 4:2:0 1x1", SourceKind::Jpeg420, QSize(1, 1) });
    // The toolkit's column choice for pictures a few pixels tall differs from what
    // its one-pixel strips show.
    for (int side = 1; side <= 5; ++side) {
        cases.append({ QStringLiteral("baseline 4:2:0 1001x%1").arg(side), SourceKind::Jpeg420, QSize(1001, side) });
        cases.append({ QStringLiteral("baseline 4:2:0 %1x1001").arg(side), SourceKind::Jpeg420, QSize(side, 1001) });
    }
    // Each EXIF orientation, on a picture smaller and one larger than the rendition.
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (const QSize &size : { QSize(331, 187), QSize(2011, 1201) })
            cases.append({ QStringLiteral("EXIF orientation %1 %2x%3").arg(orientation).arg(size.width()).arg(size.height()),
                           SourceKind::JpegExif, size, orientation });
    }
    return cases;
}
