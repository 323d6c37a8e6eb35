#include "riffwriter.h"

#include "recording/fileerror.h"

#include <QFile>
#include <QFileDevice>
#include <QtEndian>

#include <cerrno>

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
    m_position = 0;
    m_errorString.clear();
    if (!m_file.open(QFile::decodeName(path), true)) {
        m_errorString = m_file.errorString();
        return -1;
    }
    return 0;
}

void RiffWriter::fail(const QString &message)
{
    if (!m_failed)
        m_errorString = message;
    m_failed = true;
}

int RiffWriter::beginChunk(const char id[4])
{
    if (!m_file.isOpen() || m_depth + 1 >= kMaxDepth)
        return -1;
    if (write(id, kIdBytes) != 0 || writeUint32(0) != 0)
        return -1;
    m_starts[++m_depth] = m_position;
    return 0;
}

int RiffWriter::write(const void *data, int length)
{
    QFileDevice *file = m_file.device();
    if (!file || length < 0)
        return -1;
    // Past the 32-bit size limit the file could not describe itself: fail
    // rather than write a header with wrapped sizes.
    if (length > 0 && m_position + length > kMaxFileBytes) {
        fail(QStringLiteral("the WAV file would exceed 4 GiB"));
        return -1;
    }
    errno = 0;
    if (length > 0 && file->write(static_cast<const char *>(data), length) != length) {
        fail(fileErrorText(*file, errno));
        return -1;
    }
    m_position += length;
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
    QFileDevice *file = m_file.device();
    if (!file || m_depth < 0)
        return -1;
    const qint64 start = m_starts[m_depth--];
    const qint64 size = m_position - start;
    // Chunks are word-aligned: a pad byte follows an odd size, which is
    // stored as it is.
    if (size % 2 != 0 && write("", 1) != 0)
        return -1;
    // A device that cannot seek (/dev/null, a terminal) keeps the
    // placeholder sizes.
    if (file->isSequential())
        return 0;
    const qint64 resume = m_position;
    errno = 0;
    if (!file->seek(start - kSizeBytes) || writeUint32(quint32(size)) != 0 || !file->seek(resume)) {
        fail(fileErrorText(*file, errno));
        return -1;
    }
    m_position = resume;
    return 0;
}

void RiffWriter::discard()
{
    m_file.discard();
    m_depth = -1;
}

int RiffWriter::close()
{
    if (!m_file.isOpen())
        return 0;
    int result = 0;
    while (m_depth >= 0) {
        if (endChunk() != 0)
            result = -1;
    }
    if (m_failed || result != 0) {
        m_file.discard();
        return -1;
    }
    if (!m_file.commit()) {
        fail(m_file.errorString());
        return -1;
    }
    return 0;
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
