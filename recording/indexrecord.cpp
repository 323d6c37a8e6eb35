#include "indexrecord.h"

#include "recording/rawstream.h"

#include <QtEndian>

#include <vector>

using namespace IndexFormat;

namespace {

void encode(const IndexRecord &r, unsigned char *b)
{
    qToLittleEndian<quint32>(quint32(r.offset), b + kOffsetField);
    qToLittleEndian<quint32>(r.length, b + kLengthField);
    qToLittleEndian<quint32>(r.time, b + kTimeField);
    qToLittleEndian<qint32>(r.stream, b + kStreamField);
    b[kStartLevelField] = r.startLevel;
    b[kEndLevelField] = r.endLevel;
    qToLittleEndian<quint16>(quint16(r.offset >> kOffsetLowBits), b + kOffsetHighField);
}

void decode(const unsigned char *b, IndexRecord *r)
{
    r->offset = qFromLittleEndian<quint32>(b + kOffsetField)
        | (quint64(qFromLittleEndian<quint16>(b + kOffsetHighField)) << kOffsetLowBits);
    r->length = qFromLittleEndian<quint32>(b + kLengthField);
    r->time = qFromLittleEndian<quint32>(b + kTimeField);
    r->stream = qFromLittleEndian<qint32>(b + kStreamField);
    r->startLevel = b[kStartLevelField];
    r->endLevel = b[kEndLevelField];
}

qint64 fileSize(FILE *file)
{
    if (fseeko(file, 0, SEEK_END) != 0)
        return 0;
    return qMax<qint64>(0, ftello(file));
}

bool matchesLevel(const IndexRecord &r, int a, int b)
{
    return r.startLevel >= a || r.endLevel >= b;
}

} // namespace

QList<int> defaultActivityThresholds()
{
    constexpr int kLevels = 10;
    constexpr int kFirstThreshold = 250; // ms; each level is 4 times the previous
    QList<int> thresholds;
    for (int k = 0; k < kLevels; ++k)
        thresholds.append(kFirstThreshold << (2 * k));
    return thresholds;
}

bool readRecord(FILE *index, IndexRecord *record)
{
    unsigned char buffer[kRecordSize];
    if (fread(buffer, kRecordSize, 1, index) != 1)
        return false;
    decode(buffer, record);
    return true;
}

bool writeRecord(FILE *index, const IndexRecord &record)
{
    unsigned char buffer[kRecordSize];
    encode(record, buffer);
    return fwrite(buffer, kRecordSize, 1, index) == 1;
}

bool readRecordAt(FILE *index, qint64 offset, IndexRecord *record)
{
    return fseeko(index, offset, SEEK_SET) == 0 && readRecord(index, record);
}

qint64 findRecordByTime(FILE *index, double t, IndexRecord *record)
{
    quint64 lo = 0;
    // A truncated trailing record is never a search candidate.
    quint64 hi = quint64(fileSize(index)) / kRecordSize * kRecordSize;
    IndexRecord probe;
    while (hi - lo > quint64(kRecordSize)) {
        const quint64 mid = (lo + hi) / 2 / kRecordSize * kRecordSize;
        if (!readRecordAt(index, qint64(mid), &probe))
            break;
        if (t < double(probe.time))
            hi = mid;
        else
            lo = mid;
    }
    if (!readRecordAt(index, qint64(lo), record))
        *record = IndexRecord::none();
    return qint64(lo);
}

bool validateRecord(FILE *raw, const IndexRecord &record)
{
    if (record.offset > kMaxOffset || fseeko(raw, off_t(record.offset), SEEK_SET) != 0)
        return false;
    unsigned char header[RawFormat::kDataHeaderSize];
    int count = 0;
    readBytes(raw, header, RawFormat::kDataHeaderSize, &count);
    return count == RawFormat::kDataHeaderSize && header[0] == RawFormat::kDataFrame
        && qint32(header[RawFormat::kDataStreamOffset]) == record.stream;
}

qint64 findLevelBackward(FILE *index, int a, int b, qint64 offset, IndexRecord *record)
{
    IndexRecord r;
    for (qint64 at = offset / kRecordSize * kRecordSize; at >= 0; at -= kRecordSize) {
        if (!readRecordAt(index, at, &r))
            return -kRecordSize;
        *record = r;
        if (matchesLevel(r, a, b))
            return at;
    }
    return -kRecordSize;
}

qint64 findLevelForward(FILE *index, int a, int b, qint64 offset, IndexRecord *record)
{
    qint64 at = qMax<qint64>(0, offset) / kRecordSize * kRecordSize;
    if (fseeko(index, at, SEEK_SET) != 0)
        return at;
    IndexRecord r;
    for (; readRecord(index, &r); at += kRecordSize) {
        *record = r;
        if (matchesLevel(r, a, b))
            return at;
    }
    return at;
}

void markLevel(FILE *index, int level, quint32 thresholdMs)
{
    const quint8 mark = quint8(level + 1);
    fflush(index);
    rewind(index);
    IndexRecord a;
    if (!readRecord(index, &a))
        return;
    a.startLevel = mark;
    rewind(index);
    writeRecord(index, a);
    fflush(index);

    IndexRecord b;
    for (;;) {
        // Above level 0 only the previous level's interval ends can break.
        while (level >= 1 && a.endLevel < level && readRecord(index, &b))
            a = b;
        if (!readRecord(index, &b)) {
            a.endLevel = mark;
            fseeko(index, -kRecordSize, SEEK_CUR);
            writeRecord(index, a);
            fflush(index);
            return;
        }
        if (quint32(b.time - a.time) > thresholdMs) {
            a.endLevel = mark;
            b.startLevel = mark;
            fseeko(index, -2 * kRecordSize, SEEK_CUR);
            writeRecord(index, a);
            writeRecord(index, b);
            fflush(index);
        }
        a = b;
    }
}

namespace {

// The records of an index file as stored: times and level bytes are read and
// written in place.
class RecordBytes
{
public:
    explicit RecordBytes(std::vector<unsigned char> &bytes) : m_bytes(bytes) {}

    size_t count() const { return m_bytes.size() / kRecordSize; }
    quint32 time(size_t i) const { return qFromLittleEndian<quint32>(at(i) + kTimeField); }
    quint8 endLevel(size_t i) const { return at(i)[kEndLevelField]; }
    void setStartLevel(size_t i, quint8 mark) { at(i)[kStartLevelField] = mark; }
    void setEndLevel(size_t i, quint8 mark) { at(i)[kEndLevelField] = mark; }

private:
    unsigned char *at(size_t i) const { return m_bytes.data() + i * kRecordSize; }

    std::vector<unsigned char> &m_bytes;
};

} // namespace

// markLevel run for each level in turn touches, at the pair of records
// (i, i+1), only i's end byte and i+1's start byte, and decides from i's end
// byte as the lower levels left it and from the pair's gap. So every level
// can be marked pair by pair in one pass, with the same bytes as a result.
LevelMarking::LevelMarking(FILE *index, const QList<int> &thresholds)
    : m_index(index)
    , m_end(fileSize(index) / kRecordSize * kRecordSize)
    , m_done(thresholds.isEmpty() || m_end == 0)
{
    for (int threshold : thresholds) {
        m_thresholds.push_back(quint32(threshold));
        m_smallestThreshold = qMin(m_smallestThreshold, quint32(threshold));
    }
}

bool LevelMarking::step()
{
    if (m_done)
        return true;
    const qint64 carried = qint64(m_bytes.size());
    const qint64 readFrom = m_position + carried;
    const qint64 take = qMin<qint64>(m_end - readFrom, qint64(kRecordsPerSlice) * kRecordSize);
    m_bytes.resize(size_t(carried + take));
    if (take > 0 && (fseeko(m_index, readFrom, SEEK_SET) != 0
                     || fread(m_bytes.data() + carried, size_t(take), 1, m_index) != 1))
        return finish(false);

    RecordBytes records(m_bytes);
    const size_t n = records.count();
    const quint8 top = quint8(m_thresholds.size());
    if (m_position == 0)
        records.setStartLevel(0, top);
    for (size_t i = 0; i + 1 < n; ++i) {
        const quint32 gap = records.time(i + 1) - records.time(i);
        if (gap <= m_smallestThreshold)
            continue; // no level breaks here: most pairs of a spurt
        for (size_t level = 0; level < m_thresholds.size(); ++level) {
            if ((level == 0 || records.endLevel(i) >= level) && gap > m_thresholds[level]) {
                records.setEndLevel(i, quint8(level + 1));
                records.setStartLevel(i + 1, quint8(level + 1));
            }
        }
    }
    const bool last = readFrom + take >= m_end;
    if (last)
        records.setEndLevel(n - 1, top);
    // The slice's last record is written with the next slice: its end byte
    // depends on the record after it.
    const qint64 writeBytes = last ? qint64(m_bytes.size()) : qint64(m_bytes.size()) - kRecordSize;
    if (fseeko(m_index, m_position, SEEK_SET) != 0
        || (writeBytes > 0 && fwrite(m_bytes.data(), size_t(writeBytes), 1, m_index) != 1))
        return finish(false);
    if (last)
        return finish(fflush(m_index) == 0);
    m_position += writeBytes;
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + writeBytes);
    return false;
}

bool LevelMarking::finish(bool ok)
{
    m_done = true;
    m_failed = !ok;
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    return true;
}

void markLevels(FILE *index, const QList<int> &thresholds)
{
    LevelMarking marking(index, thresholds);
    while (!marking.step()) {
    }
}
