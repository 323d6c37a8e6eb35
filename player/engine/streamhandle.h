#pragma once

#include "recording/indexrecord.h"
#include "recording/streamdescriptor.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <cstdio>
#include <memory>

class AudioCodec;

// Common interface of every stream reader: single streams and groups of
// streams, text and audio alike. Times are milliseconds after the
// recording's base date-time; IndexFormat::kNoTime (4294967295.0) means "no
// time". Readers have no locks: each is used by one thread at a time (its
// owner's). Readers are not copyable; owners hold them by pointer and delete
// them through this base.
class StreamHandle
{
public:
    enum State {
        Closed = 0,   // closed or unusable (files missing, bad "ID", no decoder)
        Open = 1,     // open but not on a record
        OnRecord = 2, // on a record (an item, an interval) of the stream
        AtEnd = 3,    // past the last record
    };

    StreamHandle() = default;
    StreamHandle(const StreamHandle &) = delete;
    StreamHandle &operator=(const StreamHandle &) = delete;

    // Prepares for reading from the start: 0 on success, 1 on failure.
    virtual int open() = 0;
    // Moves to the stream's next valid record.
    virtual int next() = 0;
    // Moves to the record in force at time t (ms after the base).
    virtual int seek(double t) = 0;
    // Releases the files.
    virtual int close() = 0;
    // Time (ms) of the reading position; kNoTime when not in state OnRecord.
    virtual double currentTime() const;
    // Duration (ms) of what is current; 0 unless a reader says otherwise.
    virtual double currentDuration() const;
    virtual ~StreamHandle();

    // One of State.
    int state() const { return m_state; }

protected:
    int m_state = Closed;
};

// One stream of an indexed recording: its descriptor, its own read-only
// handles on the raw file ("FILENAME") and on the stream's index file
// ("INDEX_FILENAME"), and the current index record. Every instance opens
// its own FILE* handles, so several readers of one recording never share a
// file position. The handles are opened by the constructor; failures leave
// them null and show only when open() fails.
class FileStreamHandle : public StreamHandle
{
public:
    // Rate (Hz) of audio decoders whose "ENCODING" names none.
    static constexpr int kDefaultCodecRate = 8000;

    explicit FileStreamHandle(const StreamDescriptor &descriptor);
    ~FileStreamHandle() override;

    // State Open and 0 when both files are open; else Closed and 1.
    int open() override;
    // The whole-frame readers' step: moves to the next record of this
    // stream and validates it against the raw file. In Closed or AtEnd does
    // nothing and returns 0. A valid record: OnRecord, 0 (the raw file is
    // left at the first payload byte). A record that fails validation: Open
    // and 1 (the next call continues after it). End of the index: AtEnd, 0.
    int next() override;
    // The record in force at t (binary search), validated as in next():
    // OnRecord and 0, or Open and 1. Returns 0 in state Closed.
    int seek(double t) override;
    // State Closed; both files closed.
    int close() override;
    // The current record's time in state OnRecord.
    double currentTime() const override;

    // Fetches the current frame's payload into output(); the meaning of
    // the result is each reader's own.
    virtual int readData() = 0;
    // Index file position / index size, 0..1; 0 without an (empty) index.
    virtual double progress() const;

    const StreamDescriptor &descriptor() const { return m_descriptor; }
    // The descriptor's "ID" as an unsigned decimal number; -1 when absent
    // or not a number (the reader then cannot open).
    int streamId() const { return m_streamId; }
    // The current index record (the no-record value when there is none).
    const IndexRecord &currentRecord() const { return m_record; }
    // Result of readData(): signed 16-bit little-endian mono samples for
    // audio, UTF-8 text for text.
    const QByteArray &output() const { return m_output; }
    // The current frame's payload bytes as read by the last readData().
    const QByteArray &payload() const { return m_payload; }

protected:
    // The decoder for the descriptor's "ENCODING"; null for an unknown
    // coding. The caller owns it.
    static std::unique_ptr<AudioCodec> createCodec(const StreamDescriptor &descriptor);
    bool filesOpen() const { return m_dataFile && m_indexFile; }
    // Rewinds the index file to its first record.
    void rewindIndex();
    // Payload bytes of the current record (length - 6), 0 when none.
    int payloadLength() const;
    // Whether record r belongs to this stream and its frame is intact in
    // the raw file (which is then left at the first payload byte).
    bool isValidRecord(const IndexRecord &r) const;

    StreamDescriptor m_descriptor;
    int m_streamId = -1;
    FILE *m_dataFile = nullptr;  // raw recording, "rb", owned
    FILE *m_indexFile = nullptr; // the stream's index file, "rb", owned
    qint64 m_indexSize = 0;      // bytes
    IndexRecord m_record;
    QByteArray m_output;
    QByteArray m_payload;
};

// Payload bytes of a record's frame (its length less the 6 header bytes),
// 0 for the no-record value and saturated at INT_MAX for hostile lengths.
int recordPayloadLength(const IndexRecord &record);
