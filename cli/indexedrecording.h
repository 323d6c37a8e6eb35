#pragma once

#include "recordingindexer.h"

#include <QList>
#include <QString>

// A recording indexed to its end with index files and activity levels, as
// the player has it after opening; the index files live until this object
// is destroyed. Used by the command-line commands that run engine readers.
class IndexedRecording
{
public:
    // Indexes fileName: true, or false with *error set when it cannot be read.
    bool open(const QString &fileName, QString *error);

    // Every declared stream's descriptor in recording order.
    QList<StreamDescriptor> allStreams() const;
    // The streams that have at least one frame, in recording order (what
    // the player makes active after opening).
    QList<StreamDescriptor> streamsWithFrames() const;
    // The streams with the given "ID" values in the given order: true, or
    // false with *error naming an id the recording does not declare.
    bool streamsById(const QList<uint> &ids, QList<StreamDescriptor> *streams, QString *error) const;

    const RecordingIndexer &indexer() const { return m_indexer; }

private:
    RecordingIndexer m_indexer;
};

// Parses "ID,ID,..." (decimal stream ids): true, or false for an empty list
// or a part that is not a number.
bool parseStreamIds(const QString &text, QList<uint> *ids);
