#include "hostilefiles.h"

#include <QFile>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

bool saveBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Compresses a smooth gradient through libjpeg with the given scan script (none: the
// library's simple progression). Only ever called with valid parameters, so the
// standard error handler (which ends the process) never fires.
QByteArray progressiveJpeg(const QSize &size, bool cmyk, const std::vector<jpeg_scan_info> &script)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&cinfo, &buffer, &length);
    cinfo.image_width = JDIMENSION(size.width());
    cinfo.image_height = JDIMENSION(size.height());
    cinfo.input_components = cmyk ? 4 : 3;
    cinfo.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (script.empty()) {
        jpeg_simple_progression(&cinfo);
    } else {
        cinfo.scan_info = script.data();
        cinfo.num_scans = int(script.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(std::size_t(size.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < size.width(); ++x) {
            for (int c = 0; c < cinfo.input_components; ++c)
                row[std::size_t(x * cinfo.input_components + c)] = JSAMPLE((x * 3 + y * 5 + c * 60) & 0xFF);
        }
        JSAMPROW rows[] = { row.data() };
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char *>(buffer), int(length));
    std::free(buffer);
    return bytes;
}

void put16(QByteArray &out, int value)
{
    out.append(char((value >> 8) & 0xFF));
    out.append(char(value & 0xFF));
}

void put32(QByteArray &out, quint32 value)
{
    put16(out, int(value >> 16));
    put16(out, int(value & 0xFFFF));
}

void putEntry(QByteArray &out, int tag, int type, quint32 count, quint32 value)
{
    put16(out, tag);
    put16(out, type);
    put32(out, count);
    if (type == 3) {   // SHORT, left-aligned in the value field
        put16(out, int(value));
        put16(out, 0);
    } else {
        put32(out, value);
    }
}

void claimSize(QByteArray &data, const QSize &declaredSize)
{
    for (int pos = 2; pos + 9 < data.size();) {
        const int marker = static_cast<unsigned char>(data[pos + 1]);
        const int length = (static_cast<unsigned char>(data[pos + 2]) << 8) | static_cast<unsigned char>(data[pos + 3]);
        if (marker == 0xC2) {
            data[pos + 5] = char(declaredSize.height() >> 8);
            data[pos + 6] = char(declaredSize.height() & 0xFF);
            data[pos + 7] = char(declaredSize.width() >> 8);
            data[pos + 8] = char(declaredSize.width() & 0xFF);
            break;
        }
        pos += 2 + length;
    }
}

} // namespace

bool writeProgressiveBomb(const QString &path, const QSize &declaredSize, bool cmyk)
{
    QByteArray data = progressiveJpeg(QSize(16, 16), cmyk, {});
    claimSize(data, declaredSize);
    return saveBytes(path, data);
}

bool writeManyScanJpeg(const QString &path, const QSize &size, int bits, const QSize &declaredSize)
{
    std::vector<jpeg_scan_info> script;
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < 64; ++k) {
            for (int al = bits; al >= 0; --al) {
                jpeg_scan_info scan {};
                scan.comps_in_scan = 1;
                scan.component_index[0] = c;
                scan.Ss = k;
                scan.Se = k;
                scan.Ah = al == bits ? 0 : al + 1;
                scan.Al = al;
                script.push_back(scan);
            }
        }
    }
    QByteArray data = progressiveJpeg(size, false, script);
    if (declaredSize.isValid())
        claimSize(data, declaredSize);
    return saveBytes(path, data);
}

QByteArray withExifThumbnail(const QByteArray &jpeg, const QByteArray &thumbnail, int orientation)
{
    // Big-endian TIFF: header, IFD0 (orientation), IFD1 (where the thumbnail is).
    QByteArray tiff("MM\0\x2A", 4);
    put32(tiff, 8);
    const int ifd0Entries = orientation ? 1 : 0;
    const quint32 ifd1 = 8 + 2 + 12 * quint32(ifd0Entries) + 4;
    put16(tiff, ifd0Entries);
    if (orientation)
        putEntry(tiff, 0x0112, 3, 1, quint32(orientation));
    put32(tiff, thumbnail.isEmpty() ? 0 : ifd1);
    if (!thumbnail.isEmpty()) {
        const quint32 data = ifd1 + 2 + 2 * 12 + 4;
        put16(tiff, 2);
        putEntry(tiff, 0x0201, 4, 1, data);
        putEntry(tiff, 0x0202, 4, 1, quint32(thumbnail.size()));
        put32(tiff, 0);
        tiff.append(thumbnail);
    }
    QByteArray segment("\xFF\xE1", 2);
    put16(segment, 2 + 6 + tiff.size());
    segment.append(QByteArray("Exif\0\0", 6));
    segment.append(tiff);
    return jpeg.left(2) + segment + jpeg.mid(2);
}
