// Reads the orientation tag of an Exif block, trusting none of its offsets.

#include "imaging/imagefile_p.h"

#include <cstring>

namespace velloran::imagefile_detail {

namespace {

constexpr quint16 kOrientationTag = 0x0112;
constexpr quint16 kTypeShort = 3;
constexpr quint16 kTypeLong = 4;
constexpr qsizetype kTiffHeaderBytes = 8;
constexpr qsizetype kIfdEntryBytes = 12;

// A TIFF structure in one byte order. Every read is checked by the caller
// against size() first, so the accessors themselves stay plain.
class TiffReader
{
public:
    TiffReader(const uchar *data, qsizetype size, bool bigEndian)
        : m_data(data), m_size(size), m_bigEndian(bigEndian)
    {
    }

    qsizetype size() const { return m_size; }

    quint32 u16(qsizetype at) const
    {
        const quint32 a = m_data[at];
        const quint32 b = m_data[at + 1];
        return m_bigEndian ? (a << 8 | b) : (b << 8 | a);
    }

    quint32 u32(qsizetype at) const
    {
        const quint32 a = u16(at);
        const quint32 b = u16(at + 2);
        return m_bigEndian ? (a << 16 | b) : (b << 16 | a);
    }

private:
    const uchar *m_data;
    qsizetype m_size;
    bool m_bigEndian;
};

} // namespace

int exifOrientation(const uchar *segment, qsizetype size)
{
    static constexpr char kExifId[6] = {'E', 'x', 'i', 'f', '\0', '\0'};
    constexpr qsizetype kIdBytes = sizeof kExifId;
    if (segment == nullptr || size < kIdBytes + kTiffHeaderBytes
        || std::memcmp(segment, kExifId, kIdBytes) != 0)
        return 1;

    // Offsets inside the block count from the start of its TIFF header.
    const uchar *tiff = segment + kIdBytes;
    bool bigEndian = false;
    if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else if (!(tiff[0] == 'I' && tiff[1] == 'I'))
        return 1;
    const TiffReader reader(tiff, size - kIdBytes, bigEndian);
    if (reader.u16(2) != 42)
        return 1;

    // IFD0 must lie wholly inside the block: its entry count, then 12 bytes
    // an entry. A count that runs past the end marks the block as malformed.
    const qint64 ifd = reader.u32(4);
    if (ifd < kTiffHeaderBytes || ifd > reader.size() - 2)
        return 1;
    const qint64 count = reader.u16(ifd);
    if (count * kIfdEntryBytes > reader.size() - ifd - 2)
        return 1;

    for (qint64 i = 0; i < count; ++i) {
        const qsizetype entry = ifd + 2 + i * kIfdEntryBytes;
        if (reader.u16(entry) != kOrientationTag)
            continue;
        const quint32 type = reader.u16(entry + 2);
        if (reader.u32(entry + 4) != 1)
            return 1;
        quint32 value = 0;
        if (type == kTypeShort)
            value = reader.u16(entry + 8);
        else if (type == kTypeLong)
            value = reader.u32(entry + 8);
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

} // namespace velloran::imagefile_detail
