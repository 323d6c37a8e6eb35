#pragma once

#include <QList>
#include <QtGlobal>

#include <cstdio>
#include <vector>

// One record of a per-stream index file: a plain array of 20-byte
// little-endian records, one per data frame of the stream, in file order.
struct IndexRecord
{
    quint64 offset = ~quint64(0);  // raw-file byte offset of the frame's first byte after its marker
    quint32 length = 0xFFFFFFFFu;  // logical bytes from the type byte to the frame's end (6 + payload)
    quint32 time = 0xFFFFFFFFu;    // ms after the recording's base date-time
    qint32 stream = -1;            // stream number; -1 only in the no-record value
    quint8 startLevel = 0;         // 0, or L+1: the frame begins an interval at level L (highest)
    quint8 endLevel = 0;           // 0, or L+1: the frame ends an interval at level L (highest)

    // The value search operations return when they read nothing.
    static IndexRecord none() { return IndexRecord(); }
};

namespace IndexFormat {

constexpr int kRecordSize = 20;  // bytes
constexpr int kOffsetField = 0;
constexpr int kLengthField = 4;
constexpr int kTimeField = 8;
constexpr int kStreamField = 12;
constexpr int kStartLevelField = 16;
constexpr int kEndLevelField = 17;
// The 4-byte offset field holds the low 32 bits of a frame's offset; the two
// bytes after the level bytes hold bits 32..47, so recordings beyond 4 GiB
// index correctly and files below 4 GiB keep zeros there.
constexpr int kOffsetHighField = 18;
constexpr int kOffsetLowBits = 32;
// Largest raw-file offset a record can hold (256 TiB - 1).
constexpr quint64 kMaxOffset = (quint64(1) << 48) - 1;

// "No time": readers report it when they are not on a record.
constexpr double kNoTime = 4294967295.0;
constexpr quint32 kNoTimeStamp = 0xFFFFFFFFu;

} // namespace IndexFormat

// The ten activity-level gap thresholds both programs mark: 250 x 4^k ms, k = 0..9.
QList<int> defaultActivityThresholds();

// Record I/O at the file's current position; false when a whole record
// could not be read or written.
bool readRecord(FILE *index, IndexRecord *record);
bool writeRecord(FILE *index, const IndexRecord &record);
// Reads the record at byte offset `offset` (a multiple of 20).
bool readRecordAt(FILE *index, qint64 offset, IndexRecord *record);

// Binary search for the last record whose time is not greater than t (the
// first record when t precedes it). Reads it into *record (the no-record
// value for an empty index), leaves the file right after it and returns its
// byte offset.
qint64 findRecordByTime(FILE *index, double t, IndexRecord *record);

// Checks that the record points at a data frame of its stream in the raw
// file; leaves the raw file at the frame's first payload byte.
bool validateRecord(FILE *raw, const IndexRecord &record);

// From the record containing byte `offset`, walks towards the file's start
// (Backward) or end (Forward) and returns the offset of the first record with
// startLevel >= a or endLevel >= b. When none is found, Backward returns -20
// and Forward the offset where reading stopped; *record then holds the last
// record read (unchanged if none could be read).
qint64 findLevelBackward(FILE *index, int a, int b, qint64 offset, IndexRecord *record);
qint64 findLevelForward(FILE *index, int a, int b, qint64 offset, IndexRecord *record);

// Marks the interval boundaries of level `level` (gap threshold in ms) in an
// index file opened for update. Levels must be marked in ascending order.
void markLevel(FILE *index, int level, quint32 thresholdMs);
// Marks levels 0..n-1 with the ascending thresholds (ms), with the bytes
// markLevel for each in turn gives, in one pass over the file a slice at a
// time: a caller on the GUI thread calls step() once per timer tick. The
// file must stay open and untouched by others until step() returns true.
// Memory: one slice (kRecordsPerSlice records). Not thread-safe.
class LevelMarking
{
public:
    // 65,536 records (1.25 MiB): about 1 ms of work, 6 ms at most, per slice.
    static constexpr int kRecordsPerSlice = 65536;

    LevelMarking(FILE *index, const QList<int> &thresholds);

    // Marks the next slice; true when the file is done (or failed).
    bool step();
    bool isDone() const { return m_done; }
    // True when the file could not be read or written; it is then partly marked.
    bool failed() const { return m_failed; }

private:
    bool finish(bool ok);

    FILE *m_index;
    std::vector<quint32> m_thresholds;
    quint32 m_smallestThreshold = ~quint32(0);
    std::vector<unsigned char> m_bytes; // the record carried over, then the slice
    qint64 m_position = 0;              // file offset of m_bytes' first byte
    qint64 m_end;                       // bytes of whole records in the file
    bool m_done;
    bool m_failed = false;
};

// All levels at once: LevelMarking stepped to its end.
void markLevels(FILE *index, const QList<int> &thresholds);
