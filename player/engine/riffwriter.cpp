#include "riffwriter.h"

#include <QtEndian>

namespace {
constexpr int kIdBytes = 4;
constexpr int kSizeBytes = 4;
// Chunk sizes are 32-bit: the whole file can hold at most this many bytes
// (the outermost chunk's size excludes its 8-byte header).
constexpr qint64 kMaxFileBytes = qint64(0xFFFFFFFFu) + kIdBytes + kSizeBytes - 1;
} // namespace

RiffWriter::~RiffWriter()
{
    close();
}

int RiffWriter::open(const QByteArray &path)
{
    close();
    m_depth = -1;
    m_failed = false;
    m_file = fopen(path.constData(), "wb");
    return m_file ? 0 : -1;
}

int RiffWriter::beginChunk(const char id[4])
{
    if (!m_file || m_depth + 1 >= kMaxDepth)
        return -1;
    if (write(id, kIdBytes) != 0 || writeUint32(0) != 0)
        return -1;
    m_starts[++m_depth] = ftello(m_file);
    return 0;
}

int RiffWriter::write(const void *data, int length)
{
    if (!m_file || length < 0)
        return -1;
    // Past the 32-bit size limit the file could not describe itself: fail
    // rather than write a header with wrapped sizes.
    if (length > 0 && ftello(m_file) + length > kMaxFileBytes) {
        m_failed = true;
        return -1;
    }
    if (length > 0 && fwrite(data, 1, size_t(length), m_file) != size_t(length)) {
        m_failed = true;
        return -1;
    }
    return 0;
}

int RiffWriter::writeFormat(int format, int channels, int rate, int bits)
{
    const int blockAlign = channels * (bits / 8);
    const bool ok = writeUint16(quint16(format)) == 0 && writeUint16(quint16(channels)) == 0
        && writeUint32(quint32(rate)) == 0 && writeUint32(quint32(rate * blockAlign)) == 0
        && writeUint16(quint16(blockAlign)) == 0 && writeUint16(quint16(bits)) == 0;
    return ok ? 0 : -1;
}

int RiffWriter::endChunk()
{
    if (!m_file || m_depth < 0)
        return -1;
    const qint64 start = m_starts[m_depth--];
    const qint64 size = ftello(m_file) - start;
    // Chunks are word-aligned: a pad byte follows an odd size, which is
    // stored as it is.
    if (size % 2 != 0 && write("", 1) != 0)
        return -1;
    if (fseeko(m_file, start - kSizeBytes, SEEK_SET) != 0 || writeUint32(quint32(size)) != 0
        || fseeko(m_file, 0, SEEK_END) != 0) {
        m_failed = true;
        return -1;
    }
    return 0;
}

int RiffWriter::close()
{
    if (!m_file)
        return 0;
    int result = 0;
    while (m_depth >= 0) {
        if (endChunk() != 0)
            result = -1;
    }
    if (fclose(m_file) != 0 || m_failed)
        result = -1;
    m_file = nullptr;
    return result;
}

int RiffWriter::writeUint32(quint32 value)
{
    unsigned char bytes[4];
    qToLittleEndian(value, bytes);
    return write(bytes, sizeof bytes);
}

int RiffWriter::writeUint16(quint16 value)
{
    unsigned char bytes[2];
    qToLittleEndian(value, bytes);
    return write(bytes, sizeof bytes);
}
