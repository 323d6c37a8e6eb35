#pragma once

#include "recording/recordingindexer.h"
#include "player/engine/recordingspan.h"

#include <QList>
#include <QPair>
#include <QString>

// A recording indexed to its end with index files and activity levels, as
// the player has it after opening; the index files live until this object
// is destroyed. Used by the command-line commands that run engine readers.
class IndexedRecording
{
public:
    // Indexes fileName: true, or false with *error set when it cannot be read.
    bool open(const QString &fileName, QString *error);

    // Time of the first / last frame of the stream at list position i (ms),
    // -1 when it has none.
    qint64 firstTime(int i) const { return m_spans.value(i).first; }
    qint64 lastTime(int i) const { return m_spans.value(i).second; }

    // Every declared stream's descriptor in recording order.
    QList<StreamDescriptor> allStreams() const;
    // The streams that have at least one frame, in recording order (what
    // the player makes active after opening).
    QList<StreamDescriptor> streamsWithFrames() const;
    // The streams with the given "ID" values in the given order: true, or
    // false with *error naming an id the recording does not declare.
    bool streamsById(const QList<uint> &ids, QList<StreamDescriptor> *streams, QString *error) const;

    // A command's usual start: indexes fileName and picks the streams it
    // works on (the listed ids, or every stream with frames when `ids` is
    // empty). Returns 0, or the exit status after printing the error on
    // stderr as `program`: 1 unreadable input, 2 an id not declared.
    int openForCommand(const QString &program, const QString &fileName, const QList<uint> &ids,
                       QList<StreamDescriptor> *streams);

    const RecordingIndexer &indexer() const { return m_indexer; }
    // From the first frame to the end of the last one (what an export covers at most).
    RecordingSpan span() const { return m_span; }

private:
    RecordingIndexer m_indexer;
    QList<QPair<qint64, qint64>> m_spans; // per stream: first and last frame time, ms
    RecordingSpan m_span;
};

// Parses "ID,ID,..." (decimal stream ids): true, or false for an empty list
// or a part that is not a number.
bool parseStreamIds(const QString &text, QList<uint> *ids);
