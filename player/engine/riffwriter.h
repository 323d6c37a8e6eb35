#pragma once

#include "recording/outputfile.h"

#include <QString>
#include <QtGlobal>

// Writes RIFF files (WAV) with nested chunks: beginChunk() writes an id and
// a size placeholder, endChunk() fills the size in. All numbers are
// little-endian. Owned and used by one thread (the export thread, under its
// lock). Not copyable. A regular file is written beside its final name and
// takes its place when close() succeeds (see OutputFile). Pipes are refused,
// as the sizes are filled in by seeking back; devices that cannot seek
// (/dev/null) keep zero sizes.
class RiffWriter
{
public:
    static constexpr int kMaxDepth = 8; // chunks open at once

    RiffWriter() = default;
    ~RiffWriter();
    RiffWriter(const RiffWriter &) = delete;
    RiffWriter &operator=(const RiffWriter &) = delete;

    // Closes an open file first, then opens path (local 8-bit file name)
    // for binary writing: 0, or -1 when it cannot be created.
    int open(const QByteArray &path);
    bool isOpen() const { return m_file.isOpen(); }
    // Writes the 4 id bytes and a 32-bit zero size: 0; -1 when kMaxDepth
    // chunks are already open or no file is open or the write failed.
    int beginChunk(const char id[4]);
    // Writes length bytes: 0, or -1 without a file or on a failed write.
    int write(const void *data, int length);
    // The "fmt " body: format and channels (16-bit), rate and bytes per
    // second (32-bit), block align = channels x bits / 8 and bits (16-bit).
    int writeFormat(int format, int channels, int rate, int bits);
    // Stores the size of the innermost open chunk (a pad byte follows an
    // odd size, which stays odd): 0; -1 when no chunk is open.
    int endChunk();
    // Ends every open chunk and closes the file: 0, or -1 when a size
    // could not be stored or the file could not be flushed (a regular
    // file is then left as it was before open()).
    int close();
    // Drops what was written: a regular file is left as it was before
    // open() (a device keeps what it received).
    void discard();
    // Why the last open(), write or close() failed: the system's text
    // (e.g. "No space left on device"); empty when nothing failed.
    QString errorString() const { return m_errorString; }

private:
    int writeUint32(quint32 value);
    int writeUint16(quint16 value);
    void fail(const QString &message);

    qint64 m_starts[kMaxDepth] = {}; // byte position after each open chunk's header
    int m_depth = -1;                // index of the innermost open chunk, -1 when none
    OutputFile m_file;
    qint64 m_position = 0;           // bytes from the file's start to the write position
    bool m_failed = false;           // a write or seek failed since open()
    QString m_errorString;
};
