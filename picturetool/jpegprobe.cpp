#include "jpegprobe.h"

#include <QVector>

#include <algorithm>
#include <cstring>

namespace {

// Buffered bytes of a device, with a fast search for the next 0xFF of compressed data.
class ByteReader
{
public:
    explicit ByteReader(QIODevice &device)
        : m_device(device)
    {
    }

    // The next byte, or -1 at the end.
    int next()
    {
        if (m_pos == m_end && !refill())
            return -1;
        return static_cast<unsigned char>(m_buffer[m_pos++]);
    }

    bool read(uchar *out, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int byte = next();
            if (byte < 0)
                return false;
            out[i] = uchar(byte);
        }
        return true;
    }

    bool skip(qint64 count)
    {
        const qint64 buffered = std::min<qint64>(count, m_end - m_pos);
        m_pos += int(buffered);
        count -= buffered;
        if (count == 0)
            return true;
        if (!m_device.isSequential())
            return m_device.seek(m_device.pos() + count) && m_device.pos() <= m_device.size();
        while (count > 0) {
            if (!refill())
                return false;
            const qint64 step = std::min<qint64>(count, m_end);
            m_pos = int(step);
            count -= step;
        }
        return true;
    }

    // Moves to the next 0xFF; false at the end.
    bool findFF()
    {
        for (;;) {
            const void *hit = std::memchr(m_buffer + m_pos, 0xFF, std::size_t(m_end - m_pos));
            if (hit) {
                m_pos = int(static_cast<const char *>(hit) - m_buffer);
                return true;
            }
            if (!refill())
                return false;
        }
    }

private:
    bool refill()
    {
        const qint64 got = m_device.read(m_buffer, sizeof m_buffer);
        m_pos = 0;
        m_end = got > 0 ? int(got) : 0;
        return m_end > 0;
    }

    QIODevice &m_device;
    char m_buffer[65536];
    int m_pos = 0;
    int m_end = 0;
};

bool isFrameMarker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

struct Component
{
    int h = 1;
    int v = 1;
};

qint64 coefficientBytes(const QSize &size, const QVector<Component> &components)
{
    int hMax = 1;
    int vMax = 1;
    for (const Component &c : components) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    qint64 bytes = 0;
    for (const Component &c : components) {
        const qint64 across = (qint64(size.width()) * c.h + 8 * hMax - 1) / (8 * hMax);
        const qint64 down = (qint64(size.height()) * c.v + 8 * vMax - 1) / (8 * vMax);
        const qint64 roundedAcross = (across + c.h - 1) / c.h * c.h;
        const qint64 roundedDown = (down + c.v - 1) / c.v * c.v;
        bytes += roundedAcross * roundedDown * 64 * 2;
    }
    return bytes;
}

} // namespace

JpegProbe probeJpeg(QIODevice &device)
{
    JpegProbe probe;
    ByteReader in(device);
    if (in.next() != 0xFF || in.next() != 0xD8)
        return probe;
    QVector<Component> components;
    int firstScanComponents = 0;
    for (;;) {
        if (!in.findFF())
            break;
        int marker = 0;
        do
            marker = in.next();
        while (marker == 0xFF);
        // A stuffed zero or a restart marker belongs to the compressed data.
        if (marker < 0 || marker == 0xD9)
            break;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;
        uchar head[2];
        if (!in.read(head, 2))
            break;
        const int length = (head[0] << 8) | head[1];
        if (length < 2)
            break;
        int body = length - 2;
        if (isFrameMarker(marker) && !probe.frameFound && body >= 6) {
            uchar frame[6];
            if (!in.read(frame, 6))
                break;
            body -= 6;
            probe.frameFound = true;
            probe.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            probe.size = QSize((frame[3] << 8) | frame[4], (frame[1] << 8) | frame[2]);
            probe.components = frame[5];
            for (int c = 0; c < probe.components && body >= 3; ++c, body -= 3) {
                uchar spec[3];
                if (!in.read(spec, 3))
                    return probe;
                components.append({ std::max(1, spec[1] >> 4), std::max(1, spec[1] & 0x0F) });
            }
        } else if (marker == 0xDA && body >= 1) {
            uchar count;
            if (!in.read(&count, 1))
                break;
            body -= 1;
            if (probe.scans++ == 0)
                firstScanComponents = count;
            // A sequential file whose first scan holds every component is decoded
            // from that scan alone, as it streams; a later scan would only be an
            // error. The rest of the file is not worth reading.
            if (probe.scans == 1 && !probe.progressive && count >= probe.components)
                break;
        }
        if (!in.skip(body))
            break;
    }
    probe.holdsCoefficients = probe.frameFound && probe.scans > 0
            && (probe.progressive || firstScanComponents < probe.components);
    if (probe.holdsCoefficients && probe.size.isValid())
        probe.coefficientBytes = coefficientBytes(probe.size, components);
    return probe;
}
