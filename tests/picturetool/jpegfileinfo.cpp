#include "jpegfileinfo.h"

#include <QFile>

#include <cstdio>

#include <jpeglib.h>

namespace {

// Position in natural order of the k-th coefficient in zigzag (file) order.
const int kZigzagToNatural[64] = {
     0,  1,  8, 16,  9,  2,  3, 10,
    17, 24, 32, 25, 18, 11,  4,  5,
    12, 19, 26, 33, 40, 48, 41, 34,
    27, 20, 13,  6,  7, 14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46,
    53, 60, 61, 54, 47, 55, 62, 63,
};

int byteAt(const QByteArray &data, int pos)
{
    return static_cast<unsigned char>(data.at(pos));
}

} // namespace

JpegFileInfo::JpegFileInfo(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        m_valid = parse(file.readAll());
}

bool JpegFileInfo::parse(const QByteArray &data)
{
    if (data.size() < 4 || byteAt(data, 0) != 0xFF || byteAt(data, 1) != 0xD8)
        return false;
    int pos = 2;
    while (pos + 4 <= data.size()) {
        if (byteAt(data, pos) != 0xFF)
            return false;
        const int marker = 0xFF00 | byteAt(data, pos + 1);
        const int length = (byteAt(data, pos + 2) << 8) | byteAt(data, pos + 3);
        const int body = pos + 4;
        const int end = pos + 2 + length;
        if (length < 2 || end > data.size())
            return false;

        if (marker == 0xFFDB) {
            for (int p = body; p < end;) {
                const int wide = byteAt(data, p) >> 4;
                const int table = byteAt(data, p) & 0x0F;
                ++p;
                QVector<int> values(64);
                for (int k = 0; k < 64; ++k) {
                    values[kZigzagToNatural[k]] =
                            wide ? (byteAt(data, p + 2 * k) << 8) | byteAt(data, p + 2 * k + 1)
                                 : byteAt(data, p + k);
                }
                p += wide ? 128 : 64;
                quantTables.insert(table, values);
            }
        } else if (marker == 0xFFC4) {
            for (int p = body; p + 17 <= end;) {
                const int key = (byteAt(data, p) >> 4) * 16 + (byteAt(data, p) & 0x0F);
                int symbols = 0;
                for (int i = 1; i <= 16; ++i)
                    symbols += byteAt(data, p + i);
                huffmanTables.insert(key, data.mid(p + 1, 16 + symbols));
                p += 17 + symbols;
            }
        } else if (marker >= 0xFFC0 && marker <= 0xFFCF && marker != 0xFFC4
                   && marker != 0xFFC8 && marker != 0xFFCC) {
            frameMarkers.append(marker);
            precision = byteAt(data, body);
            height = (byteAt(data, body + 1) << 8) | byteAt(data, body + 2);
            width = (byteAt(data, body + 3) << 8) | byteAt(data, body + 4);
            const int count = byteAt(data, body + 5);
            for (int c = 0; c < count; ++c) {
                const int at = body + 6 + 3 * c;
                Component component;
                component.id = byteAt(data, at);
                component.hSampling = byteAt(data, at + 1) >> 4;
                component.vSampling = byteAt(data, at + 1) & 0x0F;
                component.quantTable = byteAt(data, at + 2);
                components.append(component);
            }
        } else if (marker == 0xFFDA) {
            return true;
        }
        pos = end;
    }
    return false;
}

// What read finds in libjpeg's parameters for a 3-component RGB image at this quality
// with baseline forced.
template<typename Read>
auto fromDefaults(int quality, Read read)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    const auto found = read(cinfo);
    jpeg_destroy_compress(&cinfo);
    return found;
}

QMap<int, QVector<int>> libjpegQuantTables(int quality)
{
    return fromDefaults(quality, [](const jpeg_compress_struct &cinfo) {
        QMap<int, QVector<int>> tables;
        for (int t = 0; t < 2; ++t) {
            QVector<int> values(64);
            for (int i = 0; i < 64; ++i)
                values[i] = cinfo.quant_tbl_ptrs[t]->quantval[i];
            tables.insert(t, values);
        }
        return tables;
    });
}

QMap<int, QByteArray> standardHuffmanTables()
{
    return fromDefaults(85, [](const jpeg_compress_struct &cinfo) {
        QMap<int, QByteArray> tables;
        for (int n = 0; n < 2; ++n) {
            for (int ac = 0; ac < 2; ++ac) {
                const JHUFF_TBL *table = ac ? cinfo.ac_huff_tbl_ptrs[n] : cinfo.dc_huff_tbl_ptrs[n];
                QByteArray bytes(reinterpret_cast<const char *>(table->bits + 1), 16);
                int symbols = 0;
                for (int i = 1; i <= 16; ++i)
                    symbols += table->bits[i];
                bytes.append(reinterpret_cast<const char *>(table->huffval), symbols);
                tables.insert(ac * 16 + n, bytes);
            }
        }
        return tables;
    });
}
