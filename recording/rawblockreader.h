#pragma once

#include "recording/rawstream.h"

#include <QtGlobal>

#include <cstdio>
#include <memory>

// Reads a raw recording once from front to back through a block buffer of
// its own, with the same logical results as the readByte family, and skips
// the content of frames with a vector scan for the marker and escape bytes
// instead of byte by byte. Used by the indexer, whose time is mostly spent
// skipping payloads. Owned and used by one thread; the FILE is the caller's.
class RawBlockReader
{
public:
    static constexpr size_t kDefaultBlockBytes = 1 << 20;

    explicit RawBlockReader(size_t blockBytes = kDefaultBlockBytes);

    // Reads from the file's current position on; null detaches. Open the
    // file unbuffered (setvbuf _IONBF) so that whole blocks go straight
    // into this reader's buffer.
    void attach(FILE *file);
    // Stored offset of the next byte to be read, from the file's start.
    qint64 position() const { return m_blockStart + qint64(m_pos); }

    // As readByte(FILE *).
    int readByte()
    {
        if (m_pos == m_end && !refill())
            return RawFormat::kEndOfFile;
        const int c = m_buffer[m_pos++];
        if (c == RawFormat::kEscape) {
            if (m_pos == m_end && !refill())
                return RawFormat::kEndOfFile;
            return m_buffer[m_pos++] ^ RawFormat::kEscapeMask;
        }
        return c == RawFormat::kMarker ? RawFormat::kFrameMarker : c;
    }
    // As readBytes(FILE *, ...) and readString(FILE *, ...).
    int readBytes(unsigned char *buffer, int maximum, int *count);
    int readString(unsigned char *buffer, int maximum, int *count);
    // Reads logical bytes up to the next marker (consumed) or the end,
    // adding their number to *count; returns kFrameMarker or kEndOfFile.
    int skipFrame(quint64 *count);

private:
    bool refill();

    size_t m_blockBytes;
    std::unique_ptr<unsigned char[]> m_buffer; // allocated on the first attach
    FILE *m_file = nullptr;
    size_t m_pos = 0;        // next byte in the buffer
    size_t m_end = 0;        // bytes held in the buffer
    qint64 m_blockStart = 0; // file offset of the buffer's first byte
};
