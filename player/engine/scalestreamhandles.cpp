#include "scalestreamhandles.h"

#include "codecs/audiocodec.h"
#include "player/engine/framestreamhandles.h"
#include "recording/rawstream.h"

#include <QFile>
#include <QTextCodec>

#include <cmath>

using IndexFormat::kNoTime;
using IndexFormat::kRecordSize;

namespace {

// A level byte no record reaches: searches for one kind of boundary only.
constexpr int kNoLevel = 255;

} // namespace

ScaleStreamHandle2::ScaleStreamHandle2(const StreamDescriptor &descriptor, const QList<uint> &scaleSteps)
    : FileStreamHandle(descriptor)
    , m_scaleSteps(scaleSteps)
{
    const QString path = descriptor.value(QStringLiteral("INDEX_FILENAME"));
    if (!path.isEmpty())
        m_levelFile = fopen(QFile::encodeName(path).constData(), "rb");
}

ScaleStreamHandle2::~ScaleStreamHandle2()
{
    if (m_levelFile)
        fclose(m_levelFile);
}

int ScaleStreamHandle2::open()
{
    if (!filesOpen() || !m_levelFile || m_streamId < 0 || !usable()) {
        m_state = Closed;
        return 1;
    }
    resetDecoder();
    rewind(m_levelFile);
    m_record = IndexRecord::none();
    m_first = m_last = IndexRecord::none();
    m_onFrame = false;
    m_state = Open;
    return 0;
}

int ScaleStreamHandle2::next()
{
    m_onFrame = false;
    if (m_state == Closed)
        return 0;
    IndexRecord r;
    for (;;) {
        const qint64 at = ftello(m_levelFile);
        if (!readLevelRecord(&r)) {
            m_state = AtEnd;
            return 0;
        }
        if (r.startLevel >= m_level) {
            m_first = r;
            m_firstOffset = at;
            break;
        }
    }
    m_last = m_first;
    while (m_last.endLevel < m_level && readLevelRecord(&r))
        m_last = r;
    return enterItem() ? 0 : 1;
}

int ScaleStreamHandle2::seek(double t)
{
    m_onFrame = false;
    if (m_state == Closed)
        return 0;
    IndexRecord atT;
    const qint64 p = findRecordByTime(m_levelFile, t, &atT);
    countSearch(0, m_indexSize);
    if (atT.stream < 0 || atT.stream != m_streamId) {
        m_first = atT;
        m_state = Open;
        return 1;
    }
    // The nearest boundary at or before t: an item's start (t lies in that
    // item) or an item's end (t lies after it: take the next item).
    IndexRecord boundary = atT;
    const qint64 b = findLevelBackward(m_levelFile, m_level, m_level, p, &boundary);
    countSearch(qMax<qint64>(b, 0), p);
    m_first = boundary;
    m_firstOffset = qMax<qint64>(b, 0);
    qint64 q = p;
    if (boundary.endLevel >= m_level) {
        q = findLevelForward(m_levelFile, m_level, kNoLevel, p, &m_first);
        countSearch(p, q);
        m_firstOffset = q;
        if (m_first.startLevel < m_level) {
            m_state = AtEnd; // no item starts after t
            return 0;
        }
    }
    m_last = m_first;
    const qint64 end = findLevelForward(m_levelFile, kNoLevel, m_level, q, &m_last);
    countSearch(q, end);
    return enterItem() ? 0 : 1;
}

int ScaleStreamHandle2::close()
{
    FileStreamHandle::close();
    if (m_levelFile) {
        fclose(m_levelFile);
        m_levelFile = nullptr;
    }
    return 0;
}

double ScaleStreamHandle2::currentTime() const
{
    return m_state == OnRecord ? double(m_first.time) : kNoTime;
}

double ScaleStreamHandle2::currentDuration() const
{
    if (m_state != OnRecord)
        return -1;
    return double(m_last.time) - double(m_first.time) + payloadDuration(m_last);
}

int ScaleStreamHandle2::readData()
{
    if (m_state != OnRecord || !nextFrameRecord())
        return 1;
    if (m_record.stream != m_streamId || !validateRecord(m_dataFile, m_record))
        return 1;
    readPayload();
    return 0;
}

double ScaleStreamHandle2::frameTime() const
{
    return m_state == OnRecord && m_onFrame ? double(m_record.time) : kNoTime;
}

double ScaleStreamHandle2::frameDuration() const
{
    return m_state == OnRecord && m_onFrame ? payloadDuration(m_record) : 0;
}

void ScaleStreamHandle2::setScale(double x, bool *changed)
{
    m_scale = x;
    int level = 0;
    while (level < m_scaleSteps.size() && double(m_scaleSteps.at(level)) <= x)
        ++level;
    if (changed)
        *changed = level != m_level;
    m_level = level;
}

double ScaleStreamHandle2::payloadDuration(const IndexRecord &) const
{
    return 0;
}

bool ScaleStreamHandle2::readLevelRecord(IndexRecord *r)
{
    if (!readRecord(m_levelFile, r))
        return false;
    ++m_recordsRead;
    return true;
}

// Records a search between two byte offsets visited (a binary search over
// the whole file when from is 0 and to the file size).
void ScaleStreamHandle2::countSearch(qint64 from, qint64 to)
{
    if (from == 0 && to == m_indexSize) {
        const qint64 records = m_indexSize / kRecordSize;
        m_recordsRead += records > 1 ? quint64(std::ceil(std::log2(double(records)))) + 1 : 1;
        return;
    }
    m_recordsRead += quint64(qAbs(to - from) / kRecordSize + 1);
}

// Moves m_record to the item's next frame: its first frame, then the
// records after it up to the first whose time reaches the last frame's.
bool ScaleStreamHandle2::nextFrameRecord()
{
    if (!m_onFrame) {
        m_onFrame = true;
        m_record = m_first;
        return fseeko(m_indexFile, m_firstOffset + kRecordSize, SEEK_SET) == 0;
    }
    if (m_record.time >= m_last.time)
        return false;
    if (!readRecord(m_indexFile, &m_record))
        return false;
    ++m_recordsRead;
    return true;
}

// Makes the item in m_first/m_last current when its first frame belongs
// to this stream and is intact in the raw file (a stale or foreign index
// gives no items); otherwise the reader waits in state Open.
bool ScaleStreamHandle2::enterItem()
{
    m_onFrame = false;
    m_record = IndexRecord::none();
    if (m_first.stream != m_streamId || !validateRecord(m_dataFile, m_first)) {
        m_state = Open;
        return false;
    }
    m_state = OnRecord;
    return true;
}

TextScaleHandle2::TextScaleHandle2(const StreamDescriptor &descriptor, const QList<uint> &scaleSteps)
    : ScaleStreamHandle2(descriptor, scaleSteps)
    , m_textCodec(FramePayload::textCodecFor(descriptor))
{
}

void TextScaleHandle2::readPayload()
{
    FramePayload::readText(m_dataFile, m_textCodec, &m_payload, &m_output);
}

AudioScaleHandle2::AudioScaleHandle2(const StreamDescriptor &descriptor, const QList<uint> &scaleSteps)
    : ScaleStreamHandle2(descriptor, scaleSteps)
    , m_codec(createCodec(descriptor))
{
}

AudioScaleHandle2::~AudioScaleHandle2() = default;

void AudioScaleHandle2::resetDecoder()
{
    m_codec->reset();
}

void AudioScaleHandle2::readPayload()
{
    FramePayload::readAudio(m_dataFile, m_codec.get(), &m_payload, &m_output);
}

double AudioScaleHandle2::payloadDuration(const IndexRecord &r) const
{
    return m_codec ? m_codec->durationForBytes(recordPayloadLength(r)) : 0;
}
