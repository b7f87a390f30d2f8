#ifndef JPEGFILEINFO_H
#define JPEGFILEINFO_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

// What a JPEG file's headers say, read marker by marker up to the first scan.
class JpegFileInfo
{
public:
    struct Component
    {
        int id = 0;
        int hSampling = 0;
        int vSampling = 0;
        int quantTable = 0;
    };

    explicit JpegFileInfo(const QString &path);

    bool isValid() const { return m_valid; }
    // Frame markers seen, e.g. 0xFFC0 for baseline, 0xFFC2 for progressive.
    QVector<int> frameMarkers;
    int precision = 0;
    int width = 0;
    int height = 0;
    QVector<Component> components;
    // Quantisation tables by table number, in natural (row-major) order.
    QMap<int, QVector<int>> quantTables;
    // Huffman tables by class (0 DC, 1 AC) * 16 + number: the 16 code counts, then the
    // symbols.
    QMap<int, QByteArray> huffmanTables;

private:
    bool parse(const QByteArray &data);
    bool m_valid = false;
};

// The quantisation tables libjpeg makes for a 3-component RGB image at this quality
// with baseline forced: table 0 (luma) and 1 (chroma), natural order.
QMap<int, QVector<int>> libjpegQuantTables(int quality);

// The standard Huffman tables that libjpeg writes unless told to optimise them, keyed
// as huffmanTables.
QMap<int, QByteArray> standardHuffmanTables();

#endif // JPEGFILEINFO_H
