// ScaleStreamHandle2: the timeline's reader of one stream at one resolution level.
#pragma once

#include "player/engine/streamhandle.h"

#include <QList>

class AudioCodec;
class QTextCodec;

// Delivers a stream to a timeline row at a resolution chosen from the
// zoom. An item is, at level 0, one frame; at level k >= 1, one activity
// interval of marking level k-1 (the level bytes of the index records),
// from the frame that starts it to the frame that ends it. At coarse levels
// only the index records that carry level marks are visited.
//
// Use (by the row's feeder thread only): open(); setScale(ms per pixel);
// seek(t); then per item currentTime()/currentDuration(), readData() until
// it returns 1 (each 0 gives one frame: frameTime(), frameDuration(),
// output()), next() until the state is AtEnd.
//
// Besides the raw file and the index file (frames of an item), the reader
// holds a second read-only handle on the index file (items).
class ScaleStreamHandle2 : public FileStreamHandle
{
public:
    // scaleSteps: ascending ms-per-pixel thresholds; level = the number of
    // steps not greater than the scale.
    ScaleStreamHandle2(const StreamDescriptor &descriptor, const QList<uint> &scaleSteps);
    ~ScaleStreamHandle2() override;

    // Checks the files (and decoder), rewinds; no item yet (state Open).
    int open() override;
    // The next item at the current level: state OnRecord, or AtEnd at the
    // end of the index. Returns 0.
    int next() override;
    // The item that holds t, or the next one when t lies between items:
    // state OnRecord and 0; state Open and 1 when the record in force is
    // missing, of another stream or not intact in the raw file.
    int seek(double t) override;
    int close() override;
    // Begin (ms) of the current item; kNoTime when not on an item.
    double currentTime() const override;
    // Length (ms) of the current item from its first to its last frame's
    // start (audio: to its last frame's end); -1 when not on an item.
    double currentDuration() const override;
    // The next frame of the current item: 0 with the frame in
    // currentRecord() and its payload converted in output(); 1 when the
    // item has no further frame (or the frame is not intact). The state
    // stays OnRecord.
    int readData() override;

    // Time (ms) of the current frame within the item; kNoTime when none.
    virtual double frameTime() const;
    // Duration (ms) of the current frame: 0, or for audio its coded length.
    virtual double frameDuration() const;
    // Chooses the level for x ms per pixel; *changed (when not null) tells
    // whether the level differs from before.
    virtual void setScale(double x, bool *changed);

    // The level and scale (ms per pixel) the last setScale() chose, and the
    // thresholds the level comes from.
    int level() const { return m_level; }
    double scale() const { return m_scale; }
    const QList<uint> &scaleSteps() const { return m_scaleSteps; }
    // Index records read so far (item search and frames), for measuring.
    quint64 recordsRead() const { return m_recordsRead; }

protected:
    // Extra checks open() needs (audio: a decoder) and the per-frame
    // payload conversion into m_payload/m_output.
    virtual bool usable() const { return true; }
    virtual void resetDecoder() {}
    virtual void readPayload() = 0;
    // Duration (ms) of record r's payload: 0, or for audio its coded length.
    virtual double payloadDuration(const IndexRecord &r) const;

private:
    bool readLevelRecord(IndexRecord *r);
    void countSearch(qint64 from, qint64 to);
    bool nextFrameRecord();
    bool enterItem();

    FILE *m_levelFile = nullptr; // second "rb" handle on the index file, owned
    IndexRecord m_first;         // the current item's first frame
    qint64 m_firstOffset = -1;   // its byte offset in the index file
    IndexRecord m_last;          // the current item's last frame
    bool m_onFrame = false;      // readData() has delivered a frame of the item
    double m_scale = 0;          // ms per pixel
    QList<uint> m_scaleSteps;    // ms per pixel, ascending
    int m_level = 0;
    quint64 m_recordsRead = 0;
};

// Text items; frames converted as by TextStreamHandle.
class TextScaleHandle2 : public ScaleStreamHandle2
{
public:
    TextScaleHandle2(const StreamDescriptor &descriptor, const QList<uint> &scaleSteps);

protected:
    void readPayload() override;

private:
    QTextCodec *m_textCodec = nullptr; // not owned
};

// Audio items; frames decoded whole as by AudioStreamHandle.
class AudioScaleHandle2 : public ScaleStreamHandle2
{
public:
    AudioScaleHandle2(const StreamDescriptor &descriptor, const QList<uint> &scaleSteps);
    ~AudioScaleHandle2() override;

    AudioCodec *codec() const { return m_codec.get(); }

protected:
    bool usable() const override { return m_codec != nullptr; }
    void resetDecoder() override;
    void readPayload() override;
    double payloadDuration(const IndexRecord &r) const override;

private:
    std::unique_ptr<AudioCodec> m_codec; // null for an unknown coding
};
