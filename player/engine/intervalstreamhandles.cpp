#include "intervalstreamhandles.h"

#include "codecs/audiocodec.h"
#include "recording/rawstream.h"

using IndexFormat::kNoTime;
using IndexFormat::kNoTimeStamp;

IntervalStreamHandle::IntervalStreamHandle(const StreamDescriptor &descriptor)
    : FileStreamHandle(descriptor)
{
}

int IntervalStreamHandle::open()
{
    if (!filesOpen() || m_streamId < 0 || !usable()) {
        m_state = Closed;
        return 1;
    }
    rewindIndex();
    IndexRecord r;
    // The first record is checked against the raw file so that a stale or
    // foreign index yields no intervals.
    if (readRecord(m_indexFile, &r) && isValidRecord(r)) {
        startAt(r);
        m_state = Open;
    } else {
        m_record = IndexRecord::none();
        m_intervalBegin = kNoTime;
        m_intervalDuration = -1;
        m_state = AtEnd;
    }
    return 0;
}

int IntervalStreamHandle::next()
{
    double end = 0;
    if (m_state == OnRecord) {
        if (m_record.time == kNoTimeStamp) {
            m_state = AtEnd;
            return 0;
        }
        startAt(m_record);
        end = m_intervalBegin + m_intervalDuration;
        m_state = Open;
    } else if (m_state == Open && m_intervalBegin != kNoTime) {
        end = m_intervalBegin + m_intervalDuration;
    } else {
        if (m_state == Open)
            m_state = AtEnd;
        return 0;
    }
    end = extendInterval(end);
    m_intervalDuration = end - m_intervalBegin;
    m_state = OnRecord;
    return 1;
}

int IntervalStreamHandle::seek(double t)
{
    if (m_state == Closed)
        return 0;
    findRecordByTime(m_indexFile, t, &m_record);
    if (!isValidRecord(m_record)) {
        // No trusted start: this stream offers no further interval.
        m_intervalBegin = kNoTime;
        m_intervalDuration = -1;
        m_state = Open;
        return 1;
    }
    m_intervalBegin = m_record.time;
    m_intervalDuration = 0;
    m_state = OnRecord;
    return 0;
}

double IntervalStreamHandle::currentTime() const
{
    return m_state == OnRecord ? m_intervalBegin : kNoTime;
}

double IntervalStreamHandle::currentDuration() const
{
    return m_state == OnRecord ? m_intervalDuration : -1;
}

int IntervalStreamHandle::readData()
{
    return 0;
}

void IntervalStreamHandle::startAt(const IndexRecord &r)
{
    m_record = r;
    m_intervalBegin = r.time;
    m_intervalDuration = frameDuration(r);
}

// Reads on while the gap from `end` to the next frame of this stream is
// shorter than maxGap; returns the interval's end (ms). The frame that
// breaks the run stays current (its time is kNoTimeStamp at the end).
double IntervalStreamHandle::extendInterval(double end)
{
    IndexRecord r;
    while (readRecord(m_indexFile, &r)) {
        if (r.stream != m_streamId)
            continue;
        if (double(r.time) - end >= m_maxGap) {
            m_record = r;
            return end;
        }
        end = qMax(end, double(r.time) + frameDuration(r));
    }
    m_record.time = kNoTimeStamp;
    return end;
}

TextIntervalHandle::TextIntervalHandle(const StreamDescriptor &descriptor)
    : IntervalStreamHandle(descriptor)
{
}

double TextIntervalHandle::frameDuration(const IndexRecord &) const
{
    return 0;
}

AudioIntervalHandle::AudioIntervalHandle(const StreamDescriptor &descriptor)
    : IntervalStreamHandle(descriptor)
    , m_codec(createCodec(descriptor))
{
}

AudioIntervalHandle::~AudioIntervalHandle() = default;

double AudioIntervalHandle::frameDuration(const IndexRecord &r) const
{
    return m_codec ? m_codec->durationForBytes(recordPayloadLength(r)) : 0;
}

int StreamsIntervalHandle::open()
{
    int failures = 0;
    for (IntervalStreamHandle *member : qAsConst(m_handles)) {
        failures += member->open();
        member->next();
    }
    m_state = Open;
    return failures;
}

int StreamsIntervalHandle::seek(double t)
{
    int failures = 0;
    for (IntervalStreamHandle *member : qAsConst(m_handles)) {
        failures += member->seek(t);
        member->next();
    }
    m_state = Open;
    return failures;
}

int StreamsIntervalHandle::next()
{
    m_names.clear();
    IntervalStreamHandle *first = earliestMember();
    if (!first) {
        m_state = AtEnd;
        return 0;
    }
    m_begin = first->currentTime();
    double end = m_begin + first->currentDuration();
    double gap = first->maxGap();
    addName(first);
    first->next();
    while (mergeOnePass(&end, &gap)) {
    }
    m_duration = end - m_begin;
    m_state = OnRecord;
    return 0;
}

int StreamsIntervalHandle::close()
{
    for (IntervalStreamHandle *member : qAsConst(m_handles))
        member->close();
    m_state = Closed;
    return 0;
}

double StreamsIntervalHandle::currentTime() const
{
    return m_state == OnRecord ? m_begin : kNoTime;
}

double StreamsIntervalHandle::currentDuration() const
{
    return m_state == OnRecord ? m_duration : -1;
}

double StreamsIntervalHandle::progress() const
{
    if (m_handles.isEmpty())
        return 0;
    double sum = 0;
    for (const IntervalStreamHandle *member : m_handles)
        sum += member->progress();
    return sum / m_handles.size();
}

IntervalStreamHandle *StreamsIntervalHandle::earliestMember() const
{
    IntervalStreamHandle *earliest = nullptr;
    double earliestTime = kNoTime;
    for (IntervalStreamHandle *member : m_handles) {
        const double t = member->currentTime();
        if (t < earliestTime) {
            earliestTime = t;
            earliest = member;
        }
    }
    return earliest;
}

// One pass over the members in list order: every member whose interval
// (widened by the gaps) touches the merged one joins it. True when any did.
bool StreamsIntervalHandle::mergeOnePass(double *end, double *gap)
{
    bool merged = false;
    for (IntervalStreamHandle *member : qAsConst(m_handles)) {
        const double b = member->currentTime();
        if (b >= kNoTime)
            continue;
        const double d = member->currentDuration();
        const double g = member->maxGap();
        if (m_begin <= b + d + g && b <= *end + *gap) {
            m_begin = qMin(m_begin, b);
            if (*end + *gap < b + d + g) {
                *end = b + d;
                *gap = g;
            }
            addName(member);
            member->next();
            merged = true;
        }
    }
    return merged;
}

void StreamsIntervalHandle::addName(const IntervalStreamHandle *member)
{
    const QString name = member->descriptor().value(m_nameKey);
    if (!m_names.contains(name))
        m_names.append(name);
}
