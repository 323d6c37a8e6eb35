#pragma once

#include "player/engine/streamhandle.h"

#include <QList>
#include <QStringList>

class AudioCodec;

// Activity intervals of one stream: runs of frames whose gaps (from the end
// of one frame to the start of the next) are shorter than maxGap ms. After
// open() or seek(), each next() builds one interval and returns 1, then
// currentTime()/currentDuration() give its begin and length in ms.
// readData() delivers nothing. Used by one thread (the interval panel's).
class IntervalStreamHandle : public FileStreamHandle
{
public:
    explicit IntervalStreamHandle(const StreamDescriptor &descriptor);

    // Checks the files (and decoder), reads the first record: the first
    // interval starts there (state Open); an empty index gives AtEnd. 0, or
    // 1 with state Closed when the reader is unusable.
    int open() override;
    // Builds the interval that starts at the current record: 1 when one was
    // built (state OnRecord), 0 at the end (AtEnd) or when not open.
    int next() override;
    // The record in force at t starts the next interval (state OnRecord,
    // 0); a record that is missing or fails validation gives no further
    // interval (state Open, 1).
    int seek(double t) override;
    // Interval begin (ms) in state OnRecord, else kNoTime.
    double currentTime() const override;
    // Interval length (ms) in state OnRecord, else -1.
    double currentDuration() const override;
    // Returns 0; intervals carry no data.
    int readData() override;

    void setMaxGap(double ms) { m_maxGap = ms; }
    double maxGap() const { return m_maxGap; }

protected:
    // Duration (ms) of record r's frame: 0 for text, coded length for audio.
    virtual double frameDuration(const IndexRecord &r) const = 0;
    // Extra checks open() needs beyond the files and the "ID".
    virtual bool usable() const { return true; }

private:
    void startAt(const IndexRecord &r);
    double extendInterval(double end);

    double m_intervalBegin = IndexFormat::kNoTime; // ms
    double m_intervalDuration = -1;                // ms; -1 when none
    double m_maxGap = 0;                           // ms, set by the owner
};

// Text frames count as instants: an interval ends at its last frame's time.
class TextIntervalHandle : public IntervalStreamHandle
{
public:
    explicit TextIntervalHandle(const StreamDescriptor &descriptor);

protected:
    double frameDuration(const IndexRecord &r) const override;
};

// Audio intervals end at the end of their last frame.
class AudioIntervalHandle : public IntervalStreamHandle
{
public:
    explicit AudioIntervalHandle(const StreamDescriptor &descriptor);
    ~AudioIntervalHandle() override;

protected:
    double frameDuration(const IndexRecord &r) const override;
    bool usable() const override { return m_codec != nullptr; }

private:
    std::unique_ptr<AudioCodec> m_codec; // null for an unknown coding
};

// Merges the intervals of several streams into one time-ordered list:
// overlapping or close intervals (within the members' maxGap) become one,
// with the names of the streams involved. The owner adds the member readers
// (not owned; they must outlive this object or be removed), sets nameKey
// and every member's maxGap, then calls open() or seek() and next() until
// the state is AtEnd.
class StreamsIntervalHandle : public StreamHandle
{
public:
    StreamsIntervalHandle() = default;

    // Each member open() then next(); state Open; result = the sum of the
    // members' open() results (the number that failed).
    int open() override;
    // Builds the next merged interval: state OnRecord, or AtEnd when no
    // member has one left. Returns 0 in both cases.
    int next() override;
    // Each member seek(t) then next(); state Open; result = the sum of the
    // members' seek() results.
    int seek(double t) override;
    int close() override;
    // Merged interval begin (ms) in state OnRecord, else kNoTime.
    double currentTime() const override;
    // Merged interval length (ms) in state OnRecord, else -1.
    double currentDuration() const override;
    // The mean of the members' progress, 0..1; 0 without members.
    double progress() const;

    void setHandles(const QList<IntervalStreamHandle *> &handles) { m_handles = handles; }
    void addHandle(IntervalStreamHandle *handle) { m_handles.append(handle); }
    const QList<IntervalStreamHandle *> &handles() const { return m_handles; }
    // The descriptor key that names a stream in names(), e.g. "DESCRIPTION".
    void setNameKey(const QString &key) { m_nameKey = key; }
    QString nameKey() const { return m_nameKey; }
    // Names of the streams in the current merged interval, in merge order.
    const QStringList &names() const { return m_names; }

private:
    IntervalStreamHandle *earliestMember() const;
    bool mergeOnePass(double *end, double *gap);
    void addName(const IntervalStreamHandle *member);

    QList<IntervalStreamHandle *> m_handles; // not owned
    QString m_nameKey;
    QStringList m_names;
    double m_begin = IndexFormat::kNoTime; // ms
    double m_duration = -1;                // ms
};
