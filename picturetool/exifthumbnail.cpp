#include "exifthumbnail.h"

namespace {

// Reads of a TIFF block in its own byte order, each checked against the block's end.
class TiffBlock
{
public:
    explicit TiffBlock(const QByteArray &bytes)
        : m_bytes(bytes),
          m_bigEndian(bytes.startsWith("MM"))
    {
    }

    bool valid() const
    {
        return (m_bytes.startsWith("MM") || m_bytes.startsWith("II")) && m_bytes.size() >= 8 && u16(2) == 42;
    }

    quint32 u16(quint32 at) const
    {
        if (at + 2 > quint32(m_bytes.size()))
            return 0;
        const quint32 a = uchar(m_bytes[int(at)]);
        const quint32 b = uchar(m_bytes[int(at + 1)]);
        return m_bigEndian ? (a << 8) | b : (b << 8) | a;
    }

    quint32 u32(quint32 at) const
    {
        if (at + 4 > quint32(m_bytes.size()))
            return 0;
        const quint32 high = m_bigEndian ? u16(at) : u16(at + 2);
        const quint32 low = m_bigEndian ? u16(at + 2) : u16(at);
        return (high << 16) | low;
    }

    int size() const { return m_bytes.size(); }
    QByteArray mid(quint32 at, quint32 length) const { return m_bytes.mid(int(at), int(length)); }

private:
    const QByteArray &m_bytes;
    bool m_bigEndian;
};

// The value of a 16- or 32-bit entry, in the entry's own type.
quint32 entryValue(const TiffBlock &tiff, quint32 entry)
{
    return tiff.u16(entry + 2) == 3 ? tiff.u16(entry + 8) : tiff.u32(entry + 8);
}

QByteArray thumbnailIn(const QByteArray &block)
{
    const TiffBlock tiff(block);
    if (!tiff.valid())
        return {};
    const quint32 ifd0 = tiff.u32(4);
    if (ifd0 < 8 || ifd0 + 2 > quint32(tiff.size()))
        return {};
    const quint32 ifd1 = tiff.u32(ifd0 + 2 + 12 * tiff.u16(ifd0));
    if (ifd1 < 8 || ifd1 == ifd0 || ifd1 + 2 > quint32(tiff.size()))
        return {};
    quint32 offset = 0;
    quint32 length = 0;
    const quint32 entries = tiff.u16(ifd1);
    for (quint32 i = 0; i < entries; ++i) {
        const quint32 entry = ifd1 + 2 + 12 * i;
        if (entry + 12 > quint32(tiff.size()))
            return {};
        const quint32 tag = tiff.u16(entry);
        if (tag == 0x0201)
            offset = entryValue(tiff, entry);
        else if (tag == 0x0202)
            length = entryValue(tiff, entry);
    }
    if (offset < 8 || length < 4 || offset > quint32(tiff.size()) || length > quint32(tiff.size()) - offset)
        return {};
    const QByteArray jpeg = tiff.mid(offset, length);
    return jpeg.startsWith("\xFF\xD8") ? jpeg : QByteArray();
}

} // namespace

QByteArray readExifThumbnail(QIODevice &device)
{
    if (!device.seek(0) || device.read(2) != QByteArray("\xFF\xD8", 2))
        return {};
    // The EXIF block comes before the frame, usually first or after a JFIF block.
    for (;;) {
        const QByteArray head = device.read(4);
        if (head.size() < 4 || uchar(head[0]) != 0xFF)
            return {};
        const int marker = uchar(head[1]);
        const int length = (uchar(head[2]) << 8) | uchar(head[3]);
        if (length < 2 || marker == 0xDA || (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC))
            return {};
        if (marker == 0xE1) {
            const QByteArray segment = device.read(length - 2);
            if (segment.size() == length - 2 && segment.startsWith(QByteArray("Exif\0\0", 6)))
                return thumbnailIn(segment.mid(6));
        } else if (!device.seek(device.pos() + length - 2)) {
            return {};
        }
    }
}
